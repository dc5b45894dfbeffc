// The DDS, KTX, MetaImage, VTK, NIfTI and six-face readers: real files, every texel of small files written
// here, and cut or lying headers (no image, one message naming the file, no allocation of the claimed size).

#include "HostTestSupport.h"
#include "ImageFileFixture.h"
#include "LargestAllocation.h"
#include "support/GLTestEnvironment.h"

#include "Ondo/OpenGL/Textures.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

using namespace Ondo::GFX;
using OndoTest::ImageFiles;
using Bytes = std::vector<std::uint8_t>;
using OndoTest::FileBytes;
using OndoTest::RowsReversed;

namespace {

const std::string s_strData = ONDO_TEST_DATA;

void Put32(Bytes& bytes, std::size_t uiOffset, std::uint32_t uiValue, bool bBigEndian = false)
{
    if (bytes.size() < uiOffset + 4) bytes.resize(uiOffset + 4);
    for (int i = 0; i < 4; ++i)
        bytes[uiOffset + static_cast<std::size_t>(bBigEndian ? 3 - i : i)] = static_cast<std::uint8_t>(uiValue >> (8 * i));
}

Bytes Text(const std::string& str) { return Bytes(str.begin(), str.end()); }

void Append(Bytes& bytes, const Bytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

// The bytes of one face's level.
Bytes LevelOf(const ImageData& image, std::uint32_t uiFace, std::uint32_t uiLevel)
{
    const auto itBegin = image.m_Pixels.begin() + static_cast<std::ptrdiff_t>(image.GetOffset(uiFace, uiLevel));
    return Bytes(itBegin, itBegin + static_cast<std::ptrdiff_t>(image.GetLevelSize(uiLevel)));
}

// Equal value for value, NaN where the other is NaN.
void ExpectSameFloats(const std::vector<float>& a, const std::vector<float>& b, const std::string& strWhat)
{
    ASSERT_EQ(a.size(), b.size()) << strWhat;
    std::size_t uiWrong = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) ++uiWrong;
    EXPECT_EQ(uiWrong, 0u) << strWhat;
}

using Shape = std::tuple<std::int32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;
Shape ShapeOf(const ImageData& image)
{
    return {image.m_iImageFormat, image.m_uiWidth,     image.m_uiHeight,
            image.GetDepth(),     image.GetNumFaces(), image.GetNumMipMaps()};
}

// DDS: the 124-byte header, its pixel format, and the DX10 header when a DXGI format is given.
struct DdsHeader {
    std::uint32_t uiWidth, uiHeight, uiDepth = 0, uiLevels = 1, uiCaps2 = 0;
    std::uint32_t uiPixelFlags = 0x41, uiFourCC = 0, uiBits = 32;
    std::uint32_t masks[4] = {0xFF, 0xFF00, 0xFF0000, 0xFF000000};
    std::uint32_t uiDxgi = 0, uiDimension = 3, uiMisc = 0, uiArraySize = 1;
};

Bytes Dds(const DdsHeader& h, const Bytes& pixels)
{
    Bytes bytes = {'D', 'D', 'S', ' '};
    Put32(bytes, 4, 124);
    Put32(bytes, 8, 0x1007 | (h.uiDepth ? 0x800000u : 0u) | (h.uiLevels > 1 ? 0x20000u : 0u));
    Put32(bytes, 12, h.uiHeight);
    Put32(bytes, 16, h.uiWidth);
    Put32(bytes, 24, h.uiDepth);
    Put32(bytes, 28, h.uiLevels);
    Put32(bytes, 76, 32);
    Put32(bytes, 80, h.uiDxgi ? 0x4 : h.uiPixelFlags);
    Put32(bytes, 84, h.uiDxgi ? 0x30315844 /* "DX10" */ : h.uiFourCC);
    Put32(bytes, 88, h.uiBits);
    for (std::size_t i = 0; i < 4; ++i) Put32(bytes, 92 + 4 * i, h.masks[i]);
    Put32(bytes, 108, 0x1000);
    Put32(bytes, 112, h.uiCaps2);
    Put32(bytes, 124, 0);
    if (h.uiDxgi) {
        Put32(bytes, 128, h.uiDxgi);
        Put32(bytes, 132, h.uiDimension);
        Put32(bytes, 136, h.uiMisc);
        Put32(bytes, 140, h.uiArraySize);
        Put32(bytes, 144, 0);
    }
    Append(bytes, pixels);
    return bytes;
}

// KTX 1 in either byte order; each level is its imageSize word and the data given (padded as in the file).
struct KtxHeader {
    bool bBigEndian = false;
    std::uint32_t uiType = GL_UNSIGNED_BYTE, uiTypeSize = 1, uiFormat = GL_RGBA, uiInternalFormat = GL_RGBA8;
    std::uint32_t uiWidth = 2, uiHeight = 2, uiDepth = 0, uiArray = 0, uiFaces = 1, uiLevels = 1;
    Bytes keyValues;
};

Bytes Ktx(const KtxHeader& h, const std::vector<std::pair<std::uint32_t, Bytes>>& levels)
{
    Bytes bytes = {0xAB, 'K', 'T', 'X', ' ', '1', '1', 0xBB, '\r', '\n', 0x1A, '\n'};
    const std::uint32_t fields[] = {0x04030201, h.uiType,   h.uiTypeSize, h.uiFormat, h.uiInternalFormat,
                                    GL_RGBA,    h.uiWidth,  h.uiHeight,   h.uiDepth,  h.uiArray,
                                    h.uiFaces,  h.uiLevels, static_cast<std::uint32_t>(h.keyValues.size())};
    for (std::size_t i = 0; i < std::size(fields); ++i) Put32(bytes, 12 + 4 * i, fields[i], h.bBigEndian);
    Append(bytes, h.keyValues);
    for (const auto& [uiImageSize, data] : levels) {
        Put32(bytes, bytes.size(), uiImageSize, h.bBigEndian);
        Append(bytes, data);
    }
    return bytes;
}

Bytes KeyValue(const std::string& strKey, const std::string& strValue, bool bBigEndian)
{
    Bytes pair(strKey.begin(), strKey.end());
    pair.push_back(0);
    pair.insert(pair.end(), strValue.begin(), strValue.end());
    pair.push_back(0);
    Bytes bytes;
    Put32(bytes, 0, static_cast<std::uint32_t>(pair.size()), bBigEndian);
    Append(bytes, pair);
    bytes.resize((bytes.size() + 3) / 4 * 4);
    return bytes;
}

// NIfTI-1: 348 bytes of header and four of extension flags.
Bytes NIfTI(const std::vector<std::int16_t>& dims, std::int16_t iType, std::int16_t iBits, float fSlope = 0,
            float fInter = 0)
{
    Bytes bytes(352, 0);
    Put32(bytes, 0, 348);
    for (std::size_t i = 0; i < dims.size(); ++i) {
        bytes[40 + 2 * i] = static_cast<std::uint8_t>(dims[i]);
        bytes[41 + 2 * i] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(dims[i]) >> 8);
    }
    bytes[70] = static_cast<std::uint8_t>(iType), bytes[71] = static_cast<std::uint8_t>(iType >> 8);
    bytes[72] = static_cast<std::uint8_t>(iBits);
    const float fOffset = 352;
    for (const auto& [uiAt, fValue] : {std::pair{108u, fOffset}, {112u, fSlope}, {116u, fInter}}) {
        std::uint32_t uiBits = 0;
        std::memcpy(&uiBits, &fValue, 4);
        Put32(bytes, uiAt, uiBits);
    }
    std::memcpy(bytes.data() + 344, "n+1", 4);
    return bytes;
}

