#pragma once

// Texture previews: level 0 of a texture (a layer of a volume, a face of a
// cube map) read back as floats and turned into an 8-bit picture for the
// screen, and the texel values under the cursor.

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Ondo::OpenGL {
class TextureObject;
}

namespace OndoView {

// How the texels become colours on the screen.
enum class PreviewKind {
    Normalised, // unsigned/signed normalised colours, shown as they are
    Float,      // float colours: exposure, then tone-mapped (Reinhard) and sRGB-encoded
    Depth,      // depth, stretched between the nearest and farthest depth in view
    Integer     // integer texels, stretched between 0 and the largest magnitude
};

struct PreviewSettings {
    int m_iLayer = 0;          // of a 3D texture
    int m_iFace = 0;           // of a cube map, in GL order (+X, -X, +Y, -Y, +Z, -Z)
    float m_fExposure = 0.0f;  // stops, for float colours
};

// One 2D slice of a texture, four floats a texel (missing channels filled as
// GL fills them: 0, 0, 1 for alpha), rows bottom-up as GL stores them, with
// the texture's swizzle applied so that a grey texture reads grey.
struct TexelImage {
    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iDepth = 1;          // layers of the whole texture
    GLenum m_eTarget = 0;
    GLenum m_eInternalFormat = 0;
    unsigned int m_uiChannels = 4; // of the format, for the texel read-out
    PreviewKind m_eKind = PreviewKind::Normalised;
    std::vector<float> m_Texels;

    const float* Texel(int iX, int iY) const
    {
        return &m_Texels[(static_cast<std::size_t>(iY) * static_cast<std::size_t>(m_iWidth) + static_cast<std::size_t>(iX)) * 4];
    }
};

// The kind of preview a GL internal format gets.
PreviewKind PreviewKindOf(GLenum eInternalFormat);
// The engine's name of an internal format ("RGBA8"; "0x8058" when unknown).
std::string InternalFormatName(GLenum eInternalFormat);

// Reads the slice the settings choose. Layer and face are clamped to the
// texture's. Throws std::runtime_error naming the problem for a texture
// that has no level 0 or whose texels cannot be read (a stencil-only one).
TexelImage ReadTexels(const Ondo::OpenGL::TextureObject& texture, const PreviewSettings& settings);

// The picture shown: RGBA8, rows bottom-up, opaque.
std::vector<std::uint8_t> ToDisplay(const TexelImage& image, const PreviewSettings& settings);

// "(x, y) r g b a" of the texel at column x, row y counted from the top (as
// the picture is shown); the channels of the format only. Empty outside.
std::string DescribeTexel(const TexelImage& image, int iX, int iRowFromTop);

// "451 x 300 GL_RGBA8" (and "x depth" for volumes, "cube" for cube maps).
std::string DescribeTexture(const Ondo::OpenGL::TextureObject& texture);

} // namespace OndoView
