// PNG pictures through libpng, whose inflate and row filters decode a
// photograph faster than stb_image (docs/PERFORMANCE.md). Every PNG kind
// comes as 8 or 16 bits per channel: palettes as RGB, transparency chunks as
// alpha, grey of 1, 2 or 4 bits scaled to 8 bits, interlaced files whole. One
// channel is grey, two grey and alpha. A file that ends early or whose
// critical chunks fail their checksums is refused.

#include "host/GFX/ImageReaders.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace Ondo::GFX {

namespace {

// libpng reports errors by longjmp; the functions that set the jump own
// nothing with a destructor, and the decoder is destroyed by its owner.
struct PngDecoder {
    png_structp pPng = nullptr;
    png_infop pInfo = nullptr;
    const std::uint8_t* pData = nullptr;
    std::size_t uiSize = 0;
    std::size_t uiPosition = 0;
    char szMessage[200] = "libpng could not start";

    PngDecoder() = default;
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;
    ~PngDecoder() { png_destroy_read_struct(&pPng, &pInfo, nullptr); }
};

[[noreturn]] void PngFailed(png_structp pPng, png_const_charp szMessage)
{
    auto& decoder = *static_cast<PngDecoder*>(png_get_error_ptr(pPng));
    std::snprintf(decoder.szMessage, sizeof(decoder.szMessage), "%s", szMessage);
    png_longjmp(pPng, 1);
}

void PngIgnore(png_structp, png_const_charp) {}

void PngRead(png_structp pPng, png_bytep pTarget, png_size_t uiCount)
{
    auto& decoder = *static_cast<PngDecoder*>(png_get_io_ptr(pPng));
    if (uiCount > decoder.uiSize - decoder.uiPosition)
        png_error(pPng, "the file ends before its pixels do (cut short?)");
    std::memcpy(pTarget, decoder.pData + decoder.uiPosition, uiCount);
    decoder.uiPosition += uiCount;
}

struct PngShape {
    std::uint32_t uiWidth = 0, uiHeight = 0;
    int iChannels = 0, iBitDepth = 0;
};

// Reads the header and sets the transformations that give 8 or 16 bits per
// channel, 16-bit values in the machine's byte order.
bool ReadHeader(PngDecoder& decoder, PngShape& shape)
{
    decoder.pPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, &decoder, PngFailed, PngIgnore);
    if (!decoder.pPng) return false;
    decoder.pInfo = png_create_info_struct(decoder.pPng);
    if (!decoder.pInfo) return false;
    if (setjmp(png_jmpbuf(decoder.pPng))) return false;
    png_structp pPng = decoder.pPng;
    png_set_read_fn(pPng, &decoder, PngRead);
    png_read_info(pPng, decoder.pInfo);
    const int iColourType = png_get_color_type(pPng, decoder.pInfo);
    const int iBitDepth = png_get_bit_depth(pPng, decoder.pInfo);
    if (iColourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(pPng);
    if (iColourType == PNG_COLOR_TYPE_GRAY && iBitDepth < 8) png_set_expand_gray_1_2_4_to_8(pPng);
    if (png_get_valid(pPng, decoder.pInfo, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(pPng);
    if (iBitDepth == 16) {
        const std::uint16_t uiOne = 1;
        std::uint8_t uiFirst = 0;
        std::memcpy(&uiFirst, &uiOne, 1);
        if (uiFirst == 1) png_set_swap(pPng);
    }
    png_set_interlace_handling(pPng);
    png_read_update_info(pPng, decoder.pInfo);
    shape.uiWidth = png_get_image_width(pPng, decoder.pInfo);
    shape.uiHeight = png_get_image_height(pPng, decoder.pInfo);
    shape.iChannels = png_get_channels(pPng, decoder.pInfo);
    shape.iBitDepth = png_get_bit_depth(pPng, decoder.pInfo);
    return true;
}

bool ReadPixels(PngDecoder& decoder, png_bytepp pRows)
{
    if (setjmp(png_jmpbuf(decoder.pPng))) return false;
    png_read_image(decoder.pPng, pRows);
    png_read_end(decoder.pPng, nullptr);
    return true;
}

} // namespace

bool IsPNG(const std::uint8_t* pData, std::size_t uiSize) { return uiSize >= 8 && png_sig_cmp(pData, 0, 8) == 0; }

std::unique_ptr<ImageData> ReadPNG(const std::uint8_t* pData, std::size_t uiSize)
{
    PngDecoder decoder;
    decoder.pData = pData;
    decoder.uiSize = uiSize;
    PngShape shape;
    const auto Failed = [&decoder] { Refuse(std::string("libpng: ") + decoder.szMessage); };
    if (!ReadHeader(decoder, shape)) Failed();
    if (shape.iChannels < 1 || shape.iChannels > 4 || (shape.iBitDepth != 8 && shape.iBitDepth != 16))
        Refuse(std::to_string(shape.iChannels) + " channels of " + std::to_string(shape.iBitDepth) + " bits");
    const std::size_t uiChannelBytes = shape.iBitDepth / 8;
    const std::size_t uiPixelBytes = uiChannelBytes * static_cast<std::size_t>(shape.iChannels);
    const std::size_t uiRowBytes = uiPixelBytes * shape.uiWidth;
    // RGB is held with a fourth channel once loaded.
    const std::uint64_t uiHeld = std::uint64_t{shape.uiWidth} * shape.uiHeight * uiChannelBytes *
                                 static_cast<std::uint64_t>(shape.iChannels == 3 ? 4 : shape.iChannels);
    CheckImageLimits(shape.uiWidth, shape.uiHeight, uiHeld);

    static const std::int32_t s_Formats8[] = {FormatR8, FormatRG8, FormatRGB8, FormatRGBA8};
    static const std::int32_t s_Formats16[] = {FormatR16, FormatRG16, FormatRGB16, FormatRGBA16};
    static const std::int32_t s_Layouts[] = {LayoutGrey, LayoutGreyAlpha, LayoutRGB, LayoutRGBA};
    auto pImage = std::make_unique<ImageData>();
    std::vector<png_bytep> rows(shape.uiHeight);
    try {
        pImage->m_Pixels.resize(uiRowBytes * shape.uiHeight);
    } catch (const std::bad_alloc&) {
        Refuse("not enough memory for its pixels");
    }
    // ImageData rows run bottom-up.
    for (std::uint32_t y = 0; y < shape.uiHeight; ++y)
        rows[y] = pImage->m_Pixels.data() + std::size_t{shape.uiHeight - 1 - y} * uiRowBytes;
    if (!ReadPixels(decoder, rows.data())) Failed();

    const int iKind = shape.iChannels - 1;
    pImage->m_iImageFormat = (shape.iBitDepth == 16 ? s_Formats16 : s_Formats8)[iKind];
    pImage->m_iChannelLayout = s_Layouts[iKind];
    pImage->m_iComponentType = shape.iBitDepth == 16 ? ComponentUInt16 : ComponentUInt8;
    pImage->m_uiWidth = shape.uiWidth;
    pImage->m_uiHeight = shape.uiHeight;
    pImage->m_uiPixelSize = static_cast<std::uint32_t>(uiPixelBytes);
    return pImage;
}

} // namespace Ondo::GFX
