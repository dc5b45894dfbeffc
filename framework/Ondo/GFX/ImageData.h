#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Ondo::GFX {

// Pixel formats of ImageData, by code. The codes are stored in graph files
// and handed between modules, so they never change meaning.
enum ImageFormat : std::int32_t {
    FormatUnknown = 0,
    FormatR8 = 1,
    FormatRG8 = 2,
    FormatRGBA8 = 3,
    FormatBGRA8 = 4,
    FormatR16 = 5,
    FormatRG16 = 6,
    FormatRGBA16 = 7,
    FormatR16F = 8,
    FormatRG16F = 9,
    FormatRGBA16F = 10,
    FormatR32I = 11,
    FormatR32UI = 12,
    FormatSRGB8A8 = 13,
    FormatDepth16 = 14,
    FormatDepth24 = 15,
    FormatDepth32F = 16,
    FormatDepth24Stencil8 = 17,
    FormatBC1 = 18, // DXT1: 4x4 blocks of 8 bytes, RGBA
    FormatBC2 = 19, // DXT3: 4x4 blocks of 16 bytes
    FormatBC3 = 20, // DXT5: 4x4 blocks of 16 bytes
    FormatBC4 = 21, // RGTC1: 4x4 blocks of 8 bytes, one channel
    FormatBC5 = 22, // RGTC2: 4x4 blocks of 16 bytes, two channels
    FormatRGB16F = 23,
    FormatRGB16 = 24,
    FormatR32F = 25,
    FormatRG32F = 26,
    FormatRGB32F = 27,
    FormatRGBA32F = 28,
    FormatR11G11B10F = 29,
    FormatRGB10A2 = 30,
    FormatRGB8 = 31,
    FormatBGR8 = 32,
    FormatSRGB8 = 33,
    // Integer voxels of volumes keep their values and their sign: shaders
    // read them through isampler3D / usampler3D with texelFetch (or
    // iimage3D / uimage3D), never filtered.
    FormatR8I = 34,
    FormatR8UI = 35,
    FormatR16I = 36,
    FormatR16UI = 37,
    FormatBC1SRGB = 38,
    FormatBC2SRGB = 39,
    FormatBC3SRGB = 40,
    FormatBC4SNorm = 41,
    FormatBC5SNorm = 42,
    FormatBC6HUFloat = 43, // BPTC float, 4x4 blocks of 16 bytes, RGB
    FormatBC6HSFloat = 44,
    FormatBC7 = 45, // BPTC, 4x4 blocks of 16 bytes, RGBA
    FormatBC7SRGB = 46,
    FormatRGB9E5 = 47, // three 9-bit mantissas sharing a 5-bit exponent
};

// How the channels of a pixel are arranged.
enum ChannelLayout : std::int32_t {
    LayoutUnknown = 0,
    LayoutR = 1,
    LayoutG = 2,
    LayoutB = 3,
    LayoutA = 4,
    LayoutRG = 5,
    LayoutRGB = 6,
    LayoutRGBA = 7,
    LayoutBGR = 8,
    LayoutBGRA = 9,
    LayoutDepth = 10,
    LayoutDepthStencil = 11,
    // One stored channel (R) that is a grey picture, and two (R, G) that are
    // grey and alpha. Uploads show them as grey through a texture swizzle;
    // LayoutR and LayoutRG are data channels and stay as they are.
    LayoutGrey = 12,
    LayoutGreyAlpha = 13,
};

// The type of one channel value.
enum ComponentType : std::int32_t {
    ComponentUnknown = 0,
    ComponentInt8 = 1,
    ComponentUInt8 = 2,
    ComponentInt16 = 3,
    ComponentUInt16 = 4,
    ComponentInt32 = 5,
    ComponentUInt32 = 6,
    ComponentFloat16 = 7,
    ComponentPacked = 8, // several channels packed into one word (depth-stencil, 11-11-10, 10-10-10-2)
    ComponentFloat32 = 9,
};

// One entry of the format table: the storage of a format in blocks (a 1x1x1
// block is one pixel of an uncompressed format).
struct ImageFormatDescription {
    const char* m_szName;
    std::uint32_t m_uiBytesPerBlock;
    std::uint32_t m_uiBlockWidth;
    std::uint32_t m_uiBlockHeight;
    std::uint32_t m_uiBlockDepth;
    bool m_bCompressed;
    std::uint32_t m_uiChannels;
};

// The description of a code; the FormatUnknown entry (all zero) for codes
// outside the table.
const ImageFormatDescription& GetImageFormatDescription(std::int32_t iFormat);
bool IsKnownImageFormat(std::int32_t iFormat);

// Pixels of a 2D image, a volume (depth > 1) or a cube map (six faces), with
// as many mipmap levels as it holds. Rows are in the order OpenGL takes them:
// the first row is t = 0. For 2D images and volume slices that is the bottom
// of the picture, so rows run bottom-up. A cube face's t = 0 row is the top of
// the face as seen from the cube's centre (OpenGL's cube maps keep the
// top-down convention of the environment maps they came from), so faces hold
// their rows top-down, as face images and DDS files store them. The pixel bytes hold, for each face in the order
// +X, -X, +Y, -Y, +Z, -Z (one face for other images), each level from the
// largest down, all slices of that level, each tightly packed.
struct ImageData {
    std::int32_t m_iImageFormat = FormatUnknown;
    std::int32_t m_iChannelLayout = LayoutUnknown;
    std::int32_t m_iComponentType = ComponentUnknown;
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    // Depth, faces and levels: 0 counts as 1.
    std::uint32_t m_uiDepth = 1;
    std::uint32_t m_uiNumFaces = 1;
    std::uint32_t m_uiNumMipMaps = 1;
    // Bytes per pixel (of a block, for compressed formats).
    std::uint32_t m_uiPixelSize = 0;
    std::vector<std::uint8_t> m_Pixels;
    // What a stored value v stands for: v * m_fValueScale + m_fValueOffset
    // (a volume's rescale, such as NIfTI's scl_slope and scl_inter). The
    // pixels keep the stored values; a shader that wants the physical ones
    // applies the two itself.
    float m_fValueScale = 1.0f;
    float m_fValueOffset = 0.0f;

    std::uint32_t GetDepth() const { return m_uiDepth == 0 ? 1 : m_uiDepth; }
    std::uint32_t GetNumFaces() const { return m_uiNumFaces == 0 ? 1 : m_uiNumFaces; }
    std::uint32_t GetNumMipMaps() const { return m_uiNumMipMaps == 0 ? 1 : m_uiNumMipMaps; }
    // Bytes of one face at one level (all slices), from the format table.
    std::size_t GetLevelSize(std::uint32_t uiLevel) const;
    // Bytes all faces and levels need together.
    std::size_t GetRequiredSize() const;
    // Byte offset of a face's level in m_Pixels.
    std::size_t GetOffset(std::uint32_t uiFace, std::uint32_t uiLevel) const;
    // Empty when the image is consistent; otherwise what is wrong with it.
    std::string Validate() const;
};

// Gives an image of three colour channels (RGB8, BGR8, RGB16, RGB16F, RGB32F)
// a fourth, alpha, channel of 1 in every face, level and slice: RGBA8, BGRA8,
// RGBA16, RGBA16F, RGBA32F. Compute shaders cannot store into three-channel
// textures, so pictures read from files come with four. Other formats (sRGB
// and packed ones included) are left as they are; returns whether the image
// changed. Throws std::runtime_error naming the problem for an inconsistent
// image.
bool AddOpaqueAlpha(ImageData& image);

} // namespace Ondo::GFX