// zlib's stream, or gzip's as .nii.gz files have it.
Bytes Deflated(const Bytes& bytes, bool bGzip = false)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, bGzip ? 15 + 16 : 15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&stream, static_cast<uLong>(bytes.size())));
    stream.next_in = const_cast<Bytef*>(bytes.data());
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

Bytes Inflated(const Bytes& bytes, std::size_t uiSize, bool bGzip)
{
    Bytes out(uiSize);
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, bGzip ? 15 + 16 : 15), Z_OK);
    stream.next_in = const_cast<Bytef*>(bytes.data());
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    inflateEnd(&stream);
    return out;
}

class Readers : public ImageFiles {
protected:
    std::string Write(const std::string& strName, const Bytes& bytes)
    {
        WriteBytes(strName, bytes);
        return Path(strName);
    }
    // Loads the file: an image of the shape and, where given, the pixels; null when there is none.
    std::unique_ptr<ImageData> ExpectImage(const std::string& strPath, const Shape& shape,
                                           const std::optional<Bytes>& pixels = std::nullopt)
    {
        auto pImage = LoadPath(strPath);
        EXPECT_NE(pImage, nullptr) << strPath << ": " << LastError();
        if (!pImage) return pImage;
        EXPECT_EQ(ShapeOf(*pImage), shape) << strPath;
        if (!pixels) return pImage;
        EXPECT_EQ(pImage->m_Pixels, *pixels) << strPath;
        return pImage;
    }
    // Writes and loads the file: no image, one message naming the file with the reason; returns the largest
    // single allocation the load made.
    std::size_t ExpectRefused(const std::string& strName, const Bytes& bytes, const std::string& strReason)
    {
        WriteBytes(strName, bytes);
        std::unique_ptr<ImageData> pImage;
        const std::size_t uiLargest = OndoTest::LargestAllocation([&] { pImage = Load(strName); });
        EXPECT_EQ(pImage, nullptr) << strName << ", " << bytes.size() << " bytes";
        EXPECT_EQ(LastError().rfind("The image file " + Path(strName) + " could not be decoded: ", 0), 0u) << LastError();
        EXPECT_NE(LastError().find(strReason), std::string::npos) << strName << ": " << LastError();
        return uiLargest;
    }
};

} // namespace

