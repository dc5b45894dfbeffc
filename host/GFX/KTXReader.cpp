// KTX 1 files: 2D images, cube maps and volumes with their mipmap levels, in
// any format ImageData has a code for (packed floats and block-compressed
// formats included), and the unsized and luminance formats older writers
// used. The data is laid out as OpenGL takes it, so rows keep their order
// unless the KTXorientation key says a 2D image runs top-down. The internal
// format decides how the pixels are read; glFormat only tells BGR(A) from
// RGB(A), glType sizes an unsized format, and every level's stated size must
// match what the internal format and the size need.

#include "host/GFX/ImageReaders.h"

#include "Ondo/OpenGL/Textures.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace Ondo::GFX {

namespace {

const std::uint8_t s_Identifier[12] = {0xAB, 'K', 'T', 'X', ' ', '1', '1', 0xBB, '\r', '\n', 0x1A, '\n'};
constexpr std::size_t s_uiHeaderSize = 64;
enum : std::size_t {
    OffsetEndianness = 12,
    OffsetType = 16,
    OffsetTypeSize = 20,
    OffsetFormat = 24,
    OffsetInternalFormat = 28,
    OffsetWidth = 36,
    OffsetHeight = 40,
    OffsetDepth = 44,
    OffsetArrayElements = 48,
    OffsetFaces = 52,
    OffsetMipMaps = 56,
    OffsetKeyValueBytes = 60,
};

std::string Hex(std::uint32_t uiValue)
{
    static const char s_Digits[] = "0123456789ABCDEF";
    std::string str = "0x";
    for (int i = 12; i >= 0; i -= 4) str += s_Digits[(uiValue >> i) & 0xF];
    return str;
}

// The image format whose OpenGL internal format is the file's; of two that
// share it (GL_RGBA8 from RGBA or BGRA pixels), the one of the file's pixel
// format.
std::int32_t FormatOf(std::uint32_t uiInternalFormat, std::uint32_t uiPixelFormat)
{
    std::int32_t iFound = FormatUnknown;
    for (std::int32_t iFormat = 1; IsKnownImageFormat(iFormat); ++iFormat) {
        OpenGL::GLImageFormat gl{};
        if (!OpenGL::GetGLImageFormat(iFormat, gl) || gl.m_eInternalFormat != uiInternalFormat) continue;
        if (iFound == FormatUnknown || (!gl.m_bCompressed && gl.m_ePixelFormat == uiPixelFormat)) iFound = iFormat;
    }
    return iFound;
}

std::size_t PaddedTo4(std::size_t uiSize) { return (uiSize + 3) / 4 * 4; }

// Internal formats older writers put in the header: unsized ones, whose
// size the type gives, and the luminance formats of the compatibility
// profile, which are grey pictures.
struct LegacyFormat {
    std::uint32_t m_uiInternalFormat, m_uiType;
    std::int32_t m_iFormat, m_iLayout;
};
const LegacyFormat s_LegacyFormats[] = {
    {GL_RED, GL_UNSIGNED_BYTE, FormatR8, LayoutR},
    {GL_RG, GL_UNSIGNED_BYTE, FormatRG8, LayoutRG},
    {GL_RGB, GL_UNSIGNED_BYTE, FormatRGB8, LayoutRGB},
    {GL_RGBA, GL_UNSIGNED_BYTE, FormatRGBA8, LayoutRGBA},
    {GL_RED, GL_UNSIGNED_SHORT, FormatR16, LayoutR},
    {GL_RG, GL_UNSIGNED_SHORT, FormatRG16, LayoutRG},
    {GL_RGBA, GL_UNSIGNED_SHORT, FormatRGBA16, LayoutRGBA},
    {GL_RED, GL_HALF_FLOAT, FormatR16F, LayoutR},
    {GL_RG, GL_HALF_FLOAT, FormatRG16F, LayoutRG},
    {GL_RGB, GL_HALF_FLOAT, FormatRGB16F, LayoutRGB},
    {GL_RGBA, GL_HALF_FLOAT, FormatRGBA16F, LayoutRGBA},
    {GL_RED, GL_FLOAT, FormatR32F, LayoutR},
    {GL_RG, GL_FLOAT, FormatRG32F, LayoutRG},
    {GL_RGB, GL_FLOAT, FormatRGB32F, LayoutRGB},
    {GL_RGBA, GL_FLOAT, FormatRGBA32F, LayoutRGBA},
    {GL_LUMINANCE, GL_UNSIGNED_BYTE, FormatR8, LayoutGrey},
    {GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, FormatRG8, LayoutGreyAlpha},
    {0x8040 /* GL_LUMINANCE8 */, 0, FormatR8, LayoutGrey},
    {0x8045 /* GL_LUMINANCE8_ALPHA8 */, 0, FormatRG8, LayoutGreyAlpha},
    {0x8042 /* GL_LUMINANCE16 */, 0, FormatR16, LayoutGrey},
    {0x8048 /* GL_LUMINANCE16_ALPHA16 */, 0, FormatRG16, LayoutGreyAlpha},
};

const LegacyFormat* FindLegacyFormat(std::uint32_t uiInternalFormat, std::uint32_t uiType)
{
    for (const LegacyFormat& entry : s_LegacyFormats)
        if (entry.m_uiInternalFormat == uiInternalFormat && (entry.m_uiType == 0 || entry.m_uiType == uiType))
            return &entry;
    return nullptr;
}

// The size of the words a big-endian writer swapped: that of one channel,
// or of the whole packed pixel; block data is bytes.
std::size_t WordSizeOf(std::int32_t iFormat)
{
    switch (ComponentTypeOf(iFormat)) {
    case ComponentInt16:
    case ComponentUInt16:
    case ComponentFloat16: return 2;
    case ComponentInt32:
    case ComponentUInt32:
    case ComponentFloat32:
    case ComponentPacked: return 4;
    default: return 1;
    }
}

// Whether the key/value data says the rows run top-down (KTXorientation
// "S=r,T=d"). Each pair is a byte count, "key\0value" and padding to four
// bytes; a pair that overruns the data is refused.
bool RowsTopDown(const ByteView& file, std::size_t uiOffset, std::size_t uiBytes)
{
    static const char s_szKey[] = "KTXorientation";
    bool bTopDown = false;
    const std::size_t uiEnd = uiOffset + uiBytes;
    while (uiOffset + 4 <= uiEnd) {
        const std::size_t uiPair = file.U32(uiOffset);
        uiOffset += 4;
        if (uiPair > uiEnd - uiOffset) Refuse("a key/value pair runs past the key/value data");
        const char* pPair = reinterpret_cast<const char*>(file.Data() + uiOffset);
        if (uiPair > sizeof(s_szKey) && std::memcmp(pPair, s_szKey, sizeof(s_szKey)) == 0) {
            const std::string strValue(pPair + sizeof(s_szKey), pPair + uiPair);
            bTopDown = strValue.find("T=d") != std::string::npos;
        }
        uiOffset += PaddedTo4(uiPair);
    }
    return bTopDown;
}

std::int32_t LayoutOf(std::int32_t iFormat)
{
    if (iFormat == FormatBGRA8) return LayoutBGRA;
    if (iFormat == FormatBGR8) return LayoutBGR;
    static const std::int32_t s_Layouts[] = {LayoutR, LayoutRG, LayoutRGB, LayoutRGBA};
    return s_Layouts[GetImageFormatDescription(iFormat).m_uiChannels - 1];
}

std::unique_ptr<ImageData> ReadKTX(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    ByteView file(pData, uiSize);
    if (!file.Holds(0, sizeof(s_Identifier)) || std::memcmp(pData, s_Identifier, sizeof(s_Identifier)) != 0)
        Refuse("no KTX 1 identifier");
    file.Require(0, s_uiHeaderSize, "its header");
    // The writer's byte order, told by how it wrote 0x04030201.
    const std::uint32_t uiEndianness = file.U32(OffsetEndianness);
    if (uiEndianness == 0x01020304)
        file.SetBigEndian(true);
    else if (uiEndianness != 0x04030201)
        Refuse("its endianness field " + std::to_string(uiEndianness) + " is neither 0x04030201 nor 0x01020304");

    // The internal format says what the pixels are; glType and glFormat are
    // looked at only where it leaves a choice (RGBA or BGRA order, the size
    // of an unsized format), since writers fill them carelessly.
    const std::uint32_t uiInternalFormat = file.U32(OffsetInternalFormat);
    std::int32_t iFormat = FormatOf(uiInternalFormat, file.U32(OffsetFormat));
    std::int32_t iLayout = iFormat == FormatUnknown ? LayoutUnknown : LayoutOf(iFormat);
    if (const LegacyFormat* pLegacy = FindLegacyFormat(uiInternalFormat, file.U32(OffsetType)))
        iFormat = pLegacy->m_iFormat, iLayout = pLegacy->m_iLayout;
    if (iFormat == FormatUnknown)
        Refuse("its internal format " + Hex(uiInternalFormat) + " (type " + Hex(file.U32(OffsetType)) +
               ") is not one this reader knows");
    const ImageFormatDescription& format = GetImageFormatDescription(iFormat);
    if (file.U32(OffsetArrayElements) != 0)
        Refuse("it is an array texture of " + std::to_string(file.U32(OffsetArrayElements)) +
               " layers; only single images, cube maps and volumes are read");
    // A big-endian writer swapped the words of its pixels: channels, or
    // whole packed pixels. Their size follows from the format, not from
    // glTypeSize, which a careless writer gets wrong as well.
    const std::size_t uiWordSize = WordSizeOf(iFormat);

    auto pImage = std::make_unique<ImageData>();
    ImageData& image = *pImage;
    image.m_iImageFormat = iFormat;
    image.m_iChannelLayout = iLayout;
    image.m_iComponentType = ComponentTypeOf(iFormat);
    image.m_uiPixelSize = format.m_uiBytesPerBlock;
    // Heights and depths of 0 mark one- and two-dimensional textures; a level
    // count of 0 asks the loader to make the levels.
    image.m_uiWidth = file.U32(OffsetWidth);
    image.m_uiHeight = std::max(1u, file.U32(OffsetHeight));
    image.m_uiDepth = std::max(1u, file.U32(OffsetDepth));
    image.m_uiNumFaces = file.U32(OffsetFaces);
    image.m_uiNumMipMaps = std::max(1u, file.U32(OffsetMipMaps));
    if (image.m_uiNumFaces != 1 && image.m_uiNumFaces != 6)
        Refuse("it has " + std::to_string(image.m_uiNumFaces) + " faces; 1, or 6 for a cube map");
    const bool bCube = image.m_uiNumFaces == 6;
    if (bCube && (image.GetDepth() != 1 || image.m_uiWidth != image.m_uiHeight))
        Refuse("its cube faces are " + std::to_string(image.m_uiWidth) + " x " + std::to_string(image.m_uiHeight) +
               " x " + std::to_string(image.GetDepth()) + ", not square and flat");
    const std::size_t uiBytes = CheckImageSize(image);

    std::size_t uiOffset = s_uiHeaderSize;
    const std::uint32_t uiKeyValueBytes = file.U32(OffsetKeyValueBytes);
    file.Require(uiOffset, uiKeyValueBytes, "its key/value data");
    const bool bTopDown = RowsTopDown(file, uiOffset, uiKeyValueBytes);
    uiOffset += uiKeyValueBytes;

    // The levels take at least the bytes of the image in the file (rows
    // padded, a size word before each level): a header that claims more than
    // the file holds is refused before anything of that size is allocated.
    file.Require(uiOffset, uiBytes, "its pixels");
    image.m_Pixels.resize(uiBytes);
    for (std::uint32_t uiLevel = 0; uiLevel < image.GetNumMipMaps(); ++uiLevel) {
        const std::uint32_t uiWidth = std::max(1u, image.m_uiWidth >> uiLevel);
        const std::uint32_t uiHeight = std::max(1u, image.m_uiHeight >> uiLevel);
        const std::uint32_t uiDepth = std::max(1u, image.GetDepth() >> uiLevel);
        // Uncompressed rows are padded to four bytes, as by
        // GL_UNPACK_ALIGNMENT 4; block rows are not.
        const std::size_t uiRowBytes =
            static_cast<std::size_t>((uiWidth + format.m_uiBlockWidth - 1) / format.m_uiBlockWidth) *
            format.m_uiBytesPerBlock;
        const std::size_t uiFileRowBytes = format.m_bCompressed ? uiRowBytes : PaddedTo4(uiRowBytes);
        const std::size_t uiRows =
            static_cast<std::size_t>((uiHeight + format.m_uiBlockHeight - 1) / format.m_uiBlockHeight) * uiDepth;
        const std::size_t uiFaceBytes = uiFileRowBytes * uiRows;

        // imageSize is the size of one face for a cube map, of the whole
        // level otherwise; both are one face here.
        file.Require(uiOffset, 4, "its level sizes");
        const std::uint32_t uiImageSize = file.U32(uiOffset);
        uiOffset += 4;
        if (uiImageSize != uiFaceBytes)
            Refuse("level " + std::to_string(uiLevel) + " states " + std::to_string(uiImageSize) + " bytes, a " +
                   std::to_string(uiWidth) + " x " + std::to_string(uiHeight) + " x " + std::to_string(uiDepth) + " " +
                   format.m_szName + " level takes " + std::to_string(uiFaceBytes));
        for (std::uint32_t uiFace = 0; uiFace < image.GetNumFaces(); ++uiFace) {
            file.Require(uiOffset, uiFaceBytes, "its pixels");
            std::uint8_t* pTarget = image.m_Pixels.data() + image.GetOffset(uiFace, uiLevel);
            for (std::size_t uiRow = 0; uiRow < uiRows; ++uiRow)
                std::memcpy(pTarget + uiRow * uiRowBytes, pData + uiOffset + uiRow * uiFileRowBytes, uiRowBytes);
            if (file.IsBigEndian()) SwapWords(pTarget, uiRowBytes * uiRows, uiWordSize);
            // Each face, and each level, starts on a four-byte boundary.
            uiOffset += PaddedTo4(uiFaceBytes);
        }
    }
    // 2D images and volume slices are bottom-up unless the file says its rows
    // run top-down; cube faces are as OpenGL takes them either way.
    if (bTopDown && !bCube) FlipAllRows(image);
    return pImage;
}

} // namespace

void RegisterKTXReader(ImageLoader& loader) { loader.RegisterReader(L"ktx", ReadKTX); }

} // namespace Ondo::GFX
