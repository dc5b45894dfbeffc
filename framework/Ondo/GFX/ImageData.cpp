#include "Ondo/GFX/ImageData.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Ondo::GFX {

namespace {

// Indexed by code.
const ImageFormatDescription s_Formats[] = {
    {"Unknown", 0, 0, 0, 0, false, 0},       {"R8", 1, 1, 1, 1, false, 1},
    {"RG8", 2, 1, 1, 1, false, 2},           {"RGBA8", 4, 1, 1, 1, false, 4},
    {"BGRA8", 4, 1, 1, 1, false, 4},         {"R16", 2, 1, 1, 1, false, 1},
    {"RG16", 4, 1, 1, 1, false, 2},          {"RGBA16", 8, 1, 1, 1, false, 4},
    {"R16F", 2, 1, 1, 1, false, 1},          {"RG16F", 4, 1, 1, 1, false, 2},
    {"RGBA16F", 8, 1, 1, 1, false, 4},       {"R32I", 4, 1, 1, 1, false, 1},
    {"R32UI", 4, 1, 1, 1, false, 1},         {"SRGB8A8", 4, 1, 1, 1, false, 4},
    {"Depth16", 2, 1, 1, 1, false, 1},       {"Depth24", 4, 1, 1, 1, false, 1},
    {"Depth32F", 4, 1, 1, 1, false, 1},      {"Depth24Stencil8", 4, 1, 1, 1, false, 2},
    {"BC1", 8, 4, 4, 1, true, 4},            {"BC2", 16, 4, 4, 1, true, 4},
    {"BC3", 16, 4, 4, 1, true, 4},           {"BC4", 8, 4, 4, 1, true, 1},
    {"BC5", 16, 4, 4, 1, true, 2},           {"RGB16F", 6, 1, 1, 1, false, 3},
    {"RGB16", 6, 1, 1, 1, false, 3},         {"R32F", 4, 1, 1, 1, false, 1},
    {"RG32F", 8, 1, 1, 1, false, 2},         {"RGB32F", 12, 1, 1, 1, false, 3},
    {"RGBA32F", 16, 1, 1, 1, false, 4},      {"R11G11B10F", 4, 1, 1, 1, false, 3},
    {"RGB10A2", 4, 1, 1, 1, false, 4},       {"RGB8", 3, 1, 1, 1, false, 3},
    {"BGR8", 3, 1, 1, 1, false, 3},          {"SRGB8", 3, 1, 1, 1, false, 3},
    {"R8I", 1, 1, 1, 1, false, 1},           {"R8UI", 1, 1, 1, 1, false, 1},
    {"R16I", 2, 1, 1, 1, false, 1},          {"R16UI", 2, 1, 1, 1, false, 1},
    {"BC1SRGB", 8, 4, 4, 1, true, 4},        {"BC2SRGB", 16, 4, 4, 1, true, 4},
    {"BC3SRGB", 16, 4, 4, 1, true, 4},       {"BC4SNorm", 8, 4, 4, 1, true, 1},
    {"BC5SNorm", 16, 4, 4, 1, true, 2},      {"BC6HUFloat", 16, 4, 4, 1, true, 3},
    {"BC6HSFloat", 16, 4, 4, 1, true, 3},    {"BC7", 16, 4, 4, 1, true, 4},
    {"BC7SRGB", 16, 4, 4, 1, true, 4},       {"RGB9E5", 4, 1, 1, 1, false, 3},
};
constexpr std::int32_t s_iNumFormats = static_cast<std::int32_t>(sizeof(s_Formats) / sizeof(s_Formats[0]));

std::uint32_t Blocks(std::uint32_t uiSize, std::uint32_t uiBlock) { return (uiSize + uiBlock - 1) / uiBlock; }

} // namespace

const ImageFormatDescription& GetImageFormatDescription(std::int32_t iFormat)
{
    return IsKnownImageFormat(iFormat) ? s_Formats[iFormat] : s_Formats[0];
}

bool IsKnownImageFormat(std::int32_t iFormat) { return iFormat > 0 && iFormat < s_iNumFormats; }