TEST_F(Readers, DDSFromImageMagickKeepsBlocksAndLevelsAndTurnsRowsBottomUp)
{
    // ImageMagick's crops of a photograph at (60, 36), some with an alpha ramp from 0 at the left to 255.
    const auto pPhoto = LoadPath(s_strData + "/video-001.jpeg");
    ASSERT_NE(pPhoto, nullptr);
    // Texel (x, y) of the crop, y down, as RGBA.
    const auto Photo = [&](std::uint32_t x, std::uint32_t y, std::uint32_t c) {
        return pPhoto->m_Pixels[((pPhoto->m_uiHeight - 1 - (36 + y)) * pPhoto->m_uiWidth + 60 + x) * 4 + c];
    };
    const auto Ramp = [&](std::uint32_t x, std::uint32_t y, std::uint32_t c) {
        return c == 3 ? static_cast<std::uint8_t>(std::lround(255.0 * x / 31)) : Photo(x, y, c);
    };
    // The largest and mean difference of level 0 read back from the GL (bottom-up) to the source (y down).
    const auto Difference = [](const ImageData& image, const auto& fnSource) {
        OndoTest::TestDevice();
        GLuint uiTexture = Ondo::OpenGL::LoadTexture2D(image, false, false);
        Bytes rgba(std::size_t{image.m_uiWidth} * image.m_uiHeight * 4);
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &uiTexture);
        int iMax = 0;
        double dSum = 0;
        for (std::uint32_t y = 0; y < image.m_uiHeight; ++y)
            for (std::uint32_t x = 0; x < image.m_uiWidth; ++x)
                for (std::uint32_t c = 0; c < 4; ++c) {
                    const int iDiff = std::abs(rgba[((image.m_uiHeight - 1 - y) * image.m_uiWidth + x) * 4 + c] -
                                               static_cast<int>(fnSource(x, y, c)));
                    iMax = std::max(iMax, iDiff);
                    dSum += iDiff;
                }
        return std::pair{iMax, dSum / static_cast<double>(rgba.size())};
    };

    // 24-bit BGR (given alpha 1) with six levels, 32-bit BGRA; the JPEG source decodes slightly apart.
    const auto pBGR = ExpectImage(s_strData + "/photo_bgr.dds", Shape(FormatBGRA8, 32, 16, 1, 1, 6));
    const auto pBGRA = ExpectImage(s_strData + "/photo_alpha_bgra.dds", Shape(FormatBGRA8, 32, 32, 1, 1, 1));
    ASSERT_TRUE(pBGR && pBGRA);
    EXPECT_EQ(pBGR->m_iChannelLayout, LayoutBGRA);
    EXPECT_EQ(LevelOf(*pBGR, 0, 5)[3], 255);
    for (const auto& [pImage, fnSource] : {std::pair{pBGR.get(), std::function(Photo)}, {pBGRA.get(), std::function(Ramp)}}) {
        const auto [iMax, dMean] = Difference(*pImage, fnSource);
        EXPECT_LE(iMax, 12) << pImage->m_uiHeight;
        EXPECT_LT(dMean, 1.5) << pImage->m_uiHeight;
    }

    // Blocks stay compressed with their levels, turned upside down block by block.
    for (const auto& [szName, iFormat, fnSource] :
         {std::tuple{"photo_dxt1.dds", FormatBC1, std::function(Photo)},
          {"photo_alpha_dxt5.dds", FormatBC3, std::function(Ramp)}}) {
        SCOPED_TRACE(szName);
        const auto pBlocks = ExpectImage(s_strData + "/" + szName, Shape(iFormat, 32, 32, 1, 1, 6));
        ASSERT_NE(pBlocks, nullptr);
        EXPECT_EQ(pBlocks->m_Pixels.size(), FileBytes(s_strData + "/" + szName).size() - 128) << "every level, as blocks";
        const auto [iMax, dMean] = Difference(*pBlocks, fnSource);
        EXPECT_LT(dMean, 6.0);
        EXPECT_LT(iMax, 80);
        const auto [iFlippedMax, dFlippedMean] =
            Difference(*pBlocks, [&](std::uint32_t x, std::uint32_t y, std::uint32_t c) { return fnSource(x, 31 - y, c); });
        EXPECT_GT(dFlippedMean, 3 * dMean) << "the comparison tells the picture's way up";
    }
}

