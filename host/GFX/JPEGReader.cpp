// JPEG pictures through libjpeg-turbo: baseline and progressive, grey, YCbCr
// and RGB, and the CMYK and YCCK files of print software (as RGB). A file
// the library finds damaged in any way, including cut short, is refused
// rather than given with grey or garbled rows.

#include "host/GFX/ImageReaders.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace Ondo::GFX {

namespace {

// More scans than any encoder writes (progressive files have about ten):
// each scan runs over the whole picture, so a small file of thousands of
// empty scans would take minutes.
constexpr int s_iMaxScans = 1000;

// libjpeg reports errors by longjmp; the functions that set the jump own
// nothing with a destructor, and the decompressor is destroyed by its owner.
struct JpegDecoder {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char szMessage[JMSG_LENGTH_MAX] = "libjpeg could not start";
    bool bCreated = false;

    JpegDecoder() = default;
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
    ~JpegDecoder()
    {
        if (bCreated) jpeg_destroy_decompress(&info);
    }
};

JpegDecoder& DecoderOf(j_common_ptr pInfo) { return *static_cast<JpegDecoder*>(pInfo->client_data); }

[[noreturn]] void JpegFailed(j_common_ptr pInfo)
{
    JpegDecoder& decoder = DecoderOf(pInfo);
    (*pInfo->err->format_message)(pInfo, decoder.szMessage);
    std::longjmp(decoder.jump, 1);
}

// Warnings of level -1 are damaged data (a file cut short, a bad Huffman
// code) that the library would decode on past as grey or garbage.
void JpegMessage(j_common_ptr pInfo, int iLevel)
{
    if (iLevel < 0) JpegFailed(pInfo);
}

void JpegProgress(j_common_ptr pInfo)
{
    const auto* pDecompress = reinterpret_cast<j_decompress_ptr>(pInfo);
    if (pDecompress->input_scan_number > s_iMaxScans) {
        std::snprintf(DecoderOf(pInfo).szMessage, JMSG_LENGTH_MAX, "more than %d scans", s_iMaxScans);
        std::longjmp(DecoderOf(pInfo).jump, 1);
    }
}

bool ReadHeader(JpegDecoder& decoder, const std::uint8_t* pData, std::size_t uiSize)
{
    decoder.info.err = jpeg_std_error(&decoder.errors);
    decoder.errors.error_exit = JpegFailed;
    decoder.errors.emit_message = JpegMessage;
    decoder.info.client_data = &decoder;
    if (setjmp(decoder.jump)) return false;
    jpeg_create_decompress(&decoder.info);
    decoder.bCreated = true;
    decoder.progress.progress_monitor = JpegProgress;
    decoder.info.progress = &decoder.progress;
    jpeg_mem_src(&decoder.info, pData, static_cast<unsigned long>(uiSize));
    jpeg_read_header(&decoder.info, TRUE);
    const J_COLOR_SPACE eSpace = decoder.info.jpeg_color_space;
    decoder.info.out_color_space = eSpace == JCS_GRAYSCALE                 ? JCS_GRAYSCALE
                                   : eSpace == JCS_CMYK || eSpace == JCS_YCCK ? JCS_CMYK
                                                                              : JCS_RGB;
    return true;
}

// Decodes into bottom-up rows of uiRowBytes (what ImageData holds).
bool ReadRows(JpegDecoder& decoder, std::uint8_t* pPixels, std::size_t uiRowBytes)
{
    if (setjmp(decoder.jump)) return false;
    jpeg_start_decompress(&decoder.info);
    const JDIMENSION uiHeight = decoder.info.output_height;
    while (decoder.info.output_scanline < uiHeight) {
        JSAMPROW pRow = pPixels + static_cast<std::size_t>(uiHeight - 1 - decoder.info.output_scanline) * uiRowBytes;
        jpeg_read_scanlines(&decoder.info, &pRow, 1);
    }
    jpeg_finish_decompress(&decoder.info);
    return true;
}

} // namespace

bool IsJPEG(const std::uint8_t* pData, std::size_t uiSize)
{
    // A marker is 0xFF, any number of fill bytes 0xFF, then its code: a
    // start of image (0xD8) so written is taken for a JPEG file.
    std::size_t i = 0;
    while (i < uiSize && pData[i] == 0xFF) ++i;
    return i > 0 && i < uiSize && pData[i] == 0xD8;
}

std::unique_ptr<ImageData> ReadJPEG(const std::uint8_t* pData, std::size_t uiSize)
{
    const auto Failed = [](const JpegDecoder& decoder) { Refuse(std::string("libjpeg: ") + decoder.szMessage); };
    const auto pDecoder = std::make_unique<JpegDecoder>();
    JpegDecoder& decoder = *pDecoder;
    if (!ReadHeader(decoder, pData, uiSize)) Failed(decoder);
    const bool bGrey = decoder.info.out_color_space == JCS_GRAYSCALE;
    const bool bCmyk = decoder.info.out_color_space == JCS_CMYK;
    const std::uint32_t uiWidth = decoder.info.image_width, uiHeight = decoder.info.image_height;
    // RGB is held with a fourth channel once loaded.
    CheckImageLimits(uiWidth, uiHeight, std::uint64_t{uiWidth} * uiHeight * (bGrey ? 1 : 4));

    const std::size_t uiDecoded = bGrey ? 1 : bCmyk ? 4 : 3;
    std::vector<std::uint8_t> pixels;
    try {
        pixels.resize(std::size_t{uiWidth} * uiHeight * uiDecoded);
    } catch (const std::bad_alloc&) {
        Refuse("not enough memory for its pixels");
    }
    if (!ReadRows(decoder, pixels.data(), std::size_t{uiWidth} * uiDecoded)) Failed(decoder);

    auto pImage = std::make_unique<ImageData>();
    pImage->m_iImageFormat = bGrey ? FormatR8 : FormatRGB8;
    pImage->m_iChannelLayout = bGrey ? LayoutGrey : LayoutRGB;
    pImage->m_iComponentType = ComponentUInt8;
    pImage->m_uiWidth = uiWidth;
    pImage->m_uiHeight = uiHeight;
    pImage->m_uiPixelSize = bGrey ? 1 : 3;
    if (bCmyk) {
        // Print software stores the inks inverted (Adobe's convention, which
        // libjpeg keeps): a stored value is the light left, and the light
        // of a colour is that of its ink times that of the black. In place:
        // each result lands where nothing is still to be read.
        const std::size_t uiPixels = std::size_t{uiWidth} * uiHeight;
        for (std::size_t i = 0; i < uiPixels; ++i)
            for (std::size_t c = 0; c < 3; ++c)
                pixels[3 * i + c] = static_cast<std::uint8_t>((pixels[4 * i + c] * pixels[4 * i + 3] + 127) / 255);
        pixels.resize(uiPixels * 3);
    }
    pImage->m_Pixels = std::move(pixels);
    return pImage;
}

} // namespace Ondo::GFX
