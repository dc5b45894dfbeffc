#pragma once

// What the texture, volume and cube-map readers share: bounds-checked access
// to the file's bytes, the checks every header goes through before anything
// is allocated, zlib inflation with a capped output, and the row-order
// conversions. Private to the engine's image readers.

#include "Ondo/GFX/ImageData.h"
#include "Ondo/GFX/ImageLoader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ondo::GFX {

// Refuses an image whose faces or slices are uiWidth x uiHeight pixels and
// whose decoded pixels take uiBytes, when either passes the limits of the
// loader decoding it (ImageLimits::Current()); the reason names the limit and
// how to raise it. Readers call it with the sizes a header claims, before
// anything is decoded or allocated.
void CheckImageLimits(std::uint64_t uiWidth, std::uint64_t uiHeight, std::uint64_t uiBytes);

// Throws Ondo::ExceptionParsing with the reason.
[[noreturn]] void Refuse(const std::string& strReason);

// A file's bytes, every read checked against its length.
class ByteView {
public:
    ByteView(const std::uint8_t* pData, std::size_t uiSize, bool bBigEndian = false)
        : m_pData(pData), m_uiSize(uiSize), m_bBigEndian(bBigEndian)
    {
    }
    std::size_t Size() const { return m_uiSize; }
    const std::uint8_t* Data() const { return m_pData; }
    void SetBigEndian(bool bBigEndian) { m_bBigEndian = bBigEndian; }
    bool IsBigEndian() const { return m_bBigEndian; }
    // Whether uiCount bytes start at uiOffset inside the file.
    bool Holds(std::size_t uiOffset, std::size_t uiCount) const
    {
        return uiOffset <= m_uiSize && uiCount <= m_uiSize - uiOffset;
    }
    // Refuses, naming szWhat, when the file does not hold the bytes.
    void Require(std::size_t uiOffset, std::size_t uiCount, const char* szWhat) const;
    std::uint16_t U16(std::size_t uiOffset) const;
    std::uint32_t U32(std::size_t uiOffset) const;
    float F32(std::uint32_t uiOffset) const;

private:
    const std::uint8_t* m_pData;
    std::size_t m_uiSize;
    bool m_bBigEndian;
};

// Checks the size fields of an image (width, height, depth 1 to 65536, faces,
// levels no more than the full chain) and that it stays within the image
// limits (CheckImageLimits); refuses naming what is wrong. Returns the byte count the
// image needs (GetRequiredSize), safe to allocate once the file is known to
// hold it.
std::size_t CheckImageSize(const ImageData& image);

// Inflates a zlib or gzip stream (told apart by its header) into at most
// uiMaxBytes bytes, growing the output as data arrives rather than trusting a
// size a header claims. With bExact the stream must hold exactly uiMaxBytes;
// otherwise it may hold more, of which the first uiMaxBytes are returned.
std::vector<std::uint8_t> Inflate(const std::uint8_t* pData, std::size_t uiSize, std::size_t uiMaxBytes, bool bExact,
                                  const char* szWhat);

// Reverses the row order of one level of one face, slice by slice: rows
// stored top-down become the bottom-up rows of OpenGL's 2D images and volume
// slices, and back. Block-compressed BC1 to BC5 levels have their block rows
// and the rows inside each block reordered; BC6H and BC7 blocks cannot be
// reordered without decoding and are refused, as are levels whose height is
// no multiple of the block height (and more than one block).
void FlipLevelRows(ImageData& image, std::uint32_t uiFace, std::uint32_t uiLevel);
void FlipAllRows(ImageData& image);

// The component type of an image format's channels (ComponentUnknown for
// block-compressed ones).
std::int32_t ComponentTypeOf(std::int32_t iFormat);

// Swaps the bytes of every uiWordSize-byte word (2, 4 or 8) in place.
void SwapWords(std::uint8_t* pData, std::size_t uiSize, std::size_t uiWordSize);

// The image formats and component types of single-channel voxels.
struct VoxelType {
    std::int32_t m_iFormat;
    std::int32_t m_iComponentType;
    std::uint32_t m_uiBytes;
};
// A one-channel volume of the given voxel type and size whose voxels are
// checked (CheckImageSize) but not yet filled.
ImageData MakeVolume(const VoxelType& type, std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiDepth);

// Whether the bytes start with the PNG signature, and the picture of such a
// file through libpng: 8- or 16-bit grey, grey and alpha, RGB or RGBA, as
// stb_image gives them. Throws Ondo::ExceptionParsing with libpng's reason.
bool IsPNG(const std::uint8_t* pData, std::size_t uiSize);
std::unique_ptr<ImageData> ReadPNG(const std::uint8_t* pData, std::size_t uiSize);

// Whether the bytes start as a JPEG file does (a start-of-image marker), and
// the picture of such a file: grey as R8, colour as RGB8. Throws
// Ondo::ExceptionParsing with libjpeg's reason for any damage.
bool IsJPEG(const std::uint8_t* pData, std::size_t uiSize);
std::unique_ptr<ImageData> ReadJPEG(const std::uint8_t* pData, std::size_t uiSize);

void RegisterDDSReader(ImageLoader& loader);
void RegisterKTXReader(ImageLoader& loader);
void RegisterVolumeReaders(ImageLoader& loader);
void RegisterCubeFaceSetReader(ImageLoader& loader);

} // namespace Ondo::GFX