TEST_F(Readers, DDSCubeMapsAndVolumesKeepEveryTexelFaceOrderAndLevel)
{
    // A legacy cube map: six 2 x 2 RGBA8 faces of two levels, +X -X +Y -Y +Z -Z, rows top-down.
    DdsHeader cube{2, 2};
    cube.uiLevels = 2;
    cube.uiCaps2 = 0x200 | 0xFC00;
    const Bytes faces = OndoTest::Pattern(6 * (16 + 4), 5, 1);
    ExpectImage(Write("sky.dds", Dds(cube, faces)), Shape(FormatRGBA8, 2, 2, 1, 6, 2), faces);

    // A DX10 volume of R16_UINT, 3 x 2 x 2 and its 1 x 1 x 1 level: each slice's rows bottom-up.
    DdsHeader volume{3, 2};
    volume.uiDepth = 2;
    volume.uiLevels = 2;
    volume.uiDxgi = 57; // R16_UINT
    volume.uiDimension = 4;
    const Bytes voxels = OndoTest::Pattern(3 * 2 * 2 * 2 + 2, 5, 9);
    const auto pVolume = ExpectImage(Write("ct.dds", Dds(volume, voxels)), Shape(FormatR16UI, 3, 2, 2, 1, 2));
    ASSERT_NE(pVolume, nullptr);
    EXPECT_EQ(LevelOf(*pVolume, 0, 0), RowsReversed(Bytes(voxels.begin(), voxels.end() - 2), 6, 2));
    EXPECT_EQ(LevelOf(*pVolume, 0, 1), Bytes(voxels.end() - 2, voxels.end()));

    DdsHeader partial = cube;
    partial.uiCaps2 = 0x200 | 0x400 | 0x1000;
    DdsHeader array = volume;
    array.uiDimension = 3, array.uiDepth = 0, array.uiArraySize = 4;
    DdsHeader unknown{4, 4};
    unknown.uiPixelFlags = 0x4, unknown.uiFourCC = 0x44434241; // "ABCD"
    const std::pair<Bytes, const char*> refused[] = {
        {Dds(partial, faces), "it is a partial cube map: faces -X, -Y, +Z, -Z are missing"},
        {Dds(array, voxels), "it is an array of 4 images"},
        {Dds(unknown, Bytes(16)), "its pixel format \"ABCD\" (0x44434241) is not one this reader knows"},
    };
    for (const auto& [bytes, szReason] : refused) ExpectRefused("bad.dds", bytes, szReason);
}

TEST_F(Readers, KTXFromOpen3DGivesPackedFloatCubeMapsWhateverItsGlFormatSays)
{
    // Six 32 x 32 GL_R11F_G11F_B10F faces and their 16 x 16 level; one file says glFormat GL_RGB, the other
    // repeats its glType there: the internal format decides.
    for (const char* szName : {"default_ibl_32.ktx", "park_ibl_32.ktx"}) {
        SCOPED_TRACE(szName);
        const Bytes file = FileBytes(s_strData + "/" + szName);
        ASSERT_GT(file.size(), 64u);
        std::uint32_t uiGlFormat = 0, uiKeyValues = 0;
        std::memcpy(&uiGlFormat, file.data() + 24, 4);
        std::memcpy(&uiKeyValues, file.data() + 60, 4);
        const auto pImage = ExpectImage(s_strData + "/" + szName, Shape(FormatR11G11B10F, 32, 32, 1, 6, 2));
        ASSERT_NE(pImage, nullptr);
        std::size_t uiAt = 64 + uiKeyValues;
        for (std::uint32_t uiLevel = 0; uiLevel < 2; ++uiLevel) {
            const std::size_t uiFace = (32u >> uiLevel) * (32u >> uiLevel) * 4;
            uiAt += 4;
            for (std::uint32_t f = 0; f < 6; ++f, uiAt += uiFace)
                EXPECT_EQ(LevelOf(*pImage, f, uiLevel),
                          Bytes(file.begin() + static_cast<std::ptrdiff_t>(uiAt),
                                file.begin() + static_cast<std::ptrdiff_t>(uiAt + uiFace)))
                    << "face " << f << " level " << uiLevel << ", glFormat " << std::hex << uiGlFormat;
        }
        EXPECT_EQ(uiAt, file.size());
    }
}

