#pragma once

#include <GL/glew.h>

#include <string>

namespace Prismvale {

// How shaders see the texels of a format: as floats (float, normalised and
// depth formats, whatever a plain sampler or image reads), or as signed or
// unsigned integers (isampler/iimage, usampler/uimage).
enum class TexelKind { Float, Int, UInt };

// The GL name of an internal format ("GL_RGBA8"), or "GL format 0x...." for
// one this table does not know.
std::string FormatName(GLenum eInternalFormat);

// How texel fetches read a texture of the format.
TexelKind TexelKindOf(GLenum eInternalFormat);

// "float or normalised", "signed-integer", "unsigned-integer".
const char* TexelKindName(TexelKind eKind);

// What an image unit binds for a target texture: the format (always the
// texture's own, so that stores convert exactly as for that format) and the
// kind of image variable the shader must declare for it.
struct ImageUnitFormat {
    GLenum m_eFormat = GL_NONE;
    TexelKind m_eKind = TexelKind::Float;
};

// The image-unit format for a texture that a compute shader writes through
// the input strPort. Image load/store writes R, RG and RGBA formats of 8, 16
// and 32 bits (normalised, float, signed and unsigned integer) and the packed
// GL_R11F_G11F_B10F, GL_RGB10_A2 and GL_RGB10_A2UI; every other format
// (three channels, sRGB, depth, stencil, compressed, unsized, unknown) throws
// std::runtime_error naming the port and the format, saying why and what
// target to give instead.
ImageUnitFormat RequireImageUnitFormat(GLenum eInternalFormat, const std::string& strPort);

} // namespace Prismvale
