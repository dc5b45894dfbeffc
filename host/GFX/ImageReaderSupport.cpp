#include "host/GFX/ImageReaders.h"

#include "Ondo/Exceptions.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace Ondo::GFX {

void Refuse(const std::string& strReason) { throw ExceptionParsing(strReason); }

void ByteView::Require(std::size_t uiOffset, std::size_t uiCount, const char* szWhat) const
{
    if (!Holds(uiOffset, uiCount))
        Refuse(std::string("the file ends before ") + szWhat + " do (" + std::to_string(m_uiSize) +
               " bytes, needed " + std::to_string(uiOffset) + " + " + std::to_string(uiCount) + "; cut short?)");
}

std::uint16_t ByteView::U16(std::size_t uiOffset) const
{
    Require(uiOffset, 2, "its header fields");
    const std::uint8_t* p = m_pData + uiOffset;
    return m_bBigEndian ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}

std::uint32_t ByteView::U32(std::size_t uiOffset) const
{
    Require(uiOffset, 4, "its header fields");
    const std::uint8_t* p = m_pData + uiOffset;
    std::uint32_t uiValue = 0;
    for (int i = 0; i < 4; ++i) uiValue = uiValue << 8 | p[m_bBigEndian ? i : 3 - i];
    return uiValue;
}

float ByteView::F32(std::uint32_t uiOffset) const
{
    const std::uint32_t uiBits = U32(uiOffset);
    float fValue = 0;
    std::memcpy(&fValue, &uiBits, sizeof(fValue));
    return fValue;
}

namespace {

std::uint32_t Blocks(std::uint32_t uiSize, std::uint32_t uiBlock) { return (uiSize + uiBlock - 1) / uiBlock; }

std::uint32_t FullChain(std::uint32_t uiLargest)
{
    std::uint32_t uiLevels = 1;
    while (uiLargest > 1) uiLargest >>= 1, ++uiLevels;
    return uiLevels;
}

} // namespace

std::size_t CheckImageSize(const ImageData& image)
{
    if (!IsKnownImageFormat(image.m_iImageFormat)) Refuse("unknown image format " + std::to_string(image.m_iImageFormat));
    constexpr std::uint32_t uiMaxSide = 65536;
    const std::pair<const char*, std::uint32_t> sides[] = {
        {"width", image.m_uiWidth}, {"height", image.m_uiHeight}, {"depth", image.GetDepth()}};
    for (const auto& [szName, uiValue] : sides)
        if (uiValue == 0 || uiValue > uiMaxSide)
            Refuse(std::string("its ") + szName + " " + std::to_string(uiValue) + " is outside 1 to 65536");
    if (image.GetNumFaces() != 1 && image.GetNumFaces() != 6)
        Refuse(std::to_string(image.GetNumFaces()) + " faces (an image has 1, a cube map 6)");
    const std::uint32_t uiChain = FullChain(std::max({image.m_uiWidth, image.m_uiHeight, image.GetDepth()}));
    if (image.GetNumMipMaps() > uiChain)
        Refuse(std::to_string(image.GetNumMipMaps()) + " mipmap levels, a " + std::to_string(image.m_uiWidth) + " x " +
               std::to_string(image.m_uiHeight) + " x " + std::to_string(image.GetDepth()) + " image has at most " +
               std::to_string(uiChain));
    // Sides of at most 2^16, blocks of at most 16 bytes: no overflow here.
    const std::size_t uiBytes = image.GetRequiredSize();
    // Pictures of three channels are held with a fourth once loaded.
    const std::int32_t iFormat = image.m_iImageFormat;
    const bool bWidened = iFormat == FormatRGB8 || iFormat == FormatBGR8 || iFormat == FormatRGB16 ||
                          iFormat == FormatRGB16F || iFormat == FormatRGB32F;
    CheckImageLimits(image.m_uiWidth, image.m_uiHeight, bWidened ? uiBytes / 3 * 4 : uiBytes);
    return uiBytes;
}

void CheckImageLimits(std::uint64_t uiWidth, std::uint64_t uiHeight, std::uint64_t uiBytes)
{
    const ImageLimits& limits = ImageLimits::Current();
    // Sides come from 32-bit header fields: the product cannot overflow.
    const std::uint64_t uiPixels = uiWidth * uiHeight;
    if (uiPixels > limits.m_uiMaxPixels)
        Refuse("it claims " + std::to_string(uiWidth) + " x " + std::to_string(uiHeight) + " pixels (" +
               std::to_string(uiPixels) + "), more than the limit of " + std::to_string(limits.m_uiMaxPixels) +
               " (raise it with --limit image-pixels=N)");
    if (uiBytes > limits.m_uiMaxBytes)
        Refuse("its pixels would take " + std::to_string(uiBytes) + " bytes, more than the limit of " +
               std::to_string(limits.m_uiMaxBytes) + " (raise it with --limit image-bytes=N)");
}