TEST_F(Readers, KTXReadsPaddedRowsEitherByteOrderItsOrientationAndOlderFormats)
{
    // RGB8 3 x 2 (rows of 9 bytes padded to 12) and a 1 x 1 level: alpha added, bottom-up rows kept.
    KtxHeader rgb;
    rgb.uiFormat = GL_RGB, rgb.uiInternalFormat = GL_RGB8, rgb.uiWidth = 3, rgb.uiLevels = 2;
    const Bytes rows = OndoTest::Pattern(24, 5, 3), small = {200, 201, 202, 0};
    Bytes expected;
    for (std::size_t y = 0; y < 2; ++y)
        for (std::size_t x = 0; x < 3; ++x)
            Append(expected, {rows[y * 12 + x * 3], rows[y * 12 + x * 3 + 1], rows[y * 12 + x * 3 + 2], 255});
    Append(expected, {200, 201, 202, 255});
    ExpectImage(Write("rgb.ktx", Ktx(rgb, {{24, rows}, {4, small}})), Shape(FormatRGBA8, 3, 2, 1, 1, 2), expected);

    // Big-endian 16-bit grey whose rows run top-down: words swapped, rows turned.
    KtxHeader r16;
    r16.bBigEndian = true;
    r16.uiType = GL_UNSIGNED_SHORT, r16.uiTypeSize = 2, r16.uiFormat = GL_RED, r16.uiInternalFormat = GL_R16;
    r16.keyValues = KeyValue("KTXorientation", "S=r,T=d", true);
    const Bytes words = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    ExpectImage(Write("r16.ktx", Ktx(r16, {{8, words}})), Shape(FormatR16, 2, 2, 1, 1, 1),
                Bytes{0x06, 0x05, 0x08, 0x07, 0x02, 0x01, 0x04, 0x03});

    // The internal format decides whatever glType and glFormat say; an unsized GL_RGBA is sized by glType.
    KtxHeader careless;
    careless.uiType = 0, careless.uiFormat = 0;
    KtxHeader unsized;
    unsized.uiInternalFormat = GL_RGBA;
    const Bytes rgba = OndoTest::Pattern(16, 5, 50);
    for (const KtxHeader& header : {careless, unsized})
        ExpectImage(Write("rgba.ktx", Ktx(header, {{16, rgba}})), Shape(FormatRGBA8, 2, 2, 1, 1, 1), rgba);

    KtxHeader arrayHeader, threeFaces, badPair;
    arrayHeader.uiArray = 3;
    threeFaces.uiFaces = 3;
    badPair.keyValues = {200, 0, 0, 0, 'K', 'e', 'y', 0};
    const std::pair<Bytes, const char*> refused[] = {
        {Ktx(rgb, {{20, rows}, {4, small}}), "level 0 states 20 bytes, a 3 x 2 x 1 RGB8 level takes 24"},
        {Ktx(arrayHeader, {{16, rgba}}), "it is an array texture of 3 layers"},
        {Ktx(threeFaces, {{16, rgba}}), "it has 3 faces; 1, or 6 for a cube map"},
        {Ktx(badPair, {{16, rgba}}), "a key/value pair runs past the key/value data"},
    };
    for (const auto& [bytes, szReason] : refused) ExpectRefused("bad.ktx", bytes, szReason);
}

