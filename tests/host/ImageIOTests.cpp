// The image loader, the standard readers and writers, and texture read-back.

#include "support/GLTestEnvironment.h"

#include "host/GFX/ImageIO.h"

#include "Ondo/Core.h"
#include "Ondo/StringConversion.h"
#include "Ondo/Exceptions.h"
#include "Ondo/GFX/ImageLoader.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <tinyexr.h>
#ifdef ONDO_TEST_HAVE_LIBPNG
#include <png.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>
#include <vector>

using namespace Ondo::GFX;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A fresh folder per test and a core with the standard readers.
class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Folder = fs::temp_directory_path() / ("ondo-image-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_Folder);
        fs::create_directories(m_Folder);
        RegisterStandardImageReaders(m_Core);
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    std::string Path(const std::string& strName) const { return (m_Folder / strName).string(); }
    std::unique_ptr<ImageData> Load(const std::string& strName) { return Load(ImageLoader::Get(m_Core), strName); }
    std::unique_ptr<ImageData> Load(const ImageLoader& loader, const std::string& strName) const
    {
        return loader.Load(fs::path(Path(strName)).wstring());
    }
    void WriteBytes(const std::string& strName, const Bytes& bytes) const
    {
        std::ofstream(Path(strName), std::ios::binary) << std::string(bytes.begin(), bytes.end());
    }
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_Folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_Folder;
    Ondo::Core m_Core;
};

// Format, layout, component type, pixel size, width, height, and whether it
// is one consistent 2D level.
using Shape = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t, std::uint32_t, bool>;
Shape ShapeOf(const ImageData& image)
{
    return {image.m_iImageFormat, image.m_iChannelLayout, image.m_iComponentType, image.m_uiPixelSize,
            image.m_uiWidth,      image.m_uiHeight,
            image.Validate().empty() && image.GetDepth() * image.GetNumFaces() * image.GetNumMipMaps() == 1};
}