std::vector<std::uint8_t> Inflate(const std::uint8_t* pData, std::size_t uiSize, std::size_t uiMaxBytes, bool bExact,
                                  const char* szWhat)
{
    z_stream stream{};
    // 15 + 32: a window of up to 32 KiB, zlib or gzip header told apart.
    if (inflateInit2(&stream, 15 + 32) != Z_OK) Refuse("zlib could not start");
    struct End {
        z_stream* p;
        ~End() { inflateEnd(p); }
    } end{&stream};

    std::vector<std::uint8_t> out;
    std::size_t uiUsed = 0;
    const auto Zlib = [&](const char* szDefault) {
        Refuse(std::string(szWhat) + ": zlib: " + (stream.msg ? stream.msg : szDefault));
    };
    for (;;) {
        if (stream.avail_in == 0 && uiUsed < uiSize) {
            const std::size_t uiChunk = std::min<std::size_t>(uiSize - uiUsed, 1u << 30);
            stream.next_in = const_cast<Bytef*>(pData + uiUsed);
            stream.avail_in = static_cast<uInt>(uiChunk);
            uiUsed += uiChunk;
        }
        // Once the output holds all it may, one more byte tells whether the
        // stream goes on.
        const bool bFull = out.size() == uiMaxBytes;
        const std::size_t uiBefore = out.size();
        std::size_t uiGrow = 0;
        std::uint8_t extra = 0;
        if (bFull) {
            stream.next_out = &extra;
            stream.avail_out = 1;
        } else {
            uiGrow = std::min({uiMaxBytes - uiBefore, std::max<std::size_t>(uiBefore, 1u << 16), std::size_t(1) << 30});
            out.resize(uiBefore + uiGrow);
            stream.next_out = out.data() + uiBefore;
            stream.avail_out = static_cast<uInt>(uiGrow);
        }
        const int iResult = inflate(&stream, Z_NO_FLUSH);
        if (!bFull) {
            out.resize(uiBefore + uiGrow - stream.avail_out);
        } else if (stream.avail_out == 0) {
            if (bExact) Refuse(std::string(szWhat) + " hold more than the " + std::to_string(uiMaxBytes) + " bytes expected");
            return out;
        }
        if (iResult == Z_STREAM_END) break;
        if (iResult == Z_BUF_ERROR && stream.avail_in == 0 && uiUsed == uiSize) {
            if (bFull && !bExact) return out;
            Refuse(std::string(szWhat) + ": the compressed data ends early (cut short?)");
        }
        if (iResult != Z_OK && iResult != Z_BUF_ERROR) Zlib("damaged data");
    }
    if (bExact && out.size() != uiMaxBytes)
        Refuse(std::string(szWhat) + " hold " + std::to_string(out.size()) + " bytes, " + std::to_string(uiMaxBytes) +
               " expected");
    return out;
}

namespace {

// Row orders inside a 4 x 4 block: new row r takes old row perm[r].
using RowOrder = int[4];

// BC1 colour: four index bytes, one per row, after the two end points.
void ReorderColour(std::uint8_t* pBlock, const RowOrder& order)
{
    std::uint8_t rows[4];
    std::memcpy(rows, pBlock + 4, 4);
    for (int r = 0; r < 4; ++r) pBlock[4 + r] = rows[order[r]];
}

// BC2 alpha: four values of 4 bits a row, two bytes per row.
void ReorderExplicitAlpha(std::uint8_t* pBlock, const RowOrder& order)
{
    std::uint8_t rows[8];
    std::memcpy(rows, pBlock, 8);
    for (int r = 0; r < 4; ++r) std::memcpy(pBlock + 2 * r, rows + 2 * order[r], 2);
}

// BC3 alpha and BC4/BC5 channels: two end points, then 3-bit indices, 12 bits
// a row, 48 bits little-endian.
void ReorderInterpolated(std::uint8_t* pBlock, const RowOrder& order)
{
    std::uint64_t uiBits = 0, uiOut = 0;
    for (int i = 0; i < 6; ++i) uiBits |= static_cast<std::uint64_t>(pBlock[2 + i]) << (8 * i);
    for (int r = 0; r < 4; ++r) uiOut |= ((uiBits >> (12 * order[r])) & 0xFFF) << (12 * r);
    for (int i = 0; i < 6; ++i) pBlock[2 + i] = static_cast<std::uint8_t>(uiOut >> (8 * i));
}

void ReorderBlock(std::int32_t iFormat, std::uint8_t* pBlock, const RowOrder& order)
{
    switch (iFormat) {
    case FormatBC1:
    case FormatBC1SRGB: ReorderColour(pBlock, order); break;
    case FormatBC2:
    case FormatBC2SRGB: ReorderExplicitAlpha(pBlock, order), ReorderColour(pBlock + 8, order); break;
    case FormatBC3:
    case FormatBC3SRGB: ReorderInterpolated(pBlock, order), ReorderColour(pBlock + 8, order); break;
    case FormatBC4:
    case FormatBC4SNorm: ReorderInterpolated(pBlock, order); break;
    case FormatBC5:
    case FormatBC5SNorm: ReorderInterpolated(pBlock, order), ReorderInterpolated(pBlock + 8, order); break;
    default:
        Refuse(std::string(GetImageFormatDescription(iFormat).m_szName) +
               " blocks cannot be turned upside down without decoding them; only cube maps of them are read");
    }
}

} // namespace