std::size_t ImageData::GetLevelSize(std::uint32_t uiLevel) const
{
    const ImageFormatDescription& format = GetImageFormatDescription(m_iImageFormat);
    if (format.m_uiBytesPerBlock == 0) return 0;
    const std::uint32_t uiWidth = std::max(1u, m_uiWidth >> uiLevel);
    const std::uint32_t uiHeight = std::max(1u, m_uiHeight >> uiLevel);
    const std::uint32_t uiDepth = std::max(1u, GetDepth() >> uiLevel);
    return static_cast<std::size_t>(Blocks(uiWidth, format.m_uiBlockWidth)) * Blocks(uiHeight, format.m_uiBlockHeight) *
           Blocks(uiDepth, format.m_uiBlockDepth) * format.m_uiBytesPerBlock;
}

std::size_t ImageData::GetOffset(std::uint32_t uiFace, std::uint32_t uiLevel) const
{
    std::size_t uiFaceSize = 0;
    for (std::uint32_t l = 0; l < GetNumMipMaps(); ++l) uiFaceSize += GetLevelSize(l);
    std::size_t uiOffset = uiFace * uiFaceSize;
    for (std::uint32_t l = 0; l < uiLevel; ++l) uiOffset += GetLevelSize(l);
    return uiOffset;
}

std::size_t ImageData::GetRequiredSize() const { return GetOffset(GetNumFaces(), 0); }

std::string ImageData::Validate() const
{
    if (!IsKnownImageFormat(m_iImageFormat)) return "unknown image format code " + std::to_string(m_iImageFormat);
    if (m_uiWidth == 0 || m_uiHeight == 0)
        return "empty image (" + std::to_string(m_uiWidth) + " x " + std::to_string(m_uiHeight) + ")";
    const std::size_t uiRequired = GetRequiredSize();
    if (m_Pixels.size() < uiRequired)
        return "the image holds " + std::to_string(m_Pixels.size()) + " bytes of pixels, its size and format need " +
               std::to_string(uiRequired);
    return {};
}

bool AddOpaqueAlpha(ImageData& image)
{
    // The four-channel counterpart and the bytes of one 1 in its channel type.
    struct Widening {
        std::int32_t iFrom, iTo;
        std::uint32_t uiChannelBytes;
        std::uint8_t one[4];
    };
    static const Widening s_Widenings[] = {
        {FormatRGB8, FormatRGBA8, 1, {0xFF}},
        {FormatBGR8, FormatBGRA8, 1, {0xFF}},
        {FormatRGB16, FormatRGBA16, 2, {0xFF, 0xFF}},
        {FormatRGB16F, FormatRGBA16F, 2, {0x00, 0x3C}}, // half 1.0, little-endian as the pixels are
        {FormatRGB32F, FormatRGBA32F, 4, {0x00, 0x00, 0x80, 0x3F}},
    };
    const auto it = std::find_if(std::begin(s_Widenings), std::end(s_Widenings),
                                 [&](const Widening& w) { return w.iFrom == image.m_iImageFormat; });
    if (it == std::end(s_Widenings)) return false;
    const std::string strProblem = image.Validate();
    if (!strProblem.empty()) throw std::runtime_error("AddOpaqueAlpha: " + strProblem);

    // Uncompressed levels and faces follow each other without gaps, so the
    // whole buffer is one run of pixels.
    const std::size_t uiFrom = 3 * it->uiChannelBytes, uiTo = 4 * it->uiChannelBytes;
    const std::size_t uiPixels = image.GetRequiredSize() / uiFrom;
    std::vector<std::uint8_t> pixels(uiPixels * uiTo);
    for (std::size_t p = 0; p < uiPixels; ++p) {
        std::memcpy(&pixels[p * uiTo], &image.m_Pixels[p * uiFrom], uiFrom);
        std::memcpy(&pixels[p * uiTo + uiFrom], it->one, it->uiChannelBytes);
    }
    image.m_Pixels = std::move(pixels);
    image.m_iImageFormat = it->iTo;
    image.m_iChannelLayout = it->iFrom == FormatBGR8 ? LayoutBGRA : LayoutRGBA;
    image.m_uiPixelSize = static_cast<std::uint32_t>(uiTo);
    return true;
}

} // namespace Ondo::GFX