TEST_F(Readers, VolumesFromNIfTIVTKAndMetaImageWritersAgreeVoxelForVoxel)
{
    // A big-endian NIfTI scan of floats (NaN outside the brain) and the same voxels as VTK ASCII, VTK raw
    // appended (64-bit block headers) and MetaImage with zlib data in its own file.
    const auto pScan = ExpectImage(s_strData + "/resampled_anat_moved.nii", Shape(FormatR32F, 17, 21, 3, 1, 1));
    ASSERT_NE(pScan, nullptr);
    EXPECT_EQ(pScan->m_iComponentType, ComponentFloat32);
    const Bytes nii = FileBytes(s_strData + "/resampled_anat_moved.nii");
    std::vector<float> stored(17 * 21 * 3);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const std::uint8_t* p = nii.data() + 352 + 4 * i;
        const std::uint32_t uiBits = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
        std::memcpy(&stored[i], &uiBits, 4);
    }
    ExpectSameFloats(OndoTest::Floats(*pScan), stored, "the file's big-endian floats");
    EXPECT_GT(std::count_if(stored.begin(), stored.end(), [](float f) { return std::isnan(f); }), 100);
    for (const char* szName : {"resampled_anat_ascii.vti", "resampled_anat_raw.vti", "resampled_anat.mhd"}) {
        const auto pSame = ExpectImage(s_strData + "/" + szName, ShapeOf(*pScan));
        if (pSame) ExpectSameFloats(OndoTest::Floats(*pSame), stored, szName);
    }

    // A gzip-compressed byte mask, and the same as VTK raw appended data with 32-bit block headers.
    const Bytes mask = Inflated(FileBytes(s_strData + "/standard.nii.gz"), 352 + 140, true);
    for (const char* szName : {"standard.nii.gz", "standard_raw.vti"})
        ExpectImage(s_strData + "/" + szName, Shape(FormatR8UI, 4, 5, 7, 1, 1), Bytes(mask.begin() + 352, mask.end()));

    // ITK's examples: bytes in the .raw the header names, floats compressed in the .mha; 2-D gives one slice.
    ExpectImage(s_strData + "/RatLungSlice1.mha", Shape(FormatR8UI, 128, 128, 1, 1, 1),
                FileBytes(s_strData + "/RatLungSlice1.raw"));
    const Bytes mha = FileBytes(s_strData + "/CorpusCallosumMode0.mha");
    static const char s_szLast[] = "ElementDataFile = LOCAL\n";
    const auto itData = std::search(mha.begin(), mha.end(), s_szLast, s_szLast + sizeof(s_szLast) - 1) + sizeof(s_szLast) - 1;
    ExpectImage(s_strData + "/CorpusCallosumMode0.mha", Shape(FormatR32F, 58, 31, 1, 1, 1),
                Inflated(Bytes(itData, mha.end()), 58 * 31 * 4, false));
}

TEST_F(Readers, VolumeReadersKeepTypeSignAndByteOrderAndRefuseWhatTheyCannotHold)
{
    // MetaImage: big-endian signed shorts after HeaderSize bytes of their own file, named relative to it.
    const std::int16_t shorts[] = {-32768, -300, -1, 0, 1, 7, 255, 256, 1000, 12345, 32767, -2};
    Bytes data = {9, 9, 9, 9, 9};
    for (const std::int16_t s : shorts) {
        data.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
        data.push_back(static_cast<std::uint8_t>(s));
    }
    std::filesystem::create_directory(m_Folder / "raw");
    WriteBytes("raw/ct.dat", data);
    const std::string strHeader = "ObjectType = Image\nNDims = 3\nDimSize = 3 2 2\nElementType = MET_SHORT\n"
                                  "ElementByteOrderMSB = True\nHeaderSize = 5\nElementDataFile = raw/ct.dat\n";
    const auto pCT = ExpectImage(Write("ct.mhd", Text(strHeader)), Shape(FormatR16I, 3, 2, 2, 1, 1));
    ASSERT_NE(pCT, nullptr);
    EXPECT_EQ(pCT->m_iComponentType, ComponentInt16);
    std::vector<std::int16_t> read(12);
    std::memcpy(read.data(), pCT->m_Pixels.data(), 24);
    EXPECT_EQ(read, std::vector<std::int16_t>(std::begin(shorts), std::end(shorts)));

    // VTK ASCII of signed bytes, NIfTI of unsigned shorts with its rescale.
    const std::string strVtk = "<?xml version=\"1.0\"?>\n<VTKFile type=\"ImageData\" version=\"0.1\">\n"
                               "<ImageData WholeExtent=\"0 2 0 1 5 5\"><Piece Extent=\"0 2 0 1 5 5\"><PointData>"
                               "<DataArray type=\"Int8\" Name=\"v\" format=\"ascii\">-128 -1 0\n 1 64 127</DataArray>"
                               "</PointData></Piece></ImageData></VTKFile>\n";
    ExpectImage(Write("labels.vti", Text(strVtk)), Shape(FormatR8I, 3, 2, 1, 1, 1),
                Bytes{0x80, 0xFF, 0, 1, 64, 127});
    Bytes nifti = NIfTI({3, 2, 1, 2}, 512, 16, 2.0f, -1.0f);
    const Bytes dose = {0x01, 0x00, 0xFF, 0xFF, 0x34, 0x12, 0, 0};
    Append(nifti, dose);
    const auto pDose = ExpectImage(Write("dose.nii", nifti), Shape(FormatR16UI, 2, 1, 2, 1, 1), dose);
    ASSERT_NE(pDose, nullptr);
    EXPECT_EQ(std::make_pair(pDose->m_fValueScale, pDose->m_fValueOffset), std::make_pair(2.0f, -1.0f));

    Bytes series = NIfTI({4, 2, 1, 1, 3}, 2, 8);
    Append(series, Bytes(6));
    Bytes doubles = NIfTI({3, 2, 1, 1}, 64, 64);
    Append(doubles, Bytes(16));
    const std::tuple<const char*, Bytes, const char*> refused[] = {
        {"series.nii", series, "it is a 4-D series (3 along axis 4); one volume is read"},
        {"doubles.nii", doubles, "its voxel type code 64 is not read"},
        {"missing.mhd", Text("NDims = 2\nDimSize = 2 2\nElementType = MET_UCHAR\nElementDataFile = none.raw\n"),
         "its data file none.raw cannot be read"},
        {"text.mha", Text("NDims = 2\nDimSize = 2 2\nBinaryData = False\nElementType = MET_UCHAR\nElementDataFile = LOCAL\n"),
         "its voxels are written as text"},
        {"wide.vti", Text("<VTKFile type=\"ImageData\"><ImageData><Piece Extent=\"0 1 0 0 0 0\"><PointData>"
                          "<DataArray type=\"Int16\" format=\"ascii\">5 40000</DataArray></PointData></Piece>"
                          "</ImageData></VTKFile>"),
         "its ASCII value 40000 is no Int16"},
    };
    for (const auto& [szName, bytes, szReason] : refused) ExpectRefused(szName, bytes, szReason);
}

