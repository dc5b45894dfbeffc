#include "Preview.h"

#include "Ondo/GFX/ImageData.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/OpenGL/Textures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace OndoView {

namespace {

GLenum BindingOf(GLenum eTarget)
{
    switch (eTarget) {
    case GL_TEXTURE_3D: return GL_TEXTURE_BINDING_3D;
    case GL_TEXTURE_CUBE_MAP: return GL_TEXTURE_BINDING_CUBE_MAP;
    default: return GL_TEXTURE_BINDING_2D;
    }
}

// Binds a texture for queries and reads, and puts the earlier binding and
// pixel-pack state back when done.
class BoundForReading {
public:
    BoundForReading(GLenum eTarget, GLuint uiTexture) : m_eTarget(eTarget)
    {
        glGetIntegerv(BindingOf(eTarget), &m_iPrevious);
        glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &m_iPackBuffer);
        for (std::size_t i = 0; i < PackState.size(); ++i) glGetIntegerv(PackState[i], &m_PackValues[i]);
        glBindTexture(eTarget, uiTexture);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        for (GLenum eState : PackState) glPixelStorei(eState, eState == GL_PACK_ALIGNMENT ? 4 : 0);
    }
    ~BoundForReading()
    {
        for (std::size_t i = 0; i < PackState.size(); ++i) glPixelStorei(PackState[i], m_PackValues[i]);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(m_iPackBuffer));
        glBindTexture(m_eTarget, static_cast<GLuint>(m_iPrevious));
    }
    BoundForReading(const BoundForReading&) = delete;
    BoundForReading& operator=(const BoundForReading&) = delete;

private:
    static constexpr std::array<GLenum, 6> PackState = {GL_PACK_ALIGNMENT,   GL_PACK_ROW_LENGTH,   GL_PACK_IMAGE_HEIGHT,
                                                        GL_PACK_SKIP_PIXELS, GL_PACK_SKIP_ROWS,    GL_PACK_SKIP_IMAGES};
    GLenum m_eTarget;
    GLint m_iPrevious = 0;
    GLint m_iPackBuffer = 0;
    std::array<GLint, 6> m_PackValues{};
};

struct LevelInfo {
    GLenum eLevelTarget = 0;
    int iWidth = 0, iHeight = 0, iDepth = 0;
    GLenum eInternalFormat = 0;
};

// Level 0 of the bound texture (of the face for a cube map).
LevelInfo QueryLevel(GLenum eTarget, int iFace)
{
    LevelInfo info;
    info.eLevelTarget = eTarget == GL_TEXTURE_CUBE_MAP
                            ? static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + std::clamp(iFace, 0, 5))
                            : eTarget;
    GLint iFormat = 0;
    glGetTexLevelParameteriv(info.eLevelTarget, 0, GL_TEXTURE_WIDTH, &info.iWidth);
    glGetTexLevelParameteriv(info.eLevelTarget, 0, GL_TEXTURE_HEIGHT, &info.iHeight);
    glGetTexLevelParameteriv(info.eLevelTarget, 0, GL_TEXTURE_DEPTH, &info.iDepth);
    glGetTexLevelParameteriv(info.eLevelTarget, 0, GL_TEXTURE_INTERNAL_FORMAT, &iFormat);
    info.eInternalFormat = static_cast<GLenum>(iFormat);
    return info;
}

bool IsSignedType(GLenum eType) { return eType == GL_BYTE || eType == GL_SHORT || eType == GL_INT; }

std::uint8_t ToByte(float fValue) { return static_cast<std::uint8_t>(std::lround(std::clamp(fValue, 0.0f, 1.0f) * 255.0f)); }

float EncodeSRGB(float fLinear)
{
    return fLinear <= 0.0031308f ? 12.92f * fLinear : 1.055f * std::pow(fLinear, 1.0f / 2.4f) - 0.055f;
}

// The range the stretched kinds map to [0, 1]: for depth, the nearest to the
// farthest depth short of the far plane (a cleared background at 1 would
// otherwise squeeze everything in view into a few grey levels); for
// integers, 0 to the largest magnitude.
std::pair<float, float> StretchRange(const TexelImage& image)
{
    float fLow = std::numeric_limits<float>::max(), fHigh = std::numeric_limits<float>::lowest();
    float fHighBelowOne = std::numeric_limits<float>::lowest();
    const std::size_t uiCount = image.m_Texels.size() / 4;
    for (std::size_t i = 0; i < uiCount; ++i) {
        for (std::size_t c = 0; c < (image.m_eKind == PreviewKind::Depth ? 1u : 3u); ++c) {
            const float fValue = image.m_eKind == PreviewKind::Depth ? image.m_Texels[i * 4 + c]
                                                                     : std::fabs(image.m_Texels[i * 4 + c]);
            if (!std::isfinite(fValue)) continue;
            fLow = std::min(fLow, fValue);
            fHigh = std::max(fHigh, fValue);
            if (fValue < 1.0f) fHighBelowOne = std::max(fHighBelowOne, fValue);
        }
    }
    if (fLow > fHigh) return {0.0f, 1.0f};
    if (image.m_eKind == PreviewKind::Integer) return {0.0f, fHigh > 0.0f ? fHigh : 1.0f};
    if (fHighBelowOne > fLow) fHigh = fHighBelowOne;
    return {fLow, fHigh > fLow ? fHigh : fLow + 1.0f};
}

} // namespace