// Top-down rows, as files store them: every byte differs from its neighbours.
Bytes Pattern(std::size_t uiSize)
{
    Bytes bytes(uiSize);
    for (std::size_t i = 0; i < uiSize; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

// Whether an image holds the file's rows bottom-up: its row 0 is the last.
bool IsBottomUp(const ImageData& image, const Bytes& fileRows)
{
    const std::size_t uiRow = fileRows.size() / image.m_uiHeight;
    for (std::uint32_t y = 0; y < image.m_uiHeight; ++y)
        if (image.m_Pixels.size() != fileRows.size() ||
            std::memcmp(&image.m_Pixels[y * uiRow], &fileRows[(image.m_uiHeight - 1 - y) * uiRow], uiRow) != 0)
            return false;
    return true;
}

ImageData MakeImage(std::int32_t iFormat, std::uint32_t uiWidth, std::uint32_t uiHeight, Bytes pixels)
{
    ImageData image;
    image.m_iImageFormat = iFormat;
    image.m_uiWidth = uiWidth;
    image.m_uiHeight = uiHeight;
    image.m_Pixels = std::move(pixels);
    return image;
}

ImageData FloatImage(std::int32_t iFormat, std::uint32_t uiWidth, std::uint32_t uiHeight, int iChannels)
{
    std::vector<float> values(uiWidth * uiHeight * static_cast<std::size_t>(iChannels));
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = 0.125f * static_cast<float>(i) - 1.5f;
    const auto* pBytes = reinterpret_cast<const std::uint8_t*>(values.data());
    return MakeImage(iFormat, uiWidth, uiHeight, Bytes(pBytes, pBytes + values.size() * sizeof(float)));
}

float FloatAt(const ImageData& image, std::size_t uiIndex)
{
    float f;
    std::memcpy(&f, image.m_Pixels.data() + uiIndex * sizeof(float), sizeof(f));
    return f;
}

} // namespace

TEST_F(ImageFiles, LoaderLooksUpLoweredExtensionsAndHandsOverThePathsOwn)
{
    Ondo::Core core;
    ImageLoader& loader = ImageLoader::Get(core);
    EXPECT_EQ(&ImageLoader::Get(core), &loader);
    EXPECT_EQ(loader.GetFileFilter(), L"");

    std::vector<std::wstring> seen;
    const auto Recorder = [&seen](std::uint32_t uiMark) {
        return [&seen, uiMark](const std::uint8_t* pData, std::size_t uiSize, const std::wstring& strExtension) {
            seen.push_back(strExtension + L":" + std::wstring(pData, pData + uiSize));
            auto pImage = std::make_unique<ImageData>();
            pImage->m_uiWidth = uiMark;
            return pImage;
        };
    };
    loader.RegisterReader(L"png", Recorder(1));
    loader.RegisterReader(L"dds", Recorder(2));
    EXPECT_EQ(loader.GetFileFilter(), L"*.dds;*.png");
    std::wstring strNoDot = fs::path(Path("NoExt")).wstring();
    ASSERT_EQ(strNoDot.find(L'.'), std::wstring::npos) << "the test folder's path holds a '.'";
    std::transform(strNoDot.begin(), strNoDot.end(), strNoDot.begin(), [](wchar_t c) { return std::towlower(c); });
    loader.RegisterReader(strNoDot, Recorder(3));
    EXPECT_THROW(loader.RegisterReader(L"tga", ImageLoader::Reader()), std::invalid_argument);

    for (const char* szName : {"a.PNG", "NoExt", "b.dds", "c.xyz"}) WriteBytes(szName, {'x', 'y'});
    WriteBytes("empty.png", {});
    EXPECT_EQ(Load(loader, "a.PNG")->m_uiWidth, 1u);
    EXPECT_EQ(Load(loader, "b.dds")->m_uiWidth, 2u);
    EXPECT_EQ(Load(loader, "NoExt")->m_uiWidth, 3u);
    EXPECT_EQ(Load(loader, "c.xyz"), nullptr) << "no reader under the key";
    EXPECT_EQ(Load(loader, "empty.png"), nullptr) << "an empty file reaches no reader";
    EXPECT_EQ(seen, (std::vector<std::wstring>{L".PNG:xy", L".dds:xy", L":xy"}));
    // The files that gave no image are told to the core, by name.
    ASSERT_EQ(core.GetErrors().size(), 2u);
    EXPECT_EQ(core.GetErrors()[0], "No image reader takes " + Path("c.xyz") + " (readers: " +
                                         Ondo::WideToUtf8(loader.GetFileFilter()) + ")");
    EXPECT_EQ(core.GetErrors()[1], "The image file " + Path("empty.png") + " is empty");
    EXPECT_THROW(Load(loader, "missing.png"), Ondo::ExceptionFileMissing);
}

TEST_F(ImageFiles, EightBitFilesComeBottomUpInTheirChannelCount)
{
    const Bytes rows = Pattern(5 * 3 * 4);
    for (const int iChannels : {1, 2, 3, 4}) {
        const std::string strName = "c" + std::to_string(iChannels) + ".png";
        ASSERT_TRUE(stbi_write_png(Path(strName).c_str(), 5, 3, iChannels, rows.data(), 0));
        const auto pImage = Load(strName);
        ASSERT_NE(pImage, nullptr);
        const std::int32_t formats[] = {FormatR8, FormatRG8, FormatRGB8, FormatRGBA8};
        const std::int32_t layouts[] = {LayoutR, LayoutRG, LayoutRGB, LayoutRGBA};
        EXPECT_EQ(ShapeOf(*pImage), Shape(formats[iChannels - 1], layouts[iChannels - 1], ComponentUInt8,
                                          static_cast<std::uint32_t>(iChannels), 5, 3, true));
        EXPECT_TRUE(IsBottomUp(*pImage, Bytes(rows.begin(), rows.begin() + 15 * iChannels))) << strName;
    }
    ASSERT_TRUE(stbi_write_tga(Path("rgba.tga").c_str(), 5, 3, 4, rows.data()));
    ASSERT_TRUE(stbi_write_bmp(Path("rgb.bmp").c_str(), 5, 3, 3, rows.data()));
    EXPECT_TRUE(IsBottomUp(*Load("rgba.tga"), rows));
    EXPECT_TRUE(IsBottomUp(*Load("rgb.bmp"), Bytes(rows.begin(), rows.begin() + 45)));

    // JPEG is lossy: a dark top half over a light bottom half.
    Bytes halves(32 * 32 * 3, 200);
    std::fill(halves.begin(), halves.begin() + 16 * 32 * 3, 40);
    ASSERT_TRUE(stbi_write_jpg(Path("halves.JPEG").c_str(), 32, 32, 3, halves.data(), 100));
    const auto pJpeg = Load("halves.JPEG");
    ASSERT_NE(pJpeg, nullptr);
    EXPECT_EQ(ShapeOf(*pJpeg), Shape(FormatRGB8, LayoutRGB, ComponentUInt8, 3, 32, 32, true));
    EXPECT_NEAR(pJpeg->m_Pixels[(8 * 32 + 16) * 3], 200, 6) << "row 8 from the bottom is in the light half";
    EXPECT_NEAR(pJpeg->m_Pixels[(24 * 32 + 16) * 3 + 1], 40, 6);
}

TEST_F(ImageFiles, SixteenBitPngKeepsItsDepth)
{
#ifndef ONDO_TEST_HAVE_LIBPNG
    GTEST_SKIP() << "libpng is not installed; no 16-bit PNG can be written";
#else
    std::vector<std::uint16_t> rows(4 * 3 * 3);
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint16_t>(0x0102 + i * 4099);
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = 4;
    png.height = 3;
    png.format = PNG_FORMAT_LINEAR_RGB;
    ASSERT_TRUE(png_image_write_to_file(&png, Path("deep.png").c_str(), 0, rows.data(), 0, nullptr));
    const auto pImage = Load("deep.png");
    ASSERT_NE(pImage, nullptr);
    EXPECT_EQ(ShapeOf(*pImage), Shape(FormatRGB16, LayoutRGB, ComponentUInt16, 6, 4, 3, true));
    const auto* pFileRows = reinterpret_cast<const std::uint8_t*>(rows.data());
    EXPECT_TRUE(IsBottomUp(*pImage, Bytes(pFileRows, pFileRows + rows.size() * 2)));
#endif
}

TEST_F(ImageFiles, FloatFilesAndTheWritersRoundTrip)
{
    // Radiance keeps about 1% precision.
    std::vector<float> hdr(6 * 2 * 3);
    for (std::size_t i = 0; i < hdr.size(); ++i) hdr[i] = 0.5f + static_cast<float>(i);
    ASSERT_TRUE(stbi_write_hdr(Path("sky.hdr").c_str(), 6, 2, 3, hdr.data()));
    const auto pHdr = Load("sky.hdr");
    ASSERT_NE(pHdr, nullptr);
    EXPECT_EQ(ShapeOf(*pHdr), Shape(FormatRGB32F, LayoutRGB, ComponentFloat32, 12, 6, 2, true));
    for (std::size_t i = 0; i < 18; ++i) EXPECT_NEAR(FloatAt(*pHdr, i), hdr[18 + i], hdr[18 + i] * 0.01f) << i;

    // tinyexr's own writer, halves in B, G, R: no alpha channel reads as 1.
    ASSERT_EQ(SaveEXR(hdr.data(), 6, 2, 3, 1, Path("halves.exr").c_str(), nullptr), TINYEXR_SUCCESS);
    const auto pHalves = Load("halves.exr");
    ASSERT_NE(pHalves, nullptr);
    EXPECT_EQ(ShapeOf(*pHalves), Shape(FormatRGBA32F, LayoutRGBA, ComponentFloat32, 16, 6, 2, true));
    for (std::size_t i = 0; i < 24; ++i)
        EXPECT_NEAR(FloatAt(*pHalves, i), i % 4 == 3 ? 1.0f : hdr[18 + i / 4 * 3 + i % 4], 0.01f) << i;

    // Our writers, through the standard readers.
    const ImageData rgba = FloatImage(FormatRGBA32F, 3, 2, 4), red = FloatImage(FormatR32F, 3, 2, 1);
    WriteEXR(Path("rgba.exr"), rgba);
    EXPECT_EQ(Load("rgba.exr")->m_Pixels, rgba.m_Pixels);
    WriteEXR(Path("red.exr"), red);
    const auto pRed = Load("red.exr");
    for (std::size_t i = 0; i < 24; ++i)
        EXPECT_EQ(FloatAt(*pRed, i), i % 4 == 0 ? FloatAt(red, i / 4) : i % 4 == 3 ? 1.0f : 0.0f) << i;

    ImageData bgra = MakeImage(FormatBGRA8, 4, 3, Pattern(48));
    WritePNG(Path("bgra.png"), bgra);
    const auto pBgra = Load("bgra.png");
    for (std::size_t i = 0; i < bgra.m_Pixels.size(); ++i)
        ASSERT_EQ(pBgra->m_Pixels[i], bgra.m_Pixels[i % 2 == 0 ? i ^ 2 : i]) << "red and blue trade places, " << i;
    bgra.m_iImageFormat = FormatRGBA8;
    WritePNG(Path("rgba.png"), bgra);
    EXPECT_EQ(Load("rgba.png")->m_Pixels, bgra.m_Pixels);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"bgra.png", "halves.exr", "red.exr", "rgba.exr", "rgba.png",
                                                   "sky.hdr"}))
        << "no temporary file stays behind";
}