TEST_F(Readers, SixFaceSetsTakeTheirFacesByNameOrOrderAndMustAgree)
{
    // Six pictures listed by key in another order, with comments: face f is the one named for it, top row first.
    const char* const keys[] = {"posx", "negx", "posy", "negy", "posz", "negz"};
    Bytes expected;
    for (int f = 0; f < 6; ++f) {
        const ImageData face{FormatRGBA8, LayoutUnknown, ComponentUnknown, 2, 2, 1, 1, 1, 0,
                             OndoTest::Pattern(16, 5, static_cast<unsigned int>(30 * f))};
        WritePNG(Path(std::string("sky_") + keys[f] + ".png"), face);
        Append(expected, RowsReversed(face.m_Pixels, 8, 2));
    }
    const std::string strList = "# a sky\nnegz = sky_negz.png\nposx = sky_posx.png\n  POSY=sky_posy.png\n"
                                "negx = sky_negx.png\nposz = sky_posz.png\nnegy = sky_negy.png\n";
    ExpectImage(Write("sky.cube", Text(strList)), Shape(FormatRGBA8, 2, 2, 1, 6, 1), expected);

    WritePNG(Path("odd.png"), {FormatRGBA8, LayoutUnknown, ComponentUnknown, 3, 3, 1, 1, 1, 0, OndoTest::Pattern(36, 5, 0)});
    const std::string strSix = "sky_posx.png\nsky_negx.png\nsky_posy.png\n";
    const std::pair<std::string, const char*> refused[] = {
        {strSix + "sky_negy.png\nsky_posz.png\n", "it lists 5 files, a cube map needs six"},
        {strSix + "odd.png\nsky_posz.png\nsky_negz.png\n", "face -Y (odd.png) is 3 x 3 RGBA8 with 1 levels, face +X 2 x 2"},
        {strSix + "none.png\nsky_posz.png\nsky_negz.png\n", "face -Y (none.png): "},
        {strSix + "sky.cube\nsky_posz.png\nsky_negz.png\n", "face -Y (sky.cube) is itself a list of faces"},
        {"posx = a.png\nnegx = b.png\nposy = c.png\nnegy = d.png\nposz = e.png\n", "face negz is missing"},
        {"posx = a.png\nposx = b.png\n", "face posx is given twice"},
        {"posx = a.png\nb.png\n", "it mixes \"key = file\" lines and bare file names"},
    };
    for (const auto& [strText, szReason] : refused) ExpectRefused("bad.cube", Text(strText), szReason);
}

