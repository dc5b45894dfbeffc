// The image loader, the standard readers and writers, and texture read-back.

#include "support/GLTestEnvironment.h"

#include "host/GFX/ImageIO.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/StringConversion.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <tinyexr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <tuple>

using namespace Ondo::GFX;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A fresh folder per test and a core with the standard readers.
class ImageFiles : public ::testing::Test {
protected:
    ImageFiles() { fs::remove_all(m_Folder); fs::create_directories(m_Folder); RegisterStandardImageReaders(m_Core); }
    ~ImageFiles() override { fs::remove_all(m_Folder); }

    std::string Path(const std::string& strName) const { return (m_Folder / strName).string(); }
    std::unique_ptr<ImageData> Load(const std::string& strName, const ImageLoader* pLoader = nullptr)
    {
        return (pLoader ? *pLoader : ImageLoader::Get(m_Core)).Load(fs::path(Path(strName)).wstring());
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

    const fs::path m_Folder = fs::temp_directory_path() / ("ondo-image-" + std::to_string(::getpid()) + "-" +
                                                           testing::UnitTest::GetInstance()->current_test_info()->name());
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

// Bytes that differ from their neighbours, for top-down rows as files store them.
Bytes Pattern(std::size_t uiSize)
{
    Bytes bytes(uiSize);
    for (std::size_t i = 0; i < uiSize; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

// The first uiRows rows of uiRowBytes each, in reverse order: top-down file
// rows as an image holds them.
Bytes Flipped(const Bytes& rows, std::size_t uiRows, std::size_t uiRowBytes)
{
    Bytes flipped;
    for (std::size_t y = uiRows; y-- > 0;)
        flipped.insert(flipped.end(), rows.begin() + y * uiRowBytes, rows.begin() + (y + 1) * uiRowBytes);
    return flipped;
}

ImageData MakeImage(std::int32_t iFormat, std::uint32_t uiWidth, std::uint32_t uiHeight, const void* pData,
                    std::size_t uiSize)
{
    const auto* pBytes = static_cast<const std::uint8_t*>(pData);
    return {iFormat, LayoutUnknown, ComponentUnknown, uiWidth, uiHeight, 1, 1, 1, 0, Bytes(pBytes, pBytes + uiSize)};
}

std::vector<float> Floats(const ImageData& image)
{
    std::vector<float> values(image.m_Pixels.size() / sizeof(float));
    std::memcpy(values.data(), image.m_Pixels.data(), values.size() * sizeof(float));
    return values;
}

} // namespace

TEST_F(ImageFiles, LoaderLooksUpLoweredExtensionsAndReportsFilesItCannotRead)
{
    Ondo::Core core;
    ImageLoader& loader = ImageLoader::Get(core);
    std::vector<std::wstring> seen;
    const auto Recorder = [&seen](wchar_t cMark) {
        return [&seen, cMark](const std::uint8_t* pData, std::size_t uiSize, const std::wstring& strExtension) {
            seen.push_back(cMark + strExtension + L":" + std::wstring(pData, pData + uiSize));
            return std::make_unique<ImageData>();
        };
    };
    loader.RegisterReader(L"png", Recorder('p'));
    loader.RegisterReader(L"dds", Recorder('d'));
    EXPECT_EQ(loader.GetFileFilter(), L"*.dds;*.png");
    // A name without extension is looked up by its whole path, lowered.
    std::wstring strNoDot = fs::path(Path("NoExt")).wstring();
    ASSERT_EQ(strNoDot.find(L'.'), std::wstring::npos) << "the test folder's path holds a '.'";
    std::transform(strNoDot.begin(), strNoDot.end(), strNoDot.begin(), [](wchar_t c) { return std::towlower(c); });
    loader.RegisterReader(strNoDot, Recorder('n'));

    for (const char* szName : {"a.PNG", "NoExt", "b.dds", "c.xyz"}) WriteBytes(szName, {'x', 'y'});
    WriteBytes("empty.png", {});
    for (const char* szName : {"a.PNG", "b.dds", "NoExt"}) EXPECT_NE(Load(szName, &loader), nullptr) << szName;
    EXPECT_EQ(Load("c.xyz", &loader), nullptr) << "no reader under the key";
    EXPECT_EQ(Load("empty.png", &loader), nullptr) << "an empty file reaches no reader";
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"p.PNG:xy", L"d.dds:xy", L"n:xy"}));
    EXPECT_EQ(core.GetErrors(), (std::vector<std::string>{"No image reader takes " + Path("c.xyz") + " (readers: " +
                                                              Ondo::WideToUtf8(loader.GetFileFilter()) + ")",
                                                          "The image file " + Path("empty.png") + " is empty"}));
    EXPECT_THROW(Load("missing.png", &loader), Ondo::ExceptionFileMissing);
}