PreviewKind PreviewKindOf(GLenum eInternalFormat)
{
    if (Ondo::OpenGL::IsDepthFormat(eInternalFormat)) return PreviewKind::Depth;
    switch (Ondo::OpenGL::GetPotentialChannelFormat(eInternalFormat)) {
    case GL_RED_INTEGER:
    case GL_RG_INTEGER:
    case GL_RGB_INTEGER:
    case GL_RGBA_INTEGER: return PreviewKind::Integer;
    default: break;
    }
    if (eInternalFormat == GL_R11F_G11F_B10F || eInternalFormat == GL_RGB9_E5) return PreviewKind::Float;
    const GLenum eType = Ondo::OpenGL::GetPotentialComponentType(eInternalFormat);
    return eType == GL_FLOAT || eType == GL_HALF_FLOAT ? PreviewKind::Float : PreviewKind::Normalised;
}

std::string InternalFormatName(GLenum eInternalFormat)
{
    for (std::int32_t iCode = 1; Ondo::GFX::IsKnownImageFormat(iCode); ++iCode) {
        Ondo::OpenGL::GLImageFormat format{};
        if (Ondo::OpenGL::GetGLImageFormat(iCode, format) && format.m_eInternalFormat == eInternalFormat)
            return Ondo::GFX::GetImageFormatDescription(iCode).m_szName;
    }
    char szHex[16];
    std::snprintf(szHex, sizeof(szHex), "0x%04X", eInternalFormat);
    return szHex;
}

