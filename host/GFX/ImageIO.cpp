#include "host/GFX/ImageIO.h"
#include "host/GFX/ImageReaders.h"

#include "Ondo/Exceptions.h"
#include "Ondo/File.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/OpenGL/Textures.h"

#include <stb_image.h>

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <half.h>
#include <png.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace Ondo::GFX {

namespace {

// Layouts by channel count: of pictures read from files (one channel is
// grey, two are grey and alpha) and of data read back from textures.
const std::int32_t s_PictureLayouts[] = {LayoutGrey, LayoutGreyAlpha, LayoutRGB, LayoutRGBA};
const std::int32_t s_DataLayouts[] = {LayoutR, LayoutRG, LayoutRGB, LayoutRGBA};

[[noreturn]] void Undecodable(const std::string& strReason) { throw ExceptionParsing(strReason); }

// An image of one level from rows that run top-down, as every file format
// here stores them; ImageData rows run bottom-up.
std::unique_ptr<ImageData> FromTopDownRows(std::int32_t iFormat, std::int32_t iComponentType, int iWidth, int iHeight,
                                           int iChannels, std::size_t uiBytesPerChannel, const void* pRows,
                                           std::int32_t iLayout)
{
    if (iWidth <= 0 || iHeight <= 0) Undecodable("the picture has no pixels");
    auto pImage = std::make_unique<ImageData>();
    pImage->m_iImageFormat = iFormat;
    pImage->m_iChannelLayout = iLayout;
    pImage->m_iComponentType = iComponentType;
    pImage->m_uiWidth = static_cast<std::uint32_t>(iWidth);
    pImage->m_uiHeight = static_cast<std::uint32_t>(iHeight);
    pImage->m_uiPixelSize = static_cast<std::uint32_t>(uiBytesPerChannel * static_cast<std::size_t>(iChannels));
    const std::size_t uiRowBytes = static_cast<std::size_t>(iWidth) * pImage->m_uiPixelSize;
    pImage->m_Pixels.resize(uiRowBytes * static_cast<std::size_t>(iHeight));
    const auto* pSource = static_cast<const std::uint8_t*>(pRows);
    for (int y = 0; y < iHeight; ++y)
        std::memcpy(pImage->m_Pixels.data() + static_cast<std::size_t>(y) * uiRowBytes,
                    pSource + static_cast<std::size_t>(iHeight - 1 - y) * uiRowBytes, uiRowBytes);
    return pImage;
}

struct StbFree {
    void operator()(void* p) const { stbi_image_free(p); }
};

// stb_image takes the length as int; larger inputs are no image it could read.
void CheckFitsStb(std::size_t uiSize)
{
    if (uiSize > INT_MAX) Undecodable("the file is larger than the decoder takes (2 GiB)");
}

// stb_image's own word for why it gave up ("bad png sig", "bad huffman code").
[[noreturn]] void StbFailed()
{
    const char* szReason = stbi_failure_reason();
    Undecodable(std::string("stb_image: ") + (szReason && *szReason ? szReason : "not a picture it can read"));
}

const char* const s_szCutShort = "the file ends before its pixels do (cut short?)";

// Refuses a header's claim of width x height pixels of uiPixelBytes each
// (as the engine holds them) that passes the image limits.
void CheckClaim(std::int64_t iWidth, std::int64_t iHeight, std::uint64_t uiPixelBytes)
{
    if (iWidth <= 0 || iHeight <= 0) Undecodable("the picture has no pixels");
    const auto uiWidth = static_cast<std::uint64_t>(iWidth), uiHeight = static_cast<std::uint64_t>(iHeight);
    CheckImageLimits(uiWidth, uiHeight, uiWidth * uiHeight * uiPixelBytes);
}

// Hands a file in memory to stb_image and notes whether the decoder asked for
// bytes beyond its end. stb_image reads zeros there and would give a file cut
// short as a complete picture with black rows; such a file is refused.
class StbSource {
public:
    StbSource(const std::uint8_t* pData, std::size_t uiSize) : m_pData(pData), m_uiSize(uiSize) { }
    static const stbi_io_callbacks s_Callbacks;
    bool Overran() const { return m_bOverran; }

private:
    static int Read(void* pUser, char* pTarget, int iSize)
    {
        auto& source = *static_cast<StbSource*>(pUser);
        const std::size_t uiLeft = source.m_uiSize - source.m_uiPosition;
        const std::size_t uiCount = std::min(static_cast<std::size_t>(std::max(iSize, 0)), uiLeft);
        if (uiCount == 0 && iSize > 0) source.m_bOverran = true;
        if (uiCount > 0) std::memcpy(pTarget, source.m_pData + source.m_uiPosition, uiCount);
        source.m_uiPosition += uiCount;
        return static_cast<int>(uiCount);
    }
    static void Skip(void* pUser, int iCount)
    {
        auto& source = *static_cast<StbSource*>(pUser);
        if (iCount < 0) {
            const auto uiBack = static_cast<std::size_t>(-static_cast<long long>(iCount));
            source.m_uiPosition -= std::min(source.m_uiPosition, uiBack);
            return;
        }
        if (static_cast<std::size_t>(iCount) > source.m_uiSize - source.m_uiPosition) source.m_bOverran = true;
        source.m_uiPosition += std::min(static_cast<std::size_t>(iCount), source.m_uiSize - source.m_uiPosition);
    }
    static int AtEnd(void* pUser)
    {
        const auto& source = *static_cast<const StbSource*>(pUser);
        return source.m_uiPosition >= source.m_uiSize ? 1 : 0;
    }