TEST_F(ImageFiles, ReadersGiveRealFilesBottomUpAndNothingForGarbageOrCutFiles)
{
    const Bytes rows = Pattern(5 * 3 * 4);
    const std::int32_t formats[] = {FormatR8, FormatRG8, FormatRGB8, FormatRGBA8};
    const std::int32_t layouts[] = {LayoutR, LayoutRG, LayoutRGB, LayoutRGBA};
    for (std::uint32_t c = 1; c <= 4; ++c) {
        const std::string strName = "c" + std::to_string(c) + ".png";
        ASSERT_TRUE(stbi_write_png(Path(strName).c_str(), 5, 3, static_cast<int>(c), rows.data(), 0));
        const auto pImage = Load(strName);
        ASSERT_NE(pImage, nullptr) << strName;
        EXPECT_EQ(ShapeOf(*pImage), Shape(formats[c - 1], layouts[c - 1], ComponentUInt8, c, 5, 3, true)) << strName;
        EXPECT_EQ(pImage->m_Pixels, Flipped(rows, 3, 5 * c)) << strName;
    }
    // More files through the same reader, to be cut below.
    ASSERT_TRUE(stbi_write_tga(Path("c4.tga").c_str(), 5, 3, 4, rows.data()));
    ASSERT_TRUE(stbi_write_bmp(Path("c3.bmp").c_str(), 5, 3, 3, rows.data()));
    ASSERT_TRUE(stbi_write_jpg(Path("c3.JPEG").c_str(), 16, 16, 3, Pattern(16 * 16 * 3).data(), 90));
    // Radiance keeps about 1% (nine columns make it run-length code); tinyexr's
    // own writer stores halves in B, G, R, and no alpha channel reads as 1.
    std::vector<float> hdr(9 * 2 * 3);
    for (std::size_t i = 0; i < hdr.size(); ++i) hdr[i] = 0.5f + static_cast<float>(i);
    ASSERT_TRUE(stbi_write_hdr(Path("sky.hdr").c_str(), 9, 2, 3, hdr.data()));
    ASSERT_EQ(SaveEXR(hdr.data(), 9, 2, 3, 1, Path("halves.exr").c_str(), nullptr), TINYEXR_SUCCESS);
    const auto pHdr = Load("sky.hdr"), pExr = Load("halves.exr");
    ASSERT_TRUE(pHdr && pExr);
    EXPECT_EQ(ShapeOf(*pHdr), Shape(FormatRGB32F, LayoutRGB, ComponentFloat32, 12, 9, 2, true));
    EXPECT_EQ(ShapeOf(*pExr), Shape(FormatRGBA32F, LayoutRGBA, ComponentFloat32, 16, 9, 2, true));
    for (std::size_t i = 0; i < 27; ++i) EXPECT_NEAR(Floats(*pHdr)[i], hdr[27 + i], hdr[27 + i] * 0.01f) << i;
    for (std::size_t i = 0; i < 36; ++i)
        EXPECT_NEAR(Floats(*pExr)[i], i % 4 == 3 ? 1.0f : hdr[27 + i / 4 * 3 + i % 4], 0.02f) << i;

    // Every file above cut short, and garbage under each extension.
    for (const std::string& strName : Listing()) {
        std::ifstream stream(Path(strName), std::ios::binary);
        const Bytes whole{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
        const std::string strCut = "cut" + fs::path(strName).extension().string();
        for (const std::size_t uiKeep : {std::size_t{4}, std::size_t{30}, whole.size() / 2, whole.size() - 20}) {
            WriteBytes(strCut, Bytes(whole.begin(), whole.begin() + static_cast<long>(uiKeep)));
            EXPECT_EQ(Load(strCut), nullptr) << strName << " cut to " << uiKeep << " bytes";
        }
    }
    for (const char* szName : {"g.png", "g.jpg", "g.jpeg", "g.tga", "g.bmp", "g.hdr", "g.exr"}) {
        WriteBytes(szName, Pattern(300));
        EXPECT_EQ(Load(szName), nullptr) << szName;
    }
}

TEST_F(ImageFiles, WritersConvertAndFailWithPathAndReasonLeavingNothingBehind)
{
    // (The sink's tests write RGBA bytes and floats and read them back.)
    std::vector<float> ramp(6);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = 0.125f * static_cast<float>(i) - 1.5f;
    const Bytes pattern = Pattern(48);
    const ImageData red = MakeImage(FormatR32F, 3, 2, ramp.data(), 24);
    const ImageData bgra = MakeImage(FormatBGRA8, 4, 3, pattern.data(), 48);
    WriteEXR(Path("red.exr"), red);
    WritePNG(Path("bgra.png"), bgra);
    const auto pRed = Load("red.exr"), pBgra = Load("bgra.png");
    ASSERT_TRUE(pRed && pBgra);
    for (std::size_t i = 0; i < 24; ++i)
        EXPECT_EQ(Floats(*pRed)[i], i % 4 == 0 ? ramp[i / 4] : i % 4 == 3 ? 1.0f : 0.0f) << "one channel, " << i;
    for (std::size_t i = 0; i < bgra.m_Pixels.size(); ++i)
        EXPECT_EQ(pBgra->m_Pixels[i], bgra.m_Pixels[i % 2 == 0 ? i ^ 2 : i]) << "red and blue trade places, " << i;

    // The last is written, then the rename onto a folder fails.
    fs::create_directory(Path("taken.png"));
    const ImageData bytes = MakeImage(FormatRGBA8, 2, 2, pattern.data(), 15);
    const ImageData whole = MakeImage(FormatRGBA8, 2, 2, pattern.data(), 16);
    const std::tuple<std::string, const ImageData*, std::string> failures[] = {
        {"missing/out.exr", &red, "No such file or directory"}, {"out.png", &red, "R32F"}, {"out.exr", &bytes, "RGBA8"},
        {"out.png", &bytes, "15 bytes"}, {"taken.png", &whole, "Is a directory"}};
    for (const auto& [strName, pImage, strReason] : failures) {
        std::string strError = "no exception";
        try {
            (fs::path(strName).extension() == ".png" ? WritePNG : WriteEXR)(Path(strName), *pImage);
        } catch (const Ondo::ExceptionFileSystem& e) {
            strError = e.what();
        }
        EXPECT_TRUE(strError.find(Path(strName)) != std::string::npos && strError.find(strReason) != std::string::npos)
            << strName << " should fail for " << strReason << ": " << strError;
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"bgra.png", "red.exr", "taken.png"})) << "no temporary file stays";
}

TEST(ReadTexture2D, ReadsFloatsWhateverThePackAlignmentAndRefusesNoTexture)
{
    OndoTest::TestDevice();
    const std::vector<float> floats = {0.5f, -2.0f, 3.25f, 1e6f, 7.0f, -0.0625f};
    GLuint uiTexture = 0;
    glGenTextures(1, &uiTexture);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, 3, 2, 0, GL_RED, GL_FLOAT, floats.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    const ImageData red = Ondo::OpenGL::ReadTexture2D(uiTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glDeleteTextures(1, &uiTexture);
    EXPECT_EQ(ShapeOf(red), Shape(FormatR32F, LayoutR, ComponentFloat32, 4, 3, 2, true));
    EXPECT_EQ(Floats(red), floats);
    EXPECT_THROW(Ondo::OpenGL::ReadTexture2D(uiTexture), std::runtime_error);
}