TexelImage ReadTexels(const Ondo::OpenGL::TextureObject& texture, const PreviewSettings& settings)
{
    const GLenum eTarget = texture.GetTarget();
    if (texture.GetName() == 0) throw std::runtime_error("the port carries texture 0 (no texture made yet)");
    BoundForReading bound(eTarget, texture.GetName());
    const LevelInfo info = QueryLevel(eTarget, settings.m_iFace);
    if (info.iWidth <= 0 || info.iHeight <= 0) throw std::runtime_error("the texture has no level 0");

    TexelImage image;
    image.m_iWidth = info.iWidth;
    image.m_iHeight = info.iHeight;
    image.m_iDepth = std::max(info.iDepth, 1);
    image.m_eTarget = eTarget;
    image.m_eInternalFormat = info.eInternalFormat;
    image.m_eKind = PreviewKindOf(info.eInternalFormat);
    const unsigned int uiChannels = Ondo::OpenGL::GetNumberOfComponents(info.eInternalFormat);
    image.m_uiChannels = image.m_eKind == PreviewKind::Depth ? 1u : uiChannels == 0 ? 4u : uiChannels;
    if (info.eInternalFormat == GL_STENCIL_INDEX8)
        throw std::runtime_error("the texture holds stencil values only, which have no picture");

    const std::size_t uiSlice = static_cast<std::size_t>(info.iWidth) * static_cast<std::size_t>(info.iHeight);
    const std::size_t uiLayer =
        eTarget == GL_TEXTURE_3D ? static_cast<std::size_t>(std::clamp(settings.m_iLayer, 0, image.m_iDepth - 1)) : 0;
    const std::size_t uiLayers = eTarget == GL_TEXTURE_3D ? static_cast<std::size_t>(image.m_iDepth) : 1;
    image.m_Texels.assign(uiSlice * 4, 0.0f);

    if (image.m_eKind == PreviewKind::Depth) {
        std::vector<float> depth(uiSlice * uiLayers);
        glGetTexImage(info.eLevelTarget, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        for (std::size_t i = 0; i < uiSlice; ++i) {
            const float fDepth = depth[uiLayer * uiSlice + i];
            image.m_Texels[i * 4 + 0] = image.m_Texels[i * 4 + 1] = image.m_Texels[i * 4 + 2] = fDepth;
            image.m_Texels[i * 4 + 3] = 1.0f;
        }
        return image;
    }
    if (image.m_eKind == PreviewKind::Integer) {
        const bool bSigned = IsSignedType(Ondo::OpenGL::GetPotentialComponentType(info.eInternalFormat));
        std::vector<std::int32_t> values(uiSlice * uiLayers * 4);
        glGetTexImage(info.eLevelTarget, 0, GL_RGBA_INTEGER, bSigned ? GL_INT : GL_UNSIGNED_INT, values.data());
        for (std::size_t i = 0; i < uiSlice * 4; ++i) {
            const std::int32_t iValue = values[uiLayer * uiSlice * 4 + i];
            image.m_Texels[i] = bSigned ? static_cast<float>(iValue) : static_cast<float>(static_cast<std::uint32_t>(iValue));
        }
    } else {
        std::vector<float> values(uiSlice * uiLayers * 4);
        glGetTexImage(info.eLevelTarget, 0, GL_RGBA, GL_FLOAT, values.data());
        std::copy(values.begin() + static_cast<std::ptrdiff_t>(uiLayer * uiSlice * 4),
                  values.begin() + static_cast<std::ptrdiff_t>((uiLayer + 1) * uiSlice * 4), image.m_Texels.begin());
    }

    // What shaders see: a grey texture stored in red reads grey.
    GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    glGetTexParameteriv(eTarget, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
    if (swizzle[0] != GL_RED || swizzle[1] != GL_GREEN || swizzle[2] != GL_BLUE || swizzle[3] != GL_ALPHA) {
        for (std::size_t i = 0; i < uiSlice; ++i) {
            float* pTexel = &image.m_Texels[i * 4];
            const float source[4] = {pTexel[0], pTexel[1], pTexel[2], pTexel[3]};
            for (int c = 0; c < 4; ++c) {
                switch (swizzle[c]) {
                case GL_ZERO: pTexel[c] = 0.0f; break;
                case GL_ONE: pTexel[c] = 1.0f; break;
                default: pTexel[c] = source[std::clamp(swizzle[c] - GL_RED, 0, 3)]; break;
                }
            }
        }
    }
    return image;
}

std::vector<std::uint8_t> ToDisplay(const TexelImage& image, const PreviewSettings& settings)
{
    const std::size_t uiCount = image.m_Texels.size() / 4;
    std::vector<std::uint8_t> pixels(uiCount * 4, 255);
    const bool bStretched = image.m_eKind == PreviewKind::Depth || image.m_eKind == PreviewKind::Integer;
    const auto [fLow, fHigh] = bStretched ? StretchRange(image) : std::pair<float, float>(0.0f, 1.0f);
    const float fScale = std::exp2(settings.m_fExposure);
    for (std::size_t i = 0; i < uiCount; ++i) {
        const float* pTexel = &image.m_Texels[i * 4];
        std::uint8_t* pPixel = &pixels[i * 4];
        if (!std::isfinite(pTexel[0]) || !std::isfinite(pTexel[1]) || !std::isfinite(pTexel[2])) {
            // Not-a-number and infinities stand out in magenta.
            pPixel[0] = 255, pPixel[1] = 0, pPixel[2] = 255;
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            float fValue = pTexel[c];
            switch (image.m_eKind) {
            case PreviewKind::Normalised: break;
            case PreviewKind::Float: {
                const float fExposed = std::max(fValue * fScale, 0.0f);
                fValue = EncodeSRGB(fExposed / (1.0f + fExposed));
                break;
            }
            case PreviewKind::Depth:
            case PreviewKind::Integer: fValue = (fValue - fLow) / (fHigh - fLow); break;
            }
            pPixel[c] = ToByte(fValue);
        }
    }
    return pixels;
}

std::string DescribeTexel(const TexelImage& image, int iX, int iRowFromTop)
{
    if (iX < 0 || iRowFromTop < 0 || iX >= image.m_iWidth || iRowFromTop >= image.m_iHeight) return {};
    const int iY = image.m_iHeight - 1 - iRowFromTop;
    std::string strText = "(" + std::to_string(iX) + ", " + std::to_string(iY) + ")";
    const float* pTexel = image.Texel(iX, iY);
    for (unsigned int c = 0; c < image.m_uiChannels; ++c) {
        char szValue[32];
        std::snprintf(szValue, sizeof(szValue), image.m_eKind == PreviewKind::Integer ? " %.0f" : " %.6g",
                      static_cast<double>(pTexel[c]));
        strText += szValue;
    }
    return strText;
}

std::string DescribeTexture(const Ondo::OpenGL::TextureObject& texture)
{
    if (texture.GetName() == 0) return "no texture yet";
    BoundForReading bound(texture.GetTarget(), texture.GetName());
    const LevelInfo info = QueryLevel(texture.GetTarget(), 0);
    std::string strSize = std::to_string(info.iWidth) + " x " + std::to_string(info.iHeight);
    if (texture.GetTarget() == GL_TEXTURE_3D) strSize += " x " + std::to_string(info.iDepth);
    if (texture.GetTarget() == GL_TEXTURE_CUBE_MAP) strSize += " cube";
    return strSize + " " + InternalFormatName(info.eInternalFormat);
}

} // namespace OndoView
