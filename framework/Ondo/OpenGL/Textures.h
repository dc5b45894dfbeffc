#pragma once

#include "Ondo/GFX/ImageData.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

namespace Ondo::OpenGL {

// Size and internal format of level 0 of a texture. They bind the texture on
// the active unit for the query and restore the earlier binding.
VectorT<int, 2> GetImageSize2D(GLuint uiTexture);
VectorT<int, 3> GetImageSize3D(GLuint uiTexture);
GLenum GetInternalFormat2D(GLuint uiTexture);
GLenum GetInternalFormat3D(GLuint uiTexture);

// Bits of one component of an internal format (8 for GL_RGBA8, 32 for
// GL_R32F, 16 for GL_RG16F); 0 for formats this library does not know.
unsigned int GetBpp(GLenum eInternalFormat);
// Channels of an internal format; 0 when unknown.
unsigned int GetNumberOfComponents(GLenum eInternalFormat);
// Whether the format holds depth (with or without stencil).
bool IsDepthFormat(GLenum eInternalFormat);
// The pixel-transfer format that matches an internal format (GL_RED for
// GL_R32F, GL_RGBA_INTEGER for GL_RGBA32UI, GL_DEPTH_COMPONENT for depth
// formats); GL_RGBA when unknown.
GLenum GetPotentialChannelFormat(GLenum eInternalFormat);
// The component type that matches an internal format for pixel transfers
// (GL_UNSIGNED_BYTE, GL_FLOAT, ...); GL_UNSIGNED_BYTE when unknown.
GLenum GetPotentialComponentType(GLenum eInternalFormat);
// Whether the format holds integers that shaders read as they are (GL_R8UI,
// GL_RGBA16I, ...): transferred with a *_INTEGER pixel format, never
// filtered, normalised or mipmapped by the GL.
bool IsIntegerFormat(GLenum eInternalFormat);

// A new texture of the same target, size, internal format and swizzle as
// the given one (one level), filled from pData when it is not null (pixels in
// the format's own transfer layout). Throws std::runtime_error for a target
// other than GL_TEXTURE_2D, GL_TEXTURE_3D and GL_TEXTURE_CUBE_MAP.
GLuint CreateSimilarTexture(GLenum eTarget, GLuint uiTexture, const void* pData);

// A sampler object that samples linearly and clamps to the edge, which is
// what image filters want: no mipmaps needed, no wrap-around at the borders.
GLuint CreateDefaultSamplerState();

// Uploads an image into a new texture and returns its name. A mutable
// texture gets glTexImage storage (it can be redefined later), an immutable
// one glTexStorage. An image that carries levels of its own keeps exactly
// those (a partial chain too); one of a single level gets, with bMipMaps, the
// full chain made by glGenerateMipmap where the GL can generate it for the
// format (never for integer formats, which then keep their one level and
// nearest filtering). Compressed images stay compressed, in 2D, cube maps
// and (BPTC, the only blocks the GL takes in 3D) volumes.
// Grey and grey+alpha images get the swizzle of SetSwizzleForLayout. The
// texture has the image's format: three-channel formats stay three-channel
// textures, which compute shaders cannot store into (ImageLoader gives files
// of three channels a fourth).
// Throws std::runtime_error saying what is wrong with an inconsistent image
// or one whose kind does not fit the function (a cube map needs six faces).
GLuint LoadTexture2D(const GFX::ImageData& image, bool bMutable, bool bMipMaps);
GLuint LoadTexture3D(const GFX::ImageData& image, bool bMutable, bool bMipMaps);
GLuint LoadTextureCubeMap(const GFX::ImageData& image, bool bMutable, bool bMipMaps);

// Grey pictures are stored in R (and alpha in G); the swizzle makes every
// shader see them as grey: (R, R, R, 1) for GFX::LayoutGrey, (R, R, R, G) for
// GFX::LayoutGreyAlpha. Other layouts get the identity swizzle. A texture
// made to stand in for such a texture must carry the same swizzle (copy
// GL_TEXTURE_SWIZZLE_RGBA, as CreateSimilarTexture does).
void SetSwizzleForLayout(GLenum eTarget, GLuint uiTexture, std::int32_t iLayout);
// GFX::LayoutGrey or GFX::LayoutGreyAlpha when the texture's swizzle is the
// one SetSwizzleForLayout gives them, otherwise GFX::LayoutUnknown.
std::int32_t GetSwizzleLayout(GLenum eTarget, GLuint uiTexture);

// The GL formats an image format code uploads with; false for unknown codes.
struct GLImageFormat {
    GLenum m_eInternalFormat;
    GLenum m_ePixelFormat;
    GLenum m_eComponentType;
    bool m_bCompressed;
};
bool GetGLImageFormat(std::int32_t iImageFormat, GLImageFormat& format);

} // namespace Ondo::OpenGL
