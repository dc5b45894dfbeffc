#include "frame/ImageUnitFormat.h"

#include <cstdio>
#include <stdexcept>

namespace Prismvale {

namespace {

// Whether image stores can write a format, and if not, why.
enum class Store { Writable, ThreeChannel, SRGB, DepthStencil, Compressed, NoImageFormat, Unsized, Unknown };

struct FormatEntry {
    GLenum m_eFormat;
    const char* m_szName;
    TexelKind m_eKind;
    Store m_eStore;
};

#define ONDO_FORMAT(format, kind, store) {format, #format, TexelKind::kind, Store::store}

// Every format a texture in this plug-in may come with. Writable ones are
// exactly the formats of the image-unit format table of OpenGL 4.3.
constexpr FormatEntry s_Formats[] = {
    ONDO_FORMAT(GL_R8, Float, Writable),
    ONDO_FORMAT(GL_RG8, Float, Writable),
    ONDO_FORMAT(GL_RGBA8, Float, Writable),
    ONDO_FORMAT(GL_R16, Float, Writable),
    ONDO_FORMAT(GL_RG16, Float, Writable),
    ONDO_FORMAT(GL_RGBA16, Float, Writable),
    ONDO_FORMAT(GL_R8_SNORM, Float, Writable),
    ONDO_FORMAT(GL_RG8_SNORM, Float, Writable),
    ONDO_FORMAT(GL_RGBA8_SNORM, Float, Writable),
    ONDO_FORMAT(GL_R16_SNORM, Float, Writable),
    ONDO_FORMAT(GL_RG16_SNORM, Float, Writable),
    ONDO_FORMAT(GL_RGBA16_SNORM, Float, Writable),
    ONDO_FORMAT(GL_R16F, Float, Writable),
    ONDO_FORMAT(GL_RG16F, Float, Writable),
    ONDO_FORMAT(GL_RGBA16F, Float, Writable),
    ONDO_FORMAT(GL_R32F, Float, Writable),
    ONDO_FORMAT(GL_RG32F, Float, Writable),
    ONDO_FORMAT(GL_RGBA32F, Float, Writable),
    ONDO_FORMAT(GL_R11F_G11F_B10F, Float, Writable),
    ONDO_FORMAT(GL_RGB10_A2, Float, Writable),
    ONDO_FORMAT(GL_R8I, Int, Writable),
    ONDO_FORMAT(GL_RG8I, Int, Writable),
    ONDO_FORMAT(GL_RGBA8I, Int, Writable),
    ONDO_FORMAT(GL_R16I, Int, Writable),
    ONDO_FORMAT(GL_RG16I, Int, Writable),
    ONDO_FORMAT(GL_RGBA16I, Int, Writable),
    ONDO_FORMAT(GL_R32I, Int, Writable),
    ONDO_FORMAT(GL_RG32I, Int, Writable),
    ONDO_FORMAT(GL_RGBA32I, Int, Writable),
    ONDO_FORMAT(GL_R8UI, UInt, Writable),
    ONDO_FORMAT(GL_RG8UI, UInt, Writable),
    ONDO_FORMAT(GL_RGBA8UI, UInt, Writable),
    ONDO_FORMAT(GL_R16UI, UInt, Writable),
    ONDO_FORMAT(GL_RG16UI, UInt, Writable),
    ONDO_FORMAT(GL_RGBA16UI, UInt, Writable),
    ONDO_FORMAT(GL_R32UI, UInt, Writable),
    ONDO_FORMAT(GL_RG32UI, UInt, Writable),
    ONDO_FORMAT(GL_RGBA32UI, UInt, Writable),
    ONDO_FORMAT(GL_RGB10_A2UI, UInt, Writable),

    ONDO_FORMAT(GL_RGB4, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB5, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB8, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB10, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB12, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB16, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB8_SNORM, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB16_SNORM, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB16F, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB32F, Float, ThreeChannel),
    ONDO_FORMAT(GL_R3_G3_B2, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB565, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB9_E5, Float, ThreeChannel),
    ONDO_FORMAT(GL_RGB8I, Int, ThreeChannel),
    ONDO_FORMAT(GL_RGB16I, Int, ThreeChannel),
    ONDO_FORMAT(GL_RGB32I, Int, ThreeChannel),
    ONDO_FORMAT(GL_RGB8UI, UInt, ThreeChannel),
    ONDO_FORMAT(GL_RGB16UI, UInt, ThreeChannel),
    ONDO_FORMAT(GL_RGB32UI, UInt, ThreeChannel),

    ONDO_FORMAT(GL_SRGB8, Float, SRGB),
    ONDO_FORMAT(GL_SRGB8_ALPHA8, Float, SRGB),

    ONDO_FORMAT(GL_RGBA2, Float, NoImageFormat),
    ONDO_FORMAT(GL_RGBA4, Float, NoImageFormat),
    ONDO_FORMAT(GL_RGB5_A1, Float, NoImageFormat),
    ONDO_FORMAT(GL_RGBA12, Float, NoImageFormat),

    ONDO_FORMAT(GL_DEPTH_COMPONENT16, Float, DepthStencil),
    ONDO_FORMAT(GL_DEPTH_COMPONENT24, Float, DepthStencil),
    ONDO_FORMAT(GL_DEPTH_COMPONENT32, Float, DepthStencil),
    ONDO_FORMAT(GL_DEPTH_COMPONENT32F, Float, DepthStencil),
    ONDO_FORMAT(GL_DEPTH24_STENCIL8, Float, DepthStencil),
    ONDO_FORMAT(GL_DEPTH32F_STENCIL8, Float, DepthStencil),
    ONDO_FORMAT(GL_STENCIL_INDEX8, UInt, DepthStencil),

    ONDO_FORMAT(GL_COMPRESSED_RED, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RG, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGB, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGBA, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SRGB, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SRGB_ALPHA, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RED_RGTC1, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SIGNED_RED_RGTC1, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RG_RGTC2, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SIGNED_RG_RGTC2, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGBA_BPTC_UNORM, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SRGB_ALPHA_BPTC_UNORM, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGB_BPTC_SIGNED_FLOAT, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGB8_ETC2, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SRGB8_ETC2, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGB8_PUNCHTHROUGH_ALPHA1_ETC2, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SRGB8_PUNCHTHROUGH_ALPHA1_ETC2, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGBA8_ETC2_EAC, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SRGB8_ALPHA8_ETC2_EAC, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_R11_EAC, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SIGNED_R11_EAC, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RG11_EAC, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_SIGNED_RG11_EAC, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, Float, Compressed),
    ONDO_FORMAT(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, Float, Compressed),

    ONDO_FORMAT(GL_RED, Float, Unsized),
    ONDO_FORMAT(GL_RG, Float, Unsized),
    ONDO_FORMAT(GL_RGB, Float, Unsized),
    ONDO_FORMAT(GL_RGBA, Float, Unsized),
    ONDO_FORMAT(GL_DEPTH_COMPONENT, Float, Unsized),
    ONDO_FORMAT(GL_DEPTH_STENCIL, Float, Unsized),
};

#undef ONDO_FORMAT

const FormatEntry* FindFormat(GLenum eFormat)
{
    for (const FormatEntry& entry : s_Formats)
        if (entry.m_eFormat == eFormat) return &entry;
    return nullptr;
}

// Why image stores cannot write a format of this kind.
const char* Reason(Store eStore)
{
    switch (eStore) {
    case Store::ThreeChannel: return "image load/store has no three-channel formats";
    case Store::SRGB: return "image stores cannot write sRGB formats";
    case Store::DepthStencil: return "image stores cannot write depth or stencil formats";
    case Store::Compressed: return "image stores cannot write compressed formats";
    case Store::NoImageFormat: return "image load/store has no format with this bit layout";
    case Store::Unsized:
        return "it is unsized (the driver chose its precision) and image units bind sized formats only";
    case Store::Writable:
    case Store::Unknown: break;
    }
    return "image load/store does not know this format";
}

// The targets to suggest instead: RGBA ones of the same kind of texel.
std::string Advice(Store eStore, TexelKind eKind)
{
    if (eStore == Store::DepthStencil) return "a colour target such as GL_R32F or GL_RGBA32F";
    const char* szSuffix = eKind == TexelKind::Int ? "I" : eKind == TexelKind::UInt ? "UI" : "";
    const std::string strList = eKind == TexelKind::Float ? "GL_RGBA8, GL_RGBA16F or GL_RGBA32F"
                                                          : std::string("GL_RGBA8") + szSuffix + ", GL_RGBA16" +
                                                                szSuffix + " or GL_RGBA32" + szSuffix;
    return std::string(eStore == Store::Compressed ? "an uncompressed" : eStore == Store::SRGB ? "a linear" : "an") +
           " RGBA target such as " + strList;
}

} // namespace

std::string FormatName(GLenum eInternalFormat)
{
    if (const FormatEntry* pEntry = FindFormat(eInternalFormat)) return pEntry->m_szName;
    char szName[32];
    std::snprintf(szName, sizeof(szName), "GL format 0x%04X", static_cast<unsigned int>(eInternalFormat));
    return szName;
}

TexelKind TexelKindOf(GLenum eInternalFormat)
{
    const FormatEntry* pEntry = FindFormat(eInternalFormat);
    return pEntry ? pEntry->m_eKind : TexelKind::Float;
}

const char* TexelKindName(TexelKind eKind)
{
    switch (eKind) {
    case TexelKind::Int: return "signed-integer";
    case TexelKind::UInt: return "unsigned-integer";
    case TexelKind::Float: break;
    }
    return "float or normalised";
}

ImageUnitFormat RequireImageUnitFormat(GLenum eInternalFormat, const std::string& strPort)
{
    const FormatEntry* pEntry = FindFormat(eInternalFormat);
    if (pEntry && pEntry->m_eStore == Store::Writable) return {pEntry->m_eFormat, pEntry->m_eKind};
    const Store eStore = pEntry ? pEntry->m_eStore : Store::Unknown;
    throw std::runtime_error("\"" + strPort + "\" is a " + FormatName(eInternalFormat) +
                             " texture, which a compute shader cannot write: " + Reason(eStore) + ". Give it " +
                             Advice(eStore, pEntry ? pEntry->m_eKind : TexelKind::Float) + ".");
}

} // namespace Prismvale