TEST_F(Readers, CutOrLyingHeadersGiveNoImageOneMessageAndNoLargeAllocation)
{
    // Every real file cut short (for MetaImage, its data file).
    const char* const real[] = {"photo_dxt1.dds",          "photo_alpha_bgra.dds",        "default_ibl_32.ktx",
                                "resampled_anat_moved.nii", "standard.nii.gz",         "resampled_anat_ascii.vti",
                                "resampled_anat_raw.vti",   "CorpusCallosumMode0.mha", "RatLungSlice1.raw",
                                "resampled_anat.zraw"};
    std::filesystem::copy_file(s_strData + "/RatLungSlice1.mha", Path("RatLungSlice1.mha"));
    std::filesystem::copy_file(s_strData + "/resampled_anat.mhd", Path("resampled_anat.mhd"));
    for (const char* szName : real) {
        const Bytes whole = FileBytes(s_strData + "/" + szName);
        const std::string strExtension = std::filesystem::path(szName).extension().string();
        const bool bData = strExtension == ".raw" || strExtension == ".zraw";
        const std::string strLoaded =
            bData ? std::filesystem::path(szName).replace_extension(strExtension == ".raw" ? ".mha" : ".mhd").string()
                  : "cut" + strExtension;
        for (const std::size_t uiKeep : {std::size_t{4}, std::size_t{30}, whole.size() / 2, whole.size() * 3 / 4}) {
            SCOPED_TRACE(std::string(szName) + " cut to " + std::to_string(uiKeep) + " bytes");
            const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(uiKeep));
            if (bData) WriteBytes(szName, cut);
            ExpectRefused(strLoaded, bData ? FileBytes(Path(strLoaded)) : cut, "");
        }
    }

    // Headers that claim more than their files hold, refused before the claimed size is allocated, whatever the
    // image limits allow.
    DdsHeader dds{20000, 20000};
    KtxHeader ktx;
    ktx.uiInternalFormat = GL_RGBA32F, ktx.uiType = GL_FLOAT, ktx.uiWidth = 16000, ktx.uiHeight = 8000;
    KtxHeader ktxLevels = ktx;
    ktxLevels.uiWidth = ktxLevels.uiHeight = 4, ktxLevels.uiLevels = 9;
    const std::string strHuge = "NDims = 3\nDimSize = 2000 2000 400\nElementType = MET_UCHAR\n";
    Bytes niftiHuge = NIfTI({3, 2000, 2000, 400}, 2, 8);
    Append(niftiHuge, Bytes(64));
    Bytes compressedMha = Text(strHuge + "CompressedData = True\nElementDataFile = LOCAL\n");
    Append(compressedMha, Deflated(niftiHuge));
    const std::string strBlock = "<VTKFile type=\"ImageData\"><ImageData><Piece Extent=\"0 1999 0 1999 0 399\">"
                                 "<PointData><DataArray type=\"UInt8\" format=\"appended\" offset=\"0\"/></PointData>"
                                 "</Piece></ImageData><AppendedData encoding=\"raw\">_";
    Bytes block = Text(strBlock);
    Append(block, {0x00, 0x10, 0x5E, 0x5F, 'r', 'e', 's', 't'}); // 1600000000 bytes, it says
    const std::tuple<const char*, Bytes, const char*> lying[] = {
        {"huge.dds", Dds(dds, Bytes(64)), "the file ends before its pixels do"},
        {"wide.dds", Dds(DdsHeader{70000, 2}, Bytes(64)), "its width 70000 is outside 1 to 65536"},
        {"huge.ktx", Ktx(ktx, {{64, Bytes(64)}}), "the file ends before its pixels do"},
        {"levels.ktx", Ktx(ktxLevels, {{256, Bytes(256)}}), "9 mipmap levels, a 4 x 4 x 1 image has at most 3"},
        {"huge.mha", Text(strHuge + "ElementDataFile = LOCAL\n" + std::string(64, 'x')), "the file ends before its voxels do"},
        {"packed.mha", compressedMha, "compressed bytes cannot hold the 1600000000 its header claims"},
        {"huge.nii", niftiHuge, "the file ends before its voxels do"},
        {"huge.gz", Deflated(niftiHuge, true), "compressed bytes cannot hold the 1600000352 its header claims"},
        {"huge.vti", Text("<VTKFile type=\"ImageData\"><ImageData><Piece Extent=\"0 1999 0 1999 0 399\"><PointData>"
                          "<DataArray type=\"UInt8\" format=\"ascii\">1 2 3</DataArray></PointData></Piece>"
                          "</ImageData></VTKFile>"),
         "its ASCII data is too short for the 1600000000 voxels of its Extent"},
        {"block.vti", block, "the file ends before its voxels do"},
        {"many.cube", Bytes(100000, 'a'), "it is too long for a list of six faces (100000 bytes)"},
    };
    ImageLoader::Get(m_Core).SetLimits({UINT64_MAX, UINT64_MAX});
    for (const auto& [szName, bytes, szReason] : lying)
        EXPECT_LT(ExpectRefused(szName, bytes, szReason), std::size_t{16} << 20) << szName << " asked for that much at once";
}