TEST_F(ImageFiles, WritersFailWithPathAndReasonAndLeaveNothingBehind)
{
    const auto ExpectFailure = [](const std::function<void()>& fnWrite, const std::string& strPath,
                                  const std::string& strReason) {
        try {
            fnWrite();
            ADD_FAILURE() << "no exception for " << strPath;
        } catch (const Ondo::ExceptionFileSystem& e) {
            EXPECT_NE(std::string(e.what()).find(strPath), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(strReason), std::string::npos) << e.what();
        }
    };
    const ImageData floats = FloatImage(FormatRGBA32F, 2, 2, 4);
    ImageData bytes = MakeImage(FormatRGBA8, 2, 2, Bytes(15));
    const std::string strMissing = Path("missing/out.exr"), strPng = Path("out.png"), strExr = Path("out.exr");
    ExpectFailure([&] { WriteEXR(strMissing, floats); }, strMissing, "No such file or directory");
    ExpectFailure([&] { WritePNG(strPng, floats); }, strPng, "RGBA32F");
    ExpectFailure([&] { WriteEXR(strExr, bytes); }, strExr, "RGBA8");
    ExpectFailure([&] { WritePNG(strPng, bytes); }, strPng, "15 bytes");

    // The data is written, then the rename onto a folder fails: the temporary
    // file goes again.
    const std::string strTaken = Path("taken.png");
    fs::create_directory(strTaken);
    bytes.m_Pixels.resize(16);
    ExpectFailure([&] { WritePNG(strTaken, bytes); }, strTaken, "Is a directory");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"taken.png"}));
}