void FlipLevelRows(ImageData& image, std::uint32_t uiFace, std::uint32_t uiLevel)
{
    const ImageFormatDescription& format = GetImageFormatDescription(image.m_iImageFormat);
    const std::uint32_t uiWidth = std::max(1u, image.m_uiWidth >> uiLevel);
    const std::uint32_t uiHeight = std::max(1u, image.m_uiHeight >> uiLevel);
    const std::uint32_t uiDepth = std::max(1u, image.GetDepth() >> uiLevel);
    const std::size_t uiRowBytes = static_cast<std::size_t>(Blocks(uiWidth, format.m_uiBlockWidth)) * format.m_uiBytesPerBlock;
    const std::uint32_t uiRows = Blocks(uiHeight, format.m_uiBlockHeight);
    std::uint8_t* pLevel = image.m_Pixels.data() + image.GetOffset(uiFace, uiLevel);
    if (format.m_bCompressed && uiHeight % 4 != 0 && uiHeight > 4)
        Refuse(std::string("a ") + format.m_szName + " level " + std::to_string(uiWidth) + " x " +
               std::to_string(uiHeight) + " cannot be turned upside down: its height is no multiple of 4");
    // Block rows are reversed as a whole; inside a block the picture's rows
    // are, and in a level lower than one block only its rows in use.
    RowOrder order = {3, 2, 1, 0};
    if (uiHeight < 4)
        for (int r = 0; r < 4; ++r) order[r] = r < static_cast<int>(uiHeight) ? static_cast<int>(uiHeight) - 1 - r : r;
    for (std::uint32_t z = 0; z < uiDepth; ++z) {
        std::uint8_t* pSlice = pLevel + z * uiRowBytes * uiRows;
        for (std::uint32_t y = 0; y < uiRows / 2; ++y)
            std::swap_ranges(pSlice + y * uiRowBytes, pSlice + (y + 1) * uiRowBytes,
                             pSlice + (uiRows - 1 - y) * uiRowBytes);
        if (!format.m_bCompressed) continue;
        for (std::size_t uiBlock = 0; uiBlock < uiRowBytes * uiRows; uiBlock += format.m_uiBytesPerBlock)
            ReorderBlock(image.m_iImageFormat, pSlice + uiBlock, order);
    }
}

void FlipAllRows(ImageData& image)
{
    for (std::uint32_t uiFace = 0; uiFace < image.GetNumFaces(); ++uiFace)
        for (std::uint32_t uiLevel = 0; uiLevel < image.GetNumMipMaps(); ++uiLevel) FlipLevelRows(image, uiFace, uiLevel);
}

void SwapWords(std::uint8_t* pData, std::size_t uiSize, std::size_t uiWordSize)
{
    if (uiWordSize < 2) return;
    for (std::size_t i = 0; i + uiWordSize <= uiSize; i += uiWordSize) std::reverse(pData + i, pData + i + uiWordSize);
}

std::int32_t ComponentTypeOf(std::int32_t iFormat)
{
    switch (iFormat) {
    case FormatR8I: return ComponentInt8;
    case FormatR8:
    case FormatRG8:
    case FormatRGB8:
    case FormatBGR8:
    case FormatRGBA8:
    case FormatBGRA8:
    case FormatSRGB8:
    case FormatSRGB8A8:
    case FormatR8UI: return ComponentUInt8;
    case FormatR16I: return ComponentInt16;
    case FormatR16:
    case FormatRG16:
    case FormatRGB16:
    case FormatRGBA16:
    case FormatR16UI: return ComponentUInt16;
    case FormatR32I: return ComponentInt32;
    case FormatR32UI: return ComponentUInt32;
    case FormatR16F:
    case FormatRG16F:
    case FormatRGB16F:
    case FormatRGBA16F: return ComponentFloat16;
    case FormatR32F:
    case FormatRG32F:
    case FormatRGB32F:
    case FormatRGBA32F: return ComponentFloat32;
    case FormatR11G11B10F:
    case FormatRGB10A2:
    case FormatRGB9E5: return ComponentPacked;
    default: return ComponentUnknown;
    }
}

ImageData MakeVolume(const VoxelType& type, std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiDepth)
{
    ImageData image;
    image.m_iImageFormat = type.m_iFormat;
    image.m_iChannelLayout = LayoutR;
    image.m_iComponentType = type.m_iComponentType;
    image.m_uiWidth = uiWidth;
    image.m_uiHeight = uiHeight;
    image.m_uiDepth = uiDepth;
    image.m_uiPixelSize = type.m_uiBytes;
    CheckImageSize(image);
    return image;
}

} // namespace Ondo::GFX
