// DirectDraw Surface files: 2D images, cube maps and volumes with their
// mipmap levels, in the uncompressed formats people meet and in the BC1 to
// BC7 block formats, which stay compressed for the upload. Both the legacy
// pixel-format header and the DX10 extension header are read.

#include "host/GFX/ImageReaders.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

namespace Ondo::GFX {

namespace {

constexpr std::uint32_t FourCC(const char (&sz)[5])
{
    return static_cast<std::uint32_t>(sz[0]) | static_cast<std::uint32_t>(sz[1]) << 8 |
           static_cast<std::uint32_t>(sz[2]) << 16 | static_cast<std::uint32_t>(sz[3]) << 24;
}

// Offsets in the file: the magic, the 124-byte header, its pixel format, the
// optional DX10 header.
constexpr std::size_t s_uiHeaderSize = 4 + 124;
constexpr std::size_t s_uiDX10Size = 20;
enum : std::size_t {
    OffsetSize = 4,
    OffsetFlags = 8,
    OffsetHeight = 12,
    OffsetWidth = 16,
    OffsetDepth = 24,
    OffsetMipMaps = 28,
    OffsetPixelFlags = 80,
    OffsetFourCC = 84,
    OffsetBitCount = 88,
    OffsetMasks = 92, // red, green, blue, alpha
    OffsetCaps2 = 112,
    OffsetDxgiFormat = 128,
    OffsetDimension = 132,
    OffsetMiscFlag = 136,
    OffsetArraySize = 140,
};
constexpr std::uint32_t s_uiPixelAlpha = 0x2, s_uiPixelFourCC = 0x4, s_uiPixelRGB = 0x40, s_uiPixelLuminance = 0x20000;
constexpr std::uint32_t s_uiFlagDepth = 0x800000;
constexpr std::uint32_t s_uiCaps2CubeMap = 0x200, s_uiCaps2AllFaces = 0xFC00, s_uiCaps2Volume = 0x200000;
constexpr std::uint32_t s_uiMiscCube = 0x4, s_uiDimension3D = 4;

// What a file's pixel format becomes: the image format and layout, and
// whether the fourth byte of its pixels is unused (set to opaque) or its red
// and blue are swapped to fit an RGBA format.
struct Target {
    std::int32_t m_iFormat = FormatUnknown;
    std::int32_t m_iLayout = LayoutUnknown;
    bool m_bOpaque = false;
    bool m_bSwapRedBlue = false;
};

struct LegacyFourCC {
    std::uint32_t m_uiCode;
    std::int32_t m_iFormat;
};
// Block formats by their four letters, and the float formats by their D3D
// numbers.
const LegacyFourCC s_FourCCs[] = {
    {FourCC("DXT1"), FormatBC1},  {FourCC("DXT2"), FormatBC2},     {FourCC("DXT3"), FormatBC2},
    {FourCC("DXT4"), FormatBC3},  {FourCC("DXT5"), FormatBC3},     {FourCC("ATI1"), FormatBC4},
    {FourCC("BC4U"), FormatBC4},  {FourCC("BC4S"), FormatBC4SNorm}, {FourCC("ATI2"), FormatBC5},
    {FourCC("BC5U"), FormatBC5},  {FourCC("BC5S"), FormatBC5SNorm}, {36, FormatRGBA16},
    {111, FormatR16F},            {112, FormatRG16F},              {113, FormatRGBA16F},
    {114, FormatR32F},            {115, FormatRG32F},              {116, FormatRGBA32F},
};

struct LegacyMasks {
    std::uint32_t m_uiFlags, m_uiBits, m_uiRed, m_uiGreen, m_uiBlue, m_uiAlpha;
    Target m_Target;
};
// Pixel formats given by channel masks (alpha 0: no alpha channel).
const LegacyMasks s_Masks[] = {
    {s_uiPixelRGB, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, {FormatRGBA8, LayoutRGBA}},
    {s_uiPixelRGB, 32, 0xFF, 0xFF00, 0xFF0000, 0, {FormatRGBA8, LayoutRGBA, true}},
    {s_uiPixelRGB, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, {FormatBGRA8, LayoutBGRA}},
    {s_uiPixelRGB, 32, 0xFF0000, 0xFF00, 0xFF, 0, {FormatBGRA8, LayoutBGRA, true}},
    {s_uiPixelRGB, 24, 0xFF, 0xFF00, 0xFF0000, 0, {FormatRGB8, LayoutRGB}},
    {s_uiPixelRGB, 24, 0xFF0000, 0xFF00, 0xFF, 0, {FormatBGR8, LayoutBGR}},
    {s_uiPixelRGB, 32, 0xFFFF, 0xFFFF0000, 0, 0, {FormatRG16, LayoutRG}},
    {s_uiPixelRGB, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, {FormatRGB10A2, LayoutRGBA}},
    {s_uiPixelLuminance, 8, 0xFF, 0, 0, 0, {FormatR8, LayoutGrey}},
    {s_uiPixelLuminance, 16, 0xFFFF, 0, 0, 0, {FormatR16, LayoutGrey}},
    {s_uiPixelLuminance, 16, 0xFF, 0, 0, 0xFF00, {FormatRG8, LayoutGreyAlpha}},
};

struct DxgiEntry {
    std::uint32_t m_uiDxgi;
    Target m_Target;
};
// DXGI formats of the DX10 header.
const DxgiEntry s_Dxgi[] = {
    {2, {FormatRGBA32F, LayoutRGBA}},      {6, {FormatRGB32F, LayoutRGB}},        {10, {FormatRGBA16F, LayoutRGBA}},
    {11, {FormatRGBA16, LayoutRGBA}},      {16, {FormatRG32F, LayoutRG}},         {24, {FormatRGB10A2, LayoutRGBA}},
    {26, {FormatR11G11B10F, LayoutRGB}},   {28, {FormatRGBA8, LayoutRGBA}},       {29, {FormatSRGB8A8, LayoutRGBA}},
    {34, {FormatRG16F, LayoutRG}},         {35, {FormatRG16, LayoutRG}},          {41, {FormatR32F, LayoutR}},
    {42, {FormatR32UI, LayoutR}},          {43, {FormatR32I, LayoutR}},           {49, {FormatRG8, LayoutRG}},
    {54, {FormatR16F, LayoutR}},           {56, {FormatR16, LayoutR}},            {57, {FormatR16UI, LayoutR}},
    {59, {FormatR16I, LayoutR}},           {61, {FormatR8, LayoutR}},             {62, {FormatR8UI, LayoutR}},
    {64, {FormatR8I, LayoutR}},            {67, {FormatRGB9E5, LayoutRGB}},       {71, {FormatBC1, LayoutRGBA}},
    {72, {FormatBC1SRGB, LayoutRGBA}},     {74, {FormatBC2, LayoutRGBA}},         {75, {FormatBC2SRGB, LayoutRGBA}},
    {77, {FormatBC3, LayoutRGBA}},         {78, {FormatBC3SRGB, LayoutRGBA}},     {80, {FormatBC4, LayoutR}},
    {81, {FormatBC4SNorm, LayoutR}},       {83, {FormatBC5, LayoutRG}},           {84, {FormatBC5SNorm, LayoutRG}},
    {87, {FormatBGRA8, LayoutBGRA}},       {88, {FormatBGRA8, LayoutBGRA, true}}, {91, {FormatSRGB8A8, LayoutRGBA, false, true}},
    {93, {FormatSRGB8A8, LayoutRGBA, true, true}}, {95, {FormatBC6HUFloat, LayoutRGB}}, {96, {FormatBC6HSFloat, LayoutRGB}},
    {98, {FormatBC7, LayoutRGBA}},         {99, {FormatBC7SRGB, LayoutRGBA}},
};

std::string Hex(std::uint32_t uiValue)
{
    static const char s_Digits[] = "0123456789abcdef";
    std::string str = "0x";
    for (int i = 28; i >= 0; i -= 4) str += s_Digits[(uiValue >> i) & 0xF];
    return str;
}

Target LegacyTarget(const ByteView& file)
{
    const std::uint32_t uiFlags = file.U32(OffsetPixelFlags);
    if (uiFlags & s_uiPixelFourCC) {
        const std::uint32_t uiCode = file.U32(OffsetFourCC);
        for (const LegacyFourCC& entry : s_FourCCs)
            if (entry.m_uiCode == uiCode) {
                const std::uint32_t uiChannels = GetImageFormatDescription(entry.m_iFormat).m_uiChannels;
                static const std::int32_t s_Layouts[] = {LayoutR, LayoutRG, LayoutRGB, LayoutRGBA};
                return {entry.m_iFormat, s_Layouts[uiChannels - 1]};
            }
        std::string strCode;
        for (int i = 0; i < 4; ++i) {
            const char c = static_cast<char>(uiCode >> (8 * i));
            strCode += c >= 32 && c < 127 ? c : '?';
        }
        Refuse("its pixel format \"" + strCode + "\" (" + Hex(uiCode) + ") is not one this reader knows");
    }
    const std::uint32_t uiBits = file.U32(OffsetBitCount);
    const std::uint32_t uiMasks[4] = {file.U32(OffsetMasks), file.U32(OffsetMasks + 4), file.U32(OffsetMasks + 8),
                                      file.U32(OffsetMasks + 12)};
    for (const LegacyMasks& entry : s_Masks) {
        const std::uint32_t uiAlpha = (uiFlags & (s_uiPixelAlpha | 1)) ? uiMasks[3] : 0;
        if ((uiFlags & entry.m_uiFlags) && uiBits == entry.m_uiBits && uiMasks[0] == entry.m_uiRed &&
            (entry.m_uiFlags == s_uiPixelLuminance ||
             (uiMasks[1] == entry.m_uiGreen && uiMasks[2] == entry.m_uiBlue)) &&
            uiAlpha == entry.m_uiAlpha)
            return entry.m_Target;
    }
    Refuse("its " + std::to_string(uiBits) + "-bit pixel format (flags " + Hex(uiFlags) + ", masks " + Hex(uiMasks[0]) +
           " " + Hex(uiMasks[1]) + " " + Hex(uiMasks[2]) + " " + Hex(uiMasks[3]) + ") is not one this reader knows");
}

std::unique_ptr<ImageData> ReadDDS(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    const ByteView file(pData, uiSize);
    if (!file.Holds(0, 4) || std::memcmp(pData, "DDS ", 4) != 0) Refuse("no DDS signature (\"DDS \")");
    file.Require(0, s_uiHeaderSize, "its header");
    if (file.U32(OffsetSize) != 124) Refuse("its header size is " + std::to_string(file.U32(OffsetSize)) + ", not 124");

    auto pImage = std::make_unique<ImageData>();
    ImageData& image = *pImage;
    image.m_uiWidth = file.U32(OffsetWidth);
    image.m_uiHeight = file.U32(OffsetHeight);
    image.m_uiNumMipMaps = std::max(1u, file.U32(OffsetMipMaps));
    const std::uint32_t uiCaps2 = file.U32(OffsetCaps2);
    bool bCube = (uiCaps2 & s_uiCaps2CubeMap) != 0;
    bool bVolume = (uiCaps2 & s_uiCaps2Volume) || (file.U32(OffsetFlags) & s_uiFlagDepth && file.U32(OffsetDepth) > 1);
    std::size_t uiDataOffset = s_uiHeaderSize;
    Target target;
    if ((file.U32(OffsetPixelFlags) & s_uiPixelFourCC) && file.U32(OffsetFourCC) == FourCC("DX10")) {
        file.Require(s_uiHeaderSize, s_uiDX10Size, "its DX10 header");
        uiDataOffset += s_uiDX10Size;
        const std::uint32_t uiDxgi = file.U32(OffsetDxgiFormat);
        const auto it = std::find_if(std::begin(s_Dxgi), std::end(s_Dxgi),
                                     [&](const DxgiEntry& entry) { return entry.m_uiDxgi == uiDxgi; });
        if (it == std::end(s_Dxgi)) Refuse("its DXGI format " + std::to_string(uiDxgi) + " is not one this reader knows");
        target = it->m_Target;
        bCube = (file.U32(OffsetMiscFlag) & s_uiMiscCube) != 0;
        bVolume = file.U32(OffsetDimension) == s_uiDimension3D;
        if (file.U32(OffsetArraySize) > 1)
            Refuse("it is an array of " + std::to_string(file.U32(OffsetArraySize)) +
                   (bCube ? " cube maps" : " images") + "; only single images, cube maps and volumes are read");
    } else {
        target = LegacyTarget(file);
        // A legacy cube map lists the faces it holds; one with a face missing
        // cannot be a cube texture.
        if (bCube && (uiCaps2 & s_uiCaps2AllFaces) != s_uiCaps2AllFaces) {
            static const char* const s_Names[] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};
            std::string strMissing;
            for (int i = 0; i < 6; ++i)
                if (!(uiCaps2 & (0x400u << i))) strMissing += std::string(strMissing.empty() ? "" : ", ") + s_Names[i];
            Refuse("it is a partial cube map: faces " + strMissing + " are missing, a cube map needs all six");
        }
    }
    if (bCube && bVolume) Refuse("it claims to be a cube map and a volume at once");
    image.m_uiDepth = bVolume ? file.U32(OffsetDepth) : 1;
    image.m_uiNumFaces = bCube ? 6 : 1;
    image.m_iImageFormat = target.m_iFormat;
    image.m_iChannelLayout = target.m_iLayout;
    image.m_iComponentType = ComponentTypeOf(target.m_iFormat);
    const ImageFormatDescription& format = GetImageFormatDescription(target.m_iFormat);
    image.m_uiPixelSize = format.m_uiBytesPerBlock;
    if (bCube && image.m_uiWidth != image.m_uiHeight)
        Refuse("its cube faces are " + std::to_string(image.m_uiWidth) + " x " + std::to_string(image.m_uiHeight) +
               ", not square");

    // Faces one after the other, each with its levels from the largest down,
    // each level all its slices: the layout of ImageData.
    const std::size_t uiBytes = CheckImageSize(image);
    file.Require(uiDataOffset, uiBytes, "its pixels");
    image.m_Pixels.assign(pData + uiDataOffset, pData + uiDataOffset + uiBytes);

    if (target.m_bOpaque || target.m_bSwapRedBlue)
        for (std::size_t i = 0; i + 4 <= uiBytes; i += 4) {
            if (target.m_bSwapRedBlue) std::swap(image.m_Pixels[i], image.m_Pixels[i + 2]);
            if (target.m_bOpaque) image.m_Pixels[i + 3] = 0xFF;
        }
    // DDS rows run top-down. OpenGL's 2D images and volume slices run
    // bottom-up; its cube faces keep the top-down rows (see ImageData).
    if (!bCube) FlipAllRows(image);
    return pImage;
}

} // namespace

void RegisterDDSReader(ImageLoader& loader) { loader.RegisterReader(L"dds", ReadDDS); }

} // namespace Ondo::GFX