    const std::uint8_t* m_pData;
    std::size_t m_uiSize;
    std::size_t m_uiPosition = 0;
    bool m_bOverran = false;
};

const stbi_io_callbacks StbSource::s_Callbacks = {&StbSource::Read, &StbSource::Skip, &StbSource::AtEnd};

// Whether the data starts like one of the files stb_image reads that are not
// registered here (Radiance, GIF, Photoshop, Softimage PIC, PNM). TGA has no
// mark of its own, so the 8-bit reader takes whatever is none of these.
bool IsOtherStbFormat(const std::uint8_t* pData, std::size_t uiSize, int iSize)
{
    const auto StartsWith = [&](const char* szMark, std::size_t uiLength) {
        return uiSize >= uiLength && std::memcmp(pData, szMark, uiLength) == 0;
    };
    return stbi_is_hdr_from_memory(pData, iSize) || StartsWith("GIF8", 4) || StartsWith("8BPS", 4) ||
           StartsWith("\x53\x80\xF6\x34", 4) || StartsWith("P5", 2) || StartsWith("P6", 2);
}

// PNG, JPEG, TGA and BMP, told apart by their content. 16-bit PNGs keep their
// depth; everything else comes as 8 bits per channel. One channel is grey,
// two are grey and alpha. PNG goes to libpng, which decodes faster; JPEG to
// libjpeg-turbo: stb_image's decoder takes Huffman tables a file never
// defines from uninitialised memory, and a damaged file crashed it.
std::unique_ptr<ImageData> ReadWithStb(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    if (IsPNG(pData, uiSize)) return ReadPNG(pData, uiSize);
    if (IsJPEG(pData, uiSize)) return ReadJPEG(pData, uiSize);
    CheckFitsStb(uiSize);
    if (IsOtherStbFormat(pData, uiSize, static_cast<int>(uiSize)))
        Undecodable("the content is no PNG, JPEG, TGA or BMP picture");
    int iWidth = 0, iHeight = 0, iChannels = 0;
    try {
        StbSource probe(pData, uiSize);
        const bool bSixteen = stbi_is_16_bit_from_callbacks(&StbSource::s_Callbacks, &probe) != 0;
        // The size the header claims, before the decoder allocates for it.
        // Counted as four channels: a palette's colours are known only later.
        if (!stbi_info_from_memory(pData, static_cast<int>(uiSize), &iWidth, &iHeight, &iChannels)) StbFailed();
        CheckClaim(iWidth, iHeight, 4 * (bSixteen ? 2 : 1));
        StbSource source(pData, uiSize);
        static const std::int32_t s_Formats16[] = {FormatR16, FormatRG16, FormatRGB16, FormatRGBA16};
        static const std::int32_t s_Formats8[] = {FormatR8, FormatRG8, FormatRGB8, FormatRGBA8};
        std::unique_ptr<void, StbFree> pPixels(
            bSixteen ? static_cast<void*>(stbi_load_16_from_callbacks(&StbSource::s_Callbacks, &source, &iWidth,
                                                                      &iHeight, &iChannels, 0))
                     : static_cast<void*>(stbi_load_from_callbacks(&StbSource::s_Callbacks, &source, &iWidth, &iHeight,
                                                                   &iChannels, 0)));
        if (source.Overran()) Undecodable(s_szCutShort);
        if (!pPixels) StbFailed();
        if (iChannels < 1 || iChannels > 4) Undecodable(std::to_string(iChannels) + " channels per pixel");
        return FromTopDownRows((bSixteen ? s_Formats16 : s_Formats8)[iChannels - 1],
                               bSixteen ? ComponentUInt16 : ComponentUInt8, iWidth, iHeight, iChannels,
                               bSixteen ? 2 : 1, pPixels.get(), s_PictureLayouts[iChannels - 1]);
    } catch (const std::bad_alloc&) {
        Undecodable("not enough memory for its pixels");
    }
}

// stb_image's Radiance decoder never ends on a run-length count of zero, and
// every file cut short inside run-length data ends in such counts (it reads
// zeros beyond the end). This walks the pixel data the way the decoder will
// and accepts only data that holds every scanline without a zero count.
bool RadiancePixelsComplete(const std::uint8_t* pData, std::size_t uiSize, int iWidth, int iHeight)
{
    // The pixels follow the resolution line, which follows the empty line
    // that ends the header.
    const std::uint8_t* const pEnd = pData + uiSize;
    const std::uint8_t emptyLine[] = {'\n', '\n'};
    const std::uint8_t* p = std::search(pData, pEnd, emptyLine, emptyLine + 2);
    if (p == pEnd) return false;
    p = std::find(p + 2, pEnd, '\n');
    if (p == pEnd) return false;
    std::size_t uiPosition = static_cast<std::size_t>(p + 1 - pData);

    // Flat pixels, four bytes each; the decoder also falls back to reading
    // the whole picture flat from the first scanline without a run-length mark.
    const std::size_t uiFlatBytes = static_cast<std::size_t>(iWidth) * static_cast<std::size_t>(iHeight) * 4;
    if (iWidth < 8 || iWidth >= 32768) return uiSize - uiPosition >= uiFlatBytes;
    for (int y = 0; y < iHeight; ++y) {
        if (uiSize - uiPosition < 4) return false;
        const std::uint8_t* pMark = pData + uiPosition;
        if (pMark[0] != 2 || pMark[1] != 2 || (pMark[2] & 0x80)) return uiSize - uiPosition >= uiFlatBytes;
        if (((pMark[2] << 8) | pMark[3]) != iWidth) return false;
        uiPosition += 4;
        for (int iComponent = 0; iComponent < 4; ++iComponent) {
            for (int x = 0; x < iWidth;) {
                if (uiPosition >= uiSize) return false;
                int iCount = pData[uiPosition++];
                const bool bRun = iCount > 128;
                if (bRun) iCount -= 128;
                const std::size_t uiValueBytes = bRun ? 1 : static_cast<std::size_t>(iCount);
                if (iCount == 0 || iCount > iWidth - x || uiValueBytes > uiSize - uiPosition) return false;
                uiPosition += uiValueBytes;
                x += iCount;
            }
        }
    }
    return true;
}

// Radiance RGBE files, as 32-bit float RGB.
std::unique_ptr<ImageData> ReadRadiance(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    CheckFitsStb(uiSize);
    const int iSize = static_cast<int>(uiSize);
    int iWidth = 0, iHeight = 0, iChannels = 0;
    if (!stbi_is_hdr_from_memory(pData, iSize)) Undecodable("no Radiance header (\"#?RADIANCE\")");
    if (!stbi_info_from_memory(pData, iSize, &iWidth, &iHeight, &iChannels)) StbFailed();
    CheckClaim(iWidth, iHeight, 4 * sizeof(float));
    if (!RadiancePixelsComplete(pData, uiSize, iWidth, iHeight)) Undecodable(s_szCutShort);
    try {
        std::unique_ptr<float, StbFree> pPixels(stbi_loadf_from_memory(pData, iSize, &iWidth, &iHeight, &iChannels, 3));
        if (!pPixels) StbFailed();
        return FromTopDownRows(FormatRGB32F, ComponentFloat32, iWidth, iHeight, 3, sizeof(float), pPixels.get(),
                               LayoutRGB);
    } catch (const std::bad_alloc&) {
        Undecodable("not enough memory for its pixels");
    }
}

// --- OpenEXR

// The library names its stream in every message ('Error reading pixel data
// from image file "(in memory)". The file ends early'); the loader names the
// file itself, so the stream's name goes.
const char* const s_szExrStream = "(in memory)";
std::string WithoutStreamName(std::string strMessage)
{
    std::string strName = std::string(" image file \"") + s_szExrStream + "\"";
    std::size_t uiAt = strMessage.find(strName);
    if (uiAt == std::string::npos) return strMessage;
    if (uiAt >= 5 && strMessage.compare(uiAt - 5, 5, " from") == 0) uiAt -= 5, strName.insert(0, " from");
    const bool bSentenceEnds = strMessage.compare(uiAt + strName.size(), 2, ". ") == 0;
    return strMessage.replace(uiAt, strName.size() + (bSentenceEnds ? 2 : 0), bSentenceEnds ? ": " : "");
}

// A file held in memory, as the OpenEXR library reads files. Reading past the
// end throws, as the library's own file streams do, so a file cut short is
// refused with the library's reason.
class ExrMemoryIn : public Imf::IStream {
public:
    ExrMemoryIn(const std::uint8_t* pData, std::size_t uiSize)
        : Imf::IStream(s_szExrStream), m_pData(pData), m_uiSize(uiSize)
    {
    }
    bool read(char c[], int n) override
    {
        if (n < 0 || static_cast<std::size_t>(n) > m_uiSize - std::min(m_uiPosition, m_uiSize))
            throw Iex::InputExc("the file ends early");
        if (n == 0) return m_uiPosition < m_uiSize;
        std::memcpy(c, m_pData + m_uiPosition, static_cast<std::size_t>(n));
        m_uiPosition += static_cast<std::size_t>(n);
        return m_uiPosition < m_uiSize;
    }
    std::uint64_t tellg() override { return m_uiPosition; }
    void seekg(std::uint64_t uiPosition) override { m_uiPosition = static_cast<std::size_t>(uiPosition); }

private:
    const std::uint8_t* m_pData;
    std::size_t m_uiSize;
    std::size_t m_uiPosition = 0;
};

// The bytes of a file being written, kept in memory until they are complete.
class ExrMemoryOut : public Imf::OStream {
public:
    ExrMemoryOut() : Imf::OStream(s_szExrStream) {}
    void write(const char c[], int n) override
    {
        const std::size_t uiEnd = m_uiPosition + static_cast<std::size_t>(n);
        if (uiEnd > m_Bytes.size()) m_Bytes.resize(uiEnd);
        std::memcpy(m_Bytes.data() + m_uiPosition, c, static_cast<std::size_t>(n));
        m_uiPosition = uiEnd;
    }
    std::uint64_t tellp() override { return m_uiPosition; }
    void seekp(std::uint64_t uiPosition) override { m_uiPosition = static_cast<std::size_t>(uiPosition); }
    const std::vector<std::uint8_t>& Bytes() const { return m_Bytes; }

private:
    std::vector<std::uint8_t> m_Bytes;
    std::size_t m_uiPosition = 0;
};

// The picture's size from its data window, refused when it is empty or
// passes the image limits (RGBA32F, the widest the engine makes of it).
std::pair<int, int> ExrSize(const Imath::Box2i& window)
{
    const std::int64_t iWidth = std::int64_t{window.max.x} - window.min.x + 1;
    const std::int64_t iHeight = std::int64_t{window.max.y} - window.min.y + 1;
    if (iWidth <= 0 || iHeight <= 0) Undecodable("the data window is empty");
    CheckClaim(iWidth, iHeight, 4 * sizeof(float));
    return {static_cast<int>(iWidth), static_cast<int>(iHeight)};
}

// What the first header of an OpenEXR file claims, read before the library
// sees the file: the library allocates a table of every chunk's offset as
// soon as it opens a file, sized by the data window, so the window is checked
// against the image limits and the table against the file that must hold it.
// A file without the OpenEXR magic number is left to the library to refuse.
void CheckExrClaim(const std::uint8_t* pData, std::size_t uiSize)
{
    const ByteView file(pData, uiSize);
    if (uiSize < 8 || file.U32(0) != 20000630) return;
    std::size_t uiAt = 8;
    const auto Text = [&]() {
        const std::uint8_t* pEnd = std::find(pData + uiAt, pData + uiSize, 0);
        if (pEnd == pData + uiSize) Undecodable("OpenEXR: the header ends early");
        std::string strText(pData + uiAt, pEnd);
        uiAt = static_cast<std::size_t>(pEnd - pData) + 1;
        return strText;
    };
    std::int64_t iWidth = 0, iHeight = 0, iTileWidth = 0, iTileHeight = 0;
    int iCompression = 0;
    for (std::string strName = Text(); !strName.empty(); strName = Text()) {
        const std::string strType = Text();
        const std::uint32_t uiLength = file.U32(uiAt);
        uiAt += 4;
        file.Require(uiAt, uiLength, "its header");
        const auto Int = [&](std::size_t i) {
            return static_cast<std::int64_t>(static_cast<std::int32_t>(file.U32(uiAt + i * 4)));
        };
        if (strName == "dataWindow" && strType == "box2i" && uiLength == 16) {
            iWidth = Int(2) - Int(0) + 1, iHeight = Int(3) - Int(1) + 1;
        } else if (strName == "tiles" && strType == "tiledesc" && uiLength == 9) {
            iTileWidth = file.U32(uiAt), iTileHeight = file.U32(uiAt + 4);
        } else if (strName == "compression" && strType == "compression" && uiLength == 1) {
            iCompression = pData[uiAt];
        }
        uiAt += uiLength;
    }
    if (iWidth <= 0 || iHeight <= 0) Undecodable("the data window is empty");
    CheckClaim(iWidth, iHeight, 4 * sizeof(float));

    // Chunks of level 0 alone: tiles, or blocks of scan lines whose height the
    // compression sets. Each needs its 8-byte entry in the offset table.
    std::uint64_t uiChunks = 0;
    if (iTileWidth > 0 && iTileHeight > 0) {
        uiChunks = static_cast<std::uint64_t>((iWidth + iTileWidth - 1) / iTileWidth) *
                   static_cast<std::uint64_t>((iHeight + iTileHeight - 1) / iTileHeight);
    } else {
        static const int s_LinesPerChunk[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};
        const int iLines = iCompression >= 0 && iCompression < 10 ? s_LinesPerChunk[iCompression] : 1;
        uiChunks = static_cast<std::uint64_t>((iHeight + iLines - 1) / iLines);
    }
    if (uiChunks > (uiSize - uiAt) / 8)
        Undecodable("OpenEXR: the file ends before its table of " + std::to_string(uiChunks) +
                    " chunks does (cut short?)");
}

// Luminance-chroma files (channels RY and BY, usually subsampled): the
// library's RGBA interface turns them into colour.
std::unique_ptr<ImageData> ReadExrLuminanceChroma(ExrMemoryIn& stream)
{
    stream.seekg(0);
    Imf::RgbaInputFile file(stream);
    const Imath::Box2i window = file.dataWindow();
    const auto [iWidth, iHeight] = ExrSize(window);
    std::vector<Imf::Rgba> halves(static_cast<std::size_t>(iWidth) * static_cast<std::size_t>(iHeight));
    // The frame buffer is addressed by file coordinates, which start at the
    // window's corner.
    const std::ptrdiff_t iOrigin = std::ptrdiff_t{window.min.x} + std::ptrdiff_t{window.min.y} * iWidth;
    file.setFrameBuffer(halves.data() - iOrigin, 1, static_cast<std::size_t>(iWidth));
    file.readPixels(window.min.y, window.max.y);
    std::vector<float> rows(halves.size() * 4);
    for (std::size_t i = 0; i < halves.size(); ++i) {
        rows[i * 4 + 0] = halves[i].r, rows[i * 4 + 1] = halves[i].g;
        rows[i * 4 + 2] = halves[i].b, rows[i * 4 + 3] = halves[i].a;
    }
    return FromTopDownRows(FormatRGBA32F, ComponentFloat32, iWidth, iHeight, 4, sizeof(float), rows.data(), LayoutRGBA);
}

// OpenEXR files through the OpenEXR library: scan-line and tiled, every
// compression the library knows (DWAA, DWAB, PXR24, B44 among them), half,
// float and unsigned-int channels, of the first part of a multi-part file.
// Colour (R, G, B, A; a missing colour is 0, a missing alpha 1) gives
// RGBA32F; luminance Y gives grey R32F, with alpha A grey+alpha RG32F; depth
// Z alone gives R32F with the depth layout; one channel of another name is
// taken as grey.
std::unique_ptr<ImageData> ReadOpenEXR(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    try {
        CheckExrClaim(pData, uiSize);
        ExrMemoryIn stream(pData, uiSize);
        Imf::InputFile file(stream);
        const Imf::ChannelList& channels = file.header().channels();
        const auto Has = [&](const char* szName) { return channels.findChannel(szName) != nullptr; };
        if (Has("RY") || Has("BY")) return ReadExrLuminanceChroma(stream);

        // The channels read into each slot of a pixel, and the value of a
        // slot the file lacks.
        struct Slot {
            const char* szName;
            double dMissing;
        };
        Slot slots[4] = {{"R", 0.0}, {"G", 0.0}, {"B", 0.0}, {"A", 1.0}};
        std::size_t uiChannels = 4;
        std::int32_t iFormat = FormatRGBA32F, iLayout = LayoutRGBA;
        const bool bColour = Has("R") || Has("G") || Has("B");
        if (bColour) {
            // All four slots, as set above.
        } else if (Has("Y")) {
            slots[0] = {"Y", 0.0}, slots[1] = {"A", 1.0};
            uiChannels = Has("A") ? 2 : 1;
            iFormat = Has("A") ? FormatRG32F : FormatR32F, iLayout = Has("A") ? LayoutGreyAlpha : LayoutGrey;
        } else if (Has("Z")) {
            slots[0] = {"Z", 0.0}, uiChannels = 1;
            iFormat = FormatR32F, iLayout = LayoutDepth;
        } else if (channels.begin() != channels.end() && ++channels.begin() == channels.end()) {
            slots[0] = {channels.begin().name(), 0.0}, uiChannels = 1;
            iFormat = FormatR32F, iLayout = LayoutGrey;
        } else {
            std::string strNames;
            for (auto it = channels.begin(); it != channels.end(); ++it)
                strNames += std::string(strNames.empty() ? "" : ", ") + it.name();
            Undecodable("no colour (R, G, B), luminance (Y) or depth (Z) channel among: " +
                        (strNames.empty() ? std::string("none") : strNames));
        }
        for (std::size_t s = 0; s < uiChannels; ++s) {
            const Imf::Channel* pChannel = channels.findChannel(slots[s].szName);
            if (pChannel && (pChannel->xSampling != 1 || pChannel->ySampling != 1))
                Undecodable(std::string("channel ") + slots[s].szName + " is subsampled");
        }

        const Imath::Box2i window = file.header().dataWindow();
        const auto [iWidth, iHeight] = ExrSize(window);
        std::vector<float> rows(static_cast<std::size_t>(iWidth) * static_cast<std::size_t>(iHeight) * uiChannels);
        Imf::FrameBuffer frameBuffer;
        for (std::size_t s = 0; s < uiChannels; ++s)
            frameBuffer.insert(slots[s].szName,
                               Imf::Slice::Make(Imf::FLOAT, rows.data() + s, window, uiChannels * sizeof(float),
                                                uiChannels * sizeof(float) * static_cast<std::size_t>(iWidth), 1, 1,
                                                slots[s].dMissing));
        file.setFrameBuffer(frameBuffer);
        file.readPixels(window.min.y, window.max.y);
        return FromTopDownRows(iFormat, ComponentFloat32, iWidth, iHeight, static_cast<int>(uiChannels), sizeof(float),
                               rows.data(), iLayout);
    } catch (const ExceptionParsing&) {
        throw;
    } catch (const std::bad_alloc&) {
        Undecodable("not enough memory for its pixels");
    } catch (const std::exception& error) {
        Undecodable("OpenEXR: " + WithoutStreamName(error.what()));
    }
}

// --- writing

[[noreturn]] void WriteFailure(const std::string& strPath, const std::string& strReason)
{
    throw ExceptionFileSystem("Could not write the image file " + strPath + ": " + strReason);
}

// The target is either the complete new file or untouched.
void WriteFileInPlace(const std::string& strPath, const std::vector<std::uint8_t>& bytes)
{
    const std::string strProblem = WriteFileAtomically(strPath, bytes.data(), bytes.size());
    if (!strProblem.empty()) WriteFailure(strPath, strProblem);
}

// The checks both writers share: a consistent, two-dimensional image whose
// rows a file format can count.
void CheckWritable(const std::string& strPath, const ImageData& image, const char* szFileType)
{
    const std::string strProblem = image.Validate();
    if (!strProblem.empty()) WriteFailure(strPath, strProblem);
    if (image.GetDepth() != 1 || image.GetNumFaces() != 1)
        WriteFailure(strPath, std::string(szFileType) + " holds one two-dimensional image, not a volume or cube map");
    if (image.m_uiWidth > INT_MAX / 16 || image.m_uiHeight > INT_MAX / 16)
        WriteFailure(strPath, "the image is too large for " + std::string(szFileType));
}

// Row y from the top of the first level, as bytes.
const std::uint8_t* TopDownRow(const ImageData& image, std::uint32_t y)
{
    const std::size_t uiRowBytes = image.GetLevelSize(0) / image.m_uiHeight;
    return image.m_Pixels.data() + static_cast<std::size_t>(image.m_uiHeight - 1 - y) * uiRowBytes;
}

std::string FormatName(const ImageData& image) { return GetImageFormatDescription(image.m_iImageFormat).m_szName; }

// How the writers find the channels of a pixel of each format they take.
enum class Component { UNorm8, UNorm16, Half, Float, Depth16, Depth24, Depth32F, Depth24Stencil8 };
struct PixelPlan {
    std::int32_t iFormat;
    unsigned int uiChannels;
    Component eComponent;
    bool bBgr = false;  // colours stored as blue, green, red
    bool bSrgb = false; // colours sRGB-encoded
};
const PixelPlan s_PixelPlans[] = {
    {FormatR8, 1, Component::UNorm8},
    {FormatRG8, 2, Component::UNorm8},
    {FormatRGB8, 3, Component::UNorm8},
    {FormatRGBA8, 4, Component::UNorm8},
    {FormatBGR8, 3, Component::UNorm8, true},
    {FormatBGRA8, 4, Component::UNorm8, true},
    {FormatSRGB8, 3, Component::UNorm8, false, true},
    {FormatSRGB8A8, 4, Component::UNorm8, false, true},
    {FormatR16, 1, Component::UNorm16},
    {FormatRG16, 2, Component::UNorm16},
    {FormatRGB16, 3, Component::UNorm16},
    {FormatRGBA16, 4, Component::UNorm16},
    {FormatR16F, 1, Component::Half},
    {FormatRG16F, 2, Component::Half},
    {FormatRGB16F, 3, Component::Half},
    {FormatRGBA16F, 4, Component::Half},
    {FormatR32F, 1, Component::Float},
    {FormatRG32F, 2, Component::Float},
    {FormatRGB32F, 3, Component::Float},
    {FormatRGBA32F, 4, Component::Float},
    {FormatDepth16, 1, Component::Depth16},
    {FormatDepth24, 1, Component::Depth24},
    {FormatDepth32F, 1, Component::Depth32F},
    {FormatDepth24Stencil8, 1, Component::Depth24Stencil8},
};

const PixelPlan* FindPlan(std::int32_t iFormat)
{
    for (const PixelPlan& plan : s_PixelPlans)
        if (plan.iFormat == iFormat) return &plan;
    return nullptr;
}

bool IsDepth(const PixelPlan& plan, const ImageData& image)
{
    return plan.eComponent >= Component::Depth16 || image.m_iChannelLayout == LayoutDepth;
}

// Where channel c (in R, G, B, A order) of a pixel starts.
const std::uint8_t* ChannelOf(const PixelPlan& plan, const std::uint8_t* pPixel, unsigned int c)
{
    const unsigned int uiStored = plan.bBgr && c < 3 ? 2 - c : c;
    const std::size_t uiBytes = plan.eComponent == Component::UNorm8                                          ? 1
                                : plan.eComponent == Component::UNorm16 || plan.eComponent == Component::Half ? 2
                                                                                                              : 4;
    return pPixel + uiStored * uiBytes;
}

template <class T>
T Load(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
}

float SrgbToLinear(float fValue)
{
    return fValue <= 0.04045f ? fValue / 12.92f : std::pow((fValue + 0.055f) / 1.055f, 2.4f);
}

// Channel c of a pixel as a float: normalised integers in [0, 1], depth in
// [0, 1] (32-bit float depth as it is), sRGB colours made linear.
float ValueOf(const PixelPlan& plan, const std::uint8_t* pPixel, unsigned int c)
{
    const std::uint8_t* p = ChannelOf(plan, pPixel, c);
    switch (plan.eComponent) {
    case Component::UNorm8: {
        const float fValue = *p / 255.0f;
        return plan.bSrgb && c < 3 ? SrgbToLinear(fValue) : fValue;
    }
    case Component::UNorm16:
    case Component::Depth16: return static_cast<float>(Load<std::uint16_t>(p) / 65535.0);
    case Component::Half: {
        half value;
        value.setBits(Load<std::uint16_t>(p));
        return value;
    }
    case Component::Depth24: return static_cast<float>(Load<std::uint32_t>(p) / 4294967295.0);
    case Component::Depth24Stencil8: return static_cast<float>((Load<std::uint32_t>(p) >> 8) / 16777215.0);
    case Component::Float:
    case Component::Depth32F: break;
    }
    return Load<float>(p);
}

// --- PNG through libpng, which writes 16-bit files as well.

struct PngState {
    std::vector<std::uint8_t>* pBytes;
    char szError[200];
};

[[noreturn]] void PngError(png_structp pPng, png_const_charp szMessage)
{
    PngState& state = *static_cast<PngState*>(png_get_error_ptr(pPng));
    std::snprintf(state.szError, sizeof(state.szError), "%s", szMessage);
    std::longjmp(png_jmpbuf(pPng), 1);
}

void PngWarning(png_structp, png_const_charp) { }

void PngAppend(png_structp pPng, png_bytep pData, png_size_t uiSize)
{
    bool bOutOfMemory = false;
    try {
        auto& bytes = *static_cast<PngState*>(png_get_io_ptr(pPng))->pBytes;
        bytes.insert(bytes.end(), pData, pData + uiSize);
    } catch (const std::bad_alloc&) {
        bOutOfMemory = true;
    }
    if (bOutOfMemory) png_error(pPng, "out of memory");
}

void PngFlush(png_structp) { }

// How each compression setting drives libpng. Measured on 1920 x 1080
// photographs (docs/PERFORMANCE.md): the Paeth filter on every row with
// zlib's run-length strategy writes files about 2 % smaller than libpng's
// defaults (level 6, a filter chosen per row) in a seventh of the time;
// level 9 with every filter tried saves another 4 % at forty times the cost.
struct PngSettings {
    int iLevel;
    int iFilters;
    int iStrategy;
};
PngSettings SettingsOf(PngCompression eCompression)
{
    if (eCompression == PngCompression::Smallest) return {9, PNG_ALL_FILTERS, Z_FILTERED};
    return {1, PNG_FILTER_PAETH, Z_RLE};
}

// Encodes top-down rows; false with libpng's reason when it fails. libpng
// reports errors by longjmp, so nothing here owns memory across the jump.
// With bStripFiller, RGB rows carry a fourth byte per pixel that is left out.
bool EncodePNG(png_bytep* pRows, std::uint32_t uiWidth, std::uint32_t uiHeight, int iColourType, int iBitDepth,
               bool bStripFiller, PngCompression eCompression, std::vector<std::uint8_t>& bytes,
               std::string& strError)
{
    PngState state{&bytes, "libpng could not start"};
    png_structp pPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
    png_infop pInfo = pPng ? png_create_info_struct(pPng) : nullptr;
    if (!pInfo || setjmp(png_jmpbuf(pPng))) {
        png_destroy_write_struct(&pPng, &pInfo);
        strError = state.szError;
        return false;
    }
    png_set_write_fn(pPng, &state, PngAppend, PngFlush);
    const PngSettings settings = SettingsOf(eCompression);
    png_set_compression_level(pPng, settings.iLevel);
    png_set_compression_strategy(pPng, settings.iStrategy);
    png_set_filter(pPng, PNG_FILTER_TYPE_BASE, settings.iFilters);
    png_set_IHDR(pPng, pInfo, uiWidth, uiHeight, iBitDepth, iColourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(pPng, pInfo);
    if (bStripFiller) png_set_filler(pPng, 0, PNG_FILLER_AFTER);
    png_write_image(pPng, pRows);
    png_write_end(pPng, nullptr);
    png_destroy_write_struct(&pPng, &pInfo);
    return true;
}

// Whether every pixel of an RGBA8 image is opaque: such a picture is written
// as RGB, a quarter less to compress, and reads back the same.
bool IsOpaqueRGBA8(const ImageData& image)
{
    const std::size_t uiPixels = std::size_t{image.m_uiWidth} * image.m_uiHeight;
    const std::uint8_t* pPixels = image.m_Pixels.data();
    std::uint8_t uiAll = 0xFF;
    for (std::size_t p = 0; p < uiPixels; ++p) uiAll &= pPixels[4 * p + 3];
    return uiAll == 0xFF;
}

// RGB(A)8 images need no conversion: libpng is handed the image's own rows,
// bottom-up rows in top-down order.
std::vector<std::uint8_t> EncodeRGBA8(const ImageData& image, PngCompression eCompression, const std::string& strPath)
{
    const bool bAlpha = image.m_iImageFormat == FormatRGBA8;
    const bool bStripAlpha = bAlpha && IsOpaqueRGBA8(image);
    std::vector<png_bytep> rowPointers(image.m_uiHeight);
    for (std::uint32_t y = 0; y < image.m_uiHeight; ++y)
        rowPointers[y] = const_cast<png_bytep>(TopDownRow(image, y));
    std::vector<std::uint8_t> file;
    std::string strError;
    if (!EncodePNG(rowPointers.data(), image.m_uiWidth, image.m_uiHeight,
                   bAlpha && !bStripAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 8, bStripAlpha,
                   eCompression, file, strError))
        WriteFailure(strPath, "libpng: " + strError);
    return file;
}

} // namespace

void RegisterStandardImageReaders(Core& core)
{
    ImageLoader& loader = ImageLoader::Get(core);
    for (const wchar_t* szKey : {L"png", L"jpg", L"jpeg", L"tga", L"bmp"}) loader.RegisterReader(szKey, ReadWithStb);
    loader.RegisterReader(L"hdr", ReadRadiance);
    loader.RegisterReader(L"exr", ReadOpenEXR);
    // Textures with levels and faces, volumes, and cube maps from six faces.
    RegisterDDSReader(loader);
    RegisterKTXReader(loader);
    RegisterVolumeReaders(loader);
    RegisterCubeFaceSetReader(loader);
}

void WritePNG(const std::string& strPath, const ImageData& image, PngCompression eCompression)
{
    const PixelPlan* pPlan = FindPlan(image.m_iImageFormat);
    if (!pPlan || (pPlan->eComponent != Component::UNorm8 && pPlan->eComponent != Component::UNorm16))
        WriteFailure(strPath,
                     "PNG holds 8- and 16-bit images; the format " + FormatName(image) + " is not one of them");
    CheckWritable(strPath, image, "PNG");
    if (image.m_iImageFormat == FormatRGBA8 || image.m_iImageFormat == FormatRGB8)
        return WriteFileInPlace(strPath, EncodeRGBA8(image, eCompression, strPath));

    // The file's channels, each taken from a channel of the image (-1: 0).
    // Two channels are grey and alpha only when the image says so; red and
    // green data keeps its colours.
    static const int s_Grey[] = {0}, s_GreyAlpha[] = {0, 1}, s_RedGreen[] = {0, 1, -1}, s_RGB[] = {0, 1, 2},
                     s_RGBA[] = {0, 1, 2, 3};
    const bool bGreyAlpha = image.m_iChannelLayout == LayoutGreyAlpha;
    const int* pSources[] = {s_Grey, bGreyAlpha ? s_GreyAlpha : s_RedGreen, s_RGB, s_RGBA};
    const int iFileChannels[] = {1, bGreyAlpha ? 2 : 3, 3, 4};
    const int iColourTypes[] = {PNG_COLOR_TYPE_GRAY, bGreyAlpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_RGB,
                                PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    const unsigned int uiKind = pPlan->uiChannels - 1;
    const int* pSource = pSources[uiKind];
    const std::size_t uiChannels = static_cast<std::size_t>(iFileChannels[uiKind]);
    const bool bSixteen = pPlan->eComponent == Component::UNorm16;

    // PNG stores 16-bit values most significant byte first.
    const std::size_t uiPixelBytes = pPlan->uiChannels * (bSixteen ? 2u : 1u);
    const std::size_t uiRowBytes = image.m_uiWidth * uiChannels * (bSixteen ? 2u : 1u);
    std::vector<std::uint8_t> rows(uiRowBytes * image.m_uiHeight);
    std::vector<png_bytep> rowPointers(image.m_uiHeight);
    for (std::uint32_t y = 0; y < image.m_uiHeight; ++y) {
        std::uint8_t* pOut = rows.data() + y * uiRowBytes;
        rowPointers[y] = pOut;
        const std::uint8_t* pRow = TopDownRow(image, y);
        for (std::uint32_t x = 0; x < image.m_uiWidth; ++x)
            for (std::size_t c = 0; c < uiChannels; ++c) {
                const std::uint8_t* pValue =
                    pSource[c] < 0 ? nullptr
                                   : ChannelOf(*pPlan, pRow + x * uiPixelBytes, static_cast<unsigned int>(pSource[c]));
                if (!bSixteen) {
                    *pOut++ = pValue ? *pValue : 0;
                    continue;
                }
                const std::uint16_t uiValue = pValue ? Load<std::uint16_t>(pValue) : 0;
                *pOut++ = static_cast<std::uint8_t>(uiValue >> 8);
                *pOut++ = static_cast<std::uint8_t>(uiValue & 0xFF);
            }
    }

    std::vector<std::uint8_t> file;
    std::string strError;
    if (!EncodePNG(rowPointers.data(), image.m_uiWidth, image.m_uiHeight, iColourTypes[uiKind], bSixteen ? 16 : 8, false,
                   eCompression, file, strError))
        WriteFailure(strPath, "libpng: " + strError);
    WriteFileInPlace(strPath, file);
}

void WriteEXR(const std::string& strPath, const ImageData& image)
{
    const PixelPlan* pPlan = FindPlan(image.m_iImageFormat);
    if (!pPlan)
        WriteFailure(strPath, "OpenEXR takes colour, grey and depth images of 8, 16 and 32 bits; the format " +
                                  FormatName(image) + " is not one of them");
    CheckWritable(strPath, image, "OpenEXR");

    // Viewers show Y as grey and Z as depth; a lone R would be shown red.
    static const char* const s_Names[4][4] = {{"Y"}, {"R", "G"}, {"R", "G", "B"}, {"R", "G", "B", "A"}};
    static const char* const s_GreyAlpha[] = {"Y", "A"};
    static const char* const s_Depth[] = {"Z"};
    const unsigned int uiChannels = pPlan->uiChannels;
    const char* const* pNames = IsDepth(*pPlan, image) ? s_Depth
                                : image.m_iChannelLayout == LayoutGreyAlpha && uiChannels == 2
                                    ? s_GreyAlpha
                                    : s_Names[uiChannels - 1];

    // Halves stay halves; everything else becomes 32-bit float. One
    // interleaved buffer, rows top-down.
    const bool bHalf = pPlan->eComponent == Component::Half;
    const std::size_t uiValueBytes = bHalf ? 2 : 4;
    const std::size_t uiPixelBytes = GetImageFormatDescription(image.m_iImageFormat).m_uiBytesPerBlock;
    const std::size_t uiOutPixel = uiChannels * uiValueBytes;
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(image.m_uiWidth) * image.m_uiHeight * uiOutPixel);
    for (std::uint32_t y = 0; y < image.m_uiHeight; ++y) {
        const std::uint8_t* pRow = TopDownRow(image, y);
        for (std::uint32_t x = 0; x < image.m_uiWidth; ++x)
            for (unsigned int c = 0; c < uiChannels; ++c) {
                std::uint8_t* pOut =
                    rows.data() + (static_cast<std::size_t>(y) * image.m_uiWidth + x) * uiOutPixel + c * uiValueBytes;
                const std::uint8_t* pPixel = pRow + x * uiPixelBytes;
                if (bHalf) {
                    std::memcpy(pOut, ChannelOf(*pPlan, pPixel, c), 2);
                } else {
                    const float fValue = ValueOf(*pPlan, pPixel, c);
                    std::memcpy(pOut, &fValue, sizeof(fValue));
                }
            }
    }

    ExrMemoryOut stream;
    try {
        Imf::Header header(static_cast<int>(image.m_uiWidth), static_cast<int>(image.m_uiHeight));
        header.compression() = Imf::ZIP_COMPRESSION;
        const Imf::PixelType eType = bHalf ? Imf::HALF : Imf::FLOAT;
        Imf::FrameBuffer frameBuffer;
        for (unsigned int c = 0; c < uiChannels; ++c) {
            header.channels().insert(pNames[c], Imf::Channel(eType));
            frameBuffer.insert(pNames[c], Imf::Slice(eType, reinterpret_cast<char*>(rows.data() + c * uiValueBytes),
                                                     uiOutPixel, uiOutPixel * image.m_uiWidth));
        }
        Imf::OutputFile file(stream, header);
        file.setFrameBuffer(frameBuffer);
        file.writePixels(static_cast<int>(image.m_uiHeight));
    } catch (const std::exception& error) {
        WriteFailure(strPath, "OpenEXR: " + WithoutStreamName(error.what()));
    }
    WriteFileInPlace(strPath, stream.Bytes());
}

} // namespace Ondo::GFX