TEST_F(ImageFiles, GarbageAndTruncatedFilesGiveNothing)
{
    const Bytes garbage = Pattern(300);
    for (const char* szName : {"g.png", "g.jpg", "g.jpeg", "g.tga", "g.bmp", "g.hdr", "g.exr"}) {
        WriteBytes(szName, garbage);
        EXPECT_EQ(Load(szName), nullptr) << szName;
    }

    const Bytes rows = Pattern(16 * 16 * 3);
    const std::vector<float> floats(16 * 16 * 3, 0.75f);
    ASSERT_TRUE(stbi_write_png(Path("whole.png").c_str(), 16, 16, 3, rows.data(), 0));
    ASSERT_TRUE(stbi_write_jpg(Path("whole.jpg").c_str(), 16, 16, 3, rows.data(), 90));
    ASSERT_TRUE(stbi_write_bmp(Path("whole.bmp").c_str(), 16, 16, 3, rows.data()));
    ASSERT_TRUE(stbi_write_tga(Path("whole.tga").c_str(), 16, 16, 3, rows.data()));
    ASSERT_TRUE(stbi_write_hdr(Path("whole.hdr").c_str(), 16, 16, 3, floats.data()));
    WriteEXR(Path("whole.exr"), FloatImage(FormatRGBA32F, 16, 16, 4));
    for (const std::string strType : {"png", "jpg", "bmp", "tga", "hdr", "exr"}) {
        std::ifstream stream(Path("whole." + strType), std::ios::binary);
        const Bytes whole{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
        ASSERT_NE(Load("whole." + strType), nullptr) << strType;
        for (const std::size_t uiKeep : {std::size_t{4}, std::size_t{30}, whole.size() / 2, whole.size() - 20}) {
            WriteBytes("cut." + strType, Bytes(whole.begin(), whole.begin() + static_cast<long>(uiKeep)));
            EXPECT_EQ(Load("cut." + strType), nullptr) << strType << " cut to " << uiKeep << " bytes";
        }
    }
}

TEST(ReadTexture2D, ReadsBytesAndFloatsAndRestoresState)
{
    OndoTest::TestDevice();
    const Bytes bytes = Pattern(3 * 2 * 4);
    const std::vector<float> floats = {0.5f, -2.0f, 3.25f, 1e6f, 7.0f, -0.0625f};
    GLuint textures[2] = {};
    glGenTextures(2, textures);
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 3, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    glBindTexture(GL_TEXTURE_2D, textures[1]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, 3, 2, 0, GL_RED, GL_FLOAT, floats.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 8);

    const ImageData rgba = Ondo::OpenGL::ReadTexture2D(textures[0]);
    EXPECT_EQ(ShapeOf(rgba), Shape(FormatRGBA8, LayoutRGBA, ComponentUInt8, 4, 3, 2, true));
    EXPECT_EQ(rgba.m_Pixels, bytes);
    const ImageData red = Ondo::OpenGL::ReadTexture2D(textures[1]);
    EXPECT_EQ(ShapeOf(red), Shape(FormatR32F, LayoutR, ComponentFloat32, 4, 3, 2, true));
    for (std::size_t i = 0; i < floats.size(); ++i) EXPECT_EQ(FloatAt(red, i), floats[i]);

    GLint state[2] = {};
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &state[0]);
    glGetIntegerv(GL_PACK_ALIGNMENT, &state[1]);
    EXPECT_EQ(std::make_pair(static_cast<GLuint>(state[0]), state[1]), std::make_pair(textures[1], 8));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(2, textures);
    EXPECT_THROW(Ondo::OpenGL::ReadTexture2D(textures[0]), std::runtime_error);
}