namespace Ondo::OpenGL {

namespace {

// The pixel-pack state glGetTexImage depends on, tightly packed into client
// memory for the scope's life and restored afterwards.
class ScopedPackState {
public:
    ScopedPackState()
    {
        for (std::size_t i = 0; i < s_uiCount; ++i) glGetIntegerv(s_Names[i], &m_Values[i]);
        glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &m_iPackBuffer);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
        glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    }
    ScopedPackState(const ScopedPackState&) = delete;
    ScopedPackState& operator=(const ScopedPackState&) = delete;
    ~ScopedPackState()
    {
        for (std::size_t i = 0; i < s_uiCount; ++i) glPixelStorei(s_Names[i], m_Values[i]);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(m_iPackBuffer));
    }

private:
    static constexpr std::size_t s_uiCount = 4;
    static constexpr GLenum s_Names[s_uiCount] = {GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH, GL_PACK_SKIP_PIXELS,
                                                  GL_PACK_SKIP_ROWS};
    GLint m_Values[s_uiCount] = {};
    GLint m_iPackBuffer = 0;
};

// The unsigned normalised formats read back in their own width: 1 for 8-bit,
// 2 for 16-bit, 0 for the rest (read as 32-bit floats).
std::size_t NormalisedBytes(GLenum eFormat)
{
    switch (eFormat) {
    case GL_R8:
    case GL_RG8:
    case GL_RGB8:
    case GL_RGBA8:
    case GL_SRGB8:
    case GL_SRGB8_ALPHA8: return 1;
    case GL_R16:
    case GL_RG16:
    case GL_RGB16:
    case GL_RGBA16: return 2;
    default: return 0;
    }
}

// Binds the pixel buffer for packing (the pack state restores the binding),
// made or grown to hold uiBytes.
void PreparePixelBuffer(BufferObject& pixelBuffer, std::size_t uiBytes)
{
    if (pixelBuffer.m_uiName == 0) glGenBuffers(1, &pixelBuffer.m_uiName);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pixelBuffer.m_uiName);
    GLint64 iSize = 0;
    glGetBufferParameteri64v(GL_PIXEL_PACK_BUFFER, GL_BUFFER_SIZE, &iSize);
    if (iSize < static_cast<GLint64>(uiBytes))
        glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(uiBytes), nullptr, GL_STREAM_READ);
}

} // namespace

GFX::ImageData ReadTexture2D(GLuint uiTexture, BufferObject& pixelBuffer)
{
    using namespace GFX;
    // Binding a name that is no texture is a GL error; refuse it first.
    if (uiTexture == 0 || !glIsTexture(uiTexture))
        throw std::runtime_error("ReadTexture2D: " + std::to_string(uiTexture) + " names no texture");
    const Vector2i size = GetImageSize2D(uiTexture);
    if (size.x() <= 0 || size.y() <= 0)
        throw std::runtime_error("ReadTexture2D: texture " + std::to_string(uiTexture) + " has no level 0");
    const GLenum eInternalFormat = GetInternalFormat2D(uiTexture);

    // 8- and 16-bit unsigned normalised formats keep their values; the rest
    // is read as 32-bit floats.
    static const std::int32_t s_ByteFormats[] = {FormatR8, FormatRG8, FormatRGB8, FormatRGBA8};
    static const std::int32_t s_ShortFormats[] = {FormatR16, FormatRG16, FormatRGB16, FormatRGBA16};
    static const std::int32_t s_FloatFormats[] = {FormatR32F, FormatRG32F, FormatRGB32F, FormatRGBA32F};
    static const GLenum s_PixelFormats[] = {GL_RED, GL_RG, GL_RGB, GL_RGBA};
    static const GLenum s_IntegerFormats[] = {GL_RED_INTEGER, GL_RG_INTEGER, GL_RGB_INTEGER, GL_RGBA_INTEGER};
    const unsigned int uiKnown = GetNumberOfComponents(eInternalFormat);
    const bool bDepth = IsDepthFormat(eInternalFormat);
    const std::size_t uiNormalised = NormalisedBytes(eInternalFormat);
    const unsigned int uiChannels = bDepth ? 1u : uiKnown >= 1 && uiKnown <= 4 ? uiKnown : 4u;
    const std::size_t uiChannelBytes = uiNormalised ? uiNormalised : 4;

    ImageData image;
    image.m_uiWidth = static_cast<std::uint32_t>(size.x());
    image.m_uiHeight = static_cast<std::uint32_t>(size.y());
    image.m_iImageFormat = (uiNormalised == 1   ? s_ByteFormats
                            : uiNormalised == 2 ? s_ShortFormats
                                                : s_FloatFormats)[uiChannels - 1];
    if (eInternalFormat == GL_SRGB8) image.m_iImageFormat = FormatSRGB8;
    if (eInternalFormat == GL_SRGB8_ALPHA8) image.m_iImageFormat = FormatSRGB8A8;
    // A grey swizzle says what the channels are; depth is depth.
    const std::int32_t iSwizzled = GetSwizzleLayout(GL_TEXTURE_2D, uiTexture);
    image.m_iChannelLayout = bDepth                       ? LayoutDepth
                             : iSwizzled != LayoutUnknown ? iSwizzled
                                                          : s_DataLayouts[uiChannels - 1];
    image.m_iComponentType = uiNormalised == 1   ? ComponentUInt8
                             : uiNormalised == 2 ? ComponentUInt16
                                                 : ComponentFloat32;
    image.m_uiPixelSize = static_cast<std::uint32_t>(uiChannels * uiChannelBytes);
    image.m_Pixels.resize(image.GetRequiredSize());
    const bool bInteger = IsIntegerFormat(eInternalFormat);
    const GLenum eComponent = GetPotentialComponentType(eInternalFormat);
    const bool bSigned = eComponent == GL_BYTE || eComponent == GL_SHORT || eComponent == GL_INT;

    GLint iPreviousTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &iPreviousTexture);
    {
        ScopedPackState packState;
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        // The GL writes into the pixel buffer (on a GPU, a copy it makes on
        // its own); mapping it waits for that copy.
        const std::size_t uiBytes = image.m_Pixels.size();
        PreparePixelBuffer(pixelBuffer, uiBytes);
        if (bDepth)
            glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
        else if (uiNormalised)
            glGetTexImage(GL_TEXTURE_2D, 0, s_PixelFormats[uiChannels - 1],
                          uiNormalised == 1 ? GL_UNSIGNED_BYTE : GL_UNSIGNED_SHORT, nullptr);
        else if (bInteger)
            glGetTexImage(GL_TEXTURE_2D, 0, s_IntegerFormats[uiChannels - 1], bSigned ? GL_INT : GL_UNSIGNED_INT,
                          nullptr);
        else
            glGetTexImage(GL_TEXTURE_2D, 0, s_PixelFormats[uiChannels - 1], GL_FLOAT, nullptr);
        const auto* pMapped = static_cast<const std::uint8_t*>(
            glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(uiBytes), GL_MAP_READ_BIT));
        if (!pMapped) {
            glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(iPreviousTexture));
            throw std::runtime_error("ReadTexture2D: the pixel buffer of texture " + std::to_string(uiTexture) +
                                     " could not be mapped");
        }
        // Integer textures cannot be read as floats: they come as 32-bit
        // integers and are converted.
        if (bInteger) {
            for (std::size_t i = 0; i < uiBytes / 4; ++i) {
                std::uint32_t uiValue = 0;
                std::memcpy(&uiValue, pMapped + i * 4, 4);
                const float fValue =
                    bSigned ? static_cast<float>(static_cast<std::int32_t>(uiValue)) : static_cast<float>(uiValue);
                std::memcpy(image.m_Pixels.data() + i * 4, &fValue, sizeof(fValue));
            }
        } else {
            std::memcpy(image.m_Pixels.data(), pMapped, uiBytes);
        }
        glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(iPreviousTexture));
    return image;
}

GFX::ImageData ReadTexture2D(GLuint uiTexture)
{
    BufferObject pixelBuffer;
    try {
        GFX::ImageData image = ReadTexture2D(uiTexture, pixelBuffer);
        pixelBuffer.Release();
        return image;
    } catch (...) {
        pixelBuffer.Release();
        throw;
    }
}

} // namespace Ondo::OpenGL
