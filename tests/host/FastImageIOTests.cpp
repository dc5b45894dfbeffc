// The image paths made for speed: libpng against stb_image, PNG written at both settings, files decoded
// ahead, read-back through a kept pixel buffer, and the background writer's bounded queue.

#include "HostTestSupport.h"
#include "ImageFileFixture.h"
#include "support/GLTestEnvironment.h"

#include "host/GFX/BackgroundWriter.h"
#include "host/GFX/ImageIO.h"

#include "Ondo/Exceptions.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/OpenGL/Textures.h"
#include "Ondo/StringConversion.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <png.h>
#include <stb_image.h>

#include <atomic>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <stdexcept>
#include <thread>

using namespace Ondo::GFX;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using OndoTest::ImageFiles;

namespace {

const std::string s_strData = ONDO_TEST_DATA;
const std::string s_strAssets = std::string(ONDO_TEST_DATA) + "/../../examples/assets";

struct StbPicture {
    int iWidth = 0, iHeight = 0, iChannels = 0;
    bool bSixteen = false;
    Bytes pixels; // top-down rows, as stb_image gives them
};

// What stb_image makes of a file, in the file's own channels and depth.
StbPicture DecodeWithStb(const std::string& strPath)
{
    StbPicture picture;
    picture.bSixteen = stbi_is_16_bit(strPath.c_str()) != 0;
    void* pPixels = picture.bSixteen
                        ? static_cast<void*>(stbi_load_16(strPath.c_str(), &picture.iWidth, &picture.iHeight,
                                                          &picture.iChannels, 0))
                        : static_cast<void*>(
                              stbi_load(strPath.c_str(), &picture.iWidth, &picture.iHeight, &picture.iChannels, 0));
    if (!pPixels) throw std::runtime_error("stb_image cannot read " + strPath + ": " + stbi_failure_reason());
    const std::size_t uiSize = std::size_t(picture.iWidth) * picture.iHeight * picture.iChannels *
                               (picture.bSixteen ? 2 : 1);
    picture.pixels.assign(static_cast<std::uint8_t*>(pPixels), static_cast<std::uint8_t*>(pPixels) + uiSize);
    stbi_image_free(pPixels);
    return picture;
}

// The loader's image as stb_image gives it: rows top-down, the alpha added to three channels taken off.
Bytes AsStbGivesIt(const ImageData& image, int iChannels)
{
    const std::size_t uiValue = image.m_iComponentType == ComponentUInt16 ? 2 : 1;
    const std::size_t uiHeld = image.m_uiPixelSize / uiValue;
    Bytes rows;
    for (std::uint32_t y = image.m_uiHeight; y-- > 0;)
        for (std::uint32_t x = 0; x < image.m_uiWidth; ++x) {
            const std::uint8_t* pPixel = image.m_Pixels.data() + (std::size_t(y) * image.m_uiWidth + x) * image.m_uiPixelSize;
            rows.insert(rows.end(), pPixel, pPixel + uiValue * std::min<std::size_t>(uiHeld, iChannels));
        }
    return rows;
}

// A PNG written by libpng from top-down rows, for kinds no real file here has (palette, 2-bit, interlaced).
void WriteWithLibpng(const std::string& strPath, std::uint32_t uiWidth, std::uint32_t uiHeight, int iColourType,
                     int iBitDepth, bool bInterlaced, const Bytes& rows, const std::vector<png_color>& palette = {},
                     const Bytes& alphas = {}, const png_color_16* pKey = nullptr)
{
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    ASSERT_NE(pFile, nullptr);
    png_structp pPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop pInfo = png_create_info_struct(pPng);
    ASSERT_EQ(setjmp(png_jmpbuf(pPng)), 0);
    png_init_io(pPng, pFile);
    png_set_IHDR(pPng, pInfo, uiWidth, uiHeight, iBitDepth, iColourType,
                 bInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(pPng, pInfo, palette.data(), static_cast<int>(palette.size()));
    if (!alphas.empty() || pKey) png_set_tRNS(pPng, pInfo, alphas.data(), static_cast<int>(alphas.size()), pKey);
    png_write_info(pPng, pInfo);
    const std::size_t uiRowBytes = rows.size() / uiHeight;
    std::vector<png_bytep> pointers;
    for (std::uint32_t y = 0; y < uiHeight; ++y) pointers.push_back(const_cast<png_bytep>(rows.data()) + y * uiRowBytes);
    png_write_image(pPng, pointers.data());
    png_write_end(pPng, nullptr);
    png_destroy_write_struct(&pPng, &pInfo);
    std::fclose(pFile);
}

Bytes Pattern(std::size_t uiSize, unsigned int uiStep)
{
    Bytes bytes(uiSize);
    for (std::size_t i = 0; i < uiSize; ++i) bytes[i] = static_cast<std::uint8_t>(i * uiStep + i / 7);
    return bytes;
}

ImageData MakeImage(std::int32_t iFormat, std::int32_t iLayout, std::int32_t iComponent, std::uint32_t uiPixelSize,
                    std::uint32_t uiWidth, std::uint32_t uiHeight, Bytes pixels)
{
    return {iFormat, iLayout, iComponent, uiWidth, uiHeight, 1, 1, 1, uiPixelSize, std::move(pixels)};
}

} // namespace

TEST_F(ImageFiles, LibpngReadsEveryRealAndUnusualPngAsStbImageDoes)
{
    // Grey of 2 bits, a palette with some transparent entries, interlaced
    // RGB and 16-bit grey and alpha: kinds libpng must expand as stb_image does.
    const std::vector<png_color> palette = {{0, 0, 0}, {255, 0, 0}, {0, 128, 255}, {250, 250, 10}};
    Bytes indices(13 * 5);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>((i * 5 / 3) % 4);
    WriteWithLibpng(Path("palette.png"), 13, 5, PNG_COLOR_TYPE_PALETTE, 8, false, indices, palette, {255, 0, 128});
    WriteWithLibpng(Path("grey2.png"), 9, 3, PNG_COLOR_TYPE_GRAY, 2, false, Pattern(3 * 3, 37));
    WriteWithLibpng(Path("interlaced.png"), 11, 10, PNG_COLOR_TYPE_RGB, 8, true, Pattern(11 * 10 * 3, 13));
    WriteWithLibpng(Path("ga16.png"), 6, 4, PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, Pattern(6 * 4 * 4, 101));
    // RGB whose one transparent colour is given by a colour key.
    Bytes keyed = Pattern(6 * 2 * 3, 29);
    for (std::size_t p = 0; p < 12; p += 3) keyed[3 * p] = 10, keyed[3 * p + 1] = 20, keyed[3 * p + 2] = 30;
    const png_color_16 key{0, 10, 20, 30, 0};
    WriteWithLibpng(Path("keyed.png"), 6, 2, PNG_COLOR_TYPE_RGB, 8, false, keyed, {}, {}, &key);

    std::vector<std::string> files = {Path("palette.png"), Path("grey2.png"),  Path("interlaced.png"),
                                      Path("ga16.png"),    Path("keyed.png"), s_strData + "/meshes/CesiumLogoFlat.png"};
    for (const std::string& strFolder : {s_strData, s_strAssets})
        for (const auto& entry : fs::directory_iterator(strFolder))
            if (entry.path().extension() == ".png") files.push_back(entry.path().string());
    for (const std::string& strFile : files) {
        SCOPED_TRACE(strFile);
        const StbPicture expected = DecodeWithStb(strFile);
        const auto pImage = LoadPath(strFile);
        ASSERT_NE(pImage, nullptr) << LastError();
        EXPECT_EQ(pImage->m_iComponentType, expected.bSixteen ? ComponentUInt16 : ComponentUInt8);
        EXPECT_EQ(std::make_pair(int(pImage->m_uiWidth), int(pImage->m_uiHeight)),
                  std::make_pair(expected.iWidth, expected.iHeight));
        EXPECT_TRUE(AsStbGivesIt(*pImage, expected.iChannels) == expected.pixels) << "pixels differ";
    }
    EXPECT_GE(files.size(), 10u);

    // A failing checksum in the picture's data, which stb_image never looked at: libpng refuses it.
    Bytes bytes = OndoTest::FileBytes(Path("interlaced.png"));
    const auto idat = std::search(bytes.begin(), bytes.end(), std::begin("IDAT"), std::begin("IDAT") + 4);
    ASSERT_NE(idat, bytes.end());
    idat[8] ^= 0x40;
    WriteBytes("damaged.png", bytes);
    EXPECT_EQ(Load("damaged.png"), nullptr);
    EXPECT_NE(LastError().find("damaged.png could not be decoded: libpng: "), std::string::npos) << LastError();
}

TEST_F(ImageFiles, PngWrittenFastOrSmallestReadsBackThroughStbImageWithTheSamePixels)
{
    const std::uint32_t uiWidth = 37, uiHeight = 21;
    const std::size_t uiPixels = std::size_t(uiWidth) * uiHeight;
    Bytes opaque = Pattern(uiPixels * 4, 3), translucent = Pattern(uiPixels * 4, 5);
    for (std::size_t p = 0; p < uiPixels; ++p) opaque[4 * p + 3] = 255;
    const struct {
        const char* szName;
        ImageData image;
        int iFileChannels;
    } cases[] = {
        {"opaque", MakeImage(FormatRGBA8, LayoutRGBA, ComponentUInt8, 4, uiWidth, uiHeight, opaque), 3},
        {"translucent", MakeImage(FormatRGBA8, LayoutRGBA, ComponentUInt8, 4, uiWidth, uiHeight, translucent), 4},
        {"rgb", MakeImage(FormatRGB8, LayoutRGB, ComponentUInt8, 3, uiWidth, uiHeight, Pattern(uiPixels * 3, 11)), 3},
        {"grey16", MakeImage(FormatR16, LayoutGrey, ComponentUInt16, 2, uiWidth, uiHeight, Pattern(uiPixels * 2, 7)), 1},
    };
    for (const auto& testCase : cases)
        for (const PngCompression eCompression : {PngCompression::Fast, PngCompression::Smallest}) {
            const std::string strPath =
                Path(std::string(testCase.szName) + (eCompression == PngCompression::Fast ? "-fast" : "-small") + ".png");
            SCOPED_TRACE(strPath);
            WritePNG(strPath, testCase.image, eCompression);
            const StbPicture read = DecodeWithStb(strPath);
            EXPECT_EQ(read.iChannels, testCase.iFileChannels);
            EXPECT_TRUE(AsStbGivesIt(testCase.image, read.iChannels) == read.pixels) << "pixels differ";
        }

    // On a photograph the smallest setting writes no more bytes than the fast one.
    const auto pPhoto = LoadPath(s_strAssets + "/chelsea.png");
    ASSERT_NE(pPhoto, nullptr);
    WritePNG(Path("photo-fast.png"), *pPhoto, PngCompression::Fast);
    WritePNG(Path("photo-small.png"), *pPhoto, PngCompression::Smallest);
    EXPECT_LT(fs::file_size(Path("photo-small.png")), fs::file_size(Path("photo-fast.png")));
    EXPECT_TRUE(AsStbGivesIt(*pPhoto, 3) == DecodeWithStb(Path("photo-small.png")).pixels);
}

TEST_F(ImageFiles, FilesDecodedAheadGiveTheSamePictureOrTheirErrorWhenTaken)
{
    const std::string strPhoto = s_strAssets + "/chelsea.png", strGrey = s_strData + "/video-005.gray.png";
    WriteBytes("garbage.png", Bytes(100, 7));
    const auto pExpected = LoadPath(strPhoto);
    ASSERT_NE(pExpected, nullptr);
    ImageLoader& loader = ImageLoader::Get(m_Core);

    const auto Prefetch = [&](std::initializer_list<std::string> paths) {
        for (const std::string& strPath : paths) loader.Prefetch(Ondo::Utf8ToWide(strPath));
    };
    Prefetch({strPhoto, Path("garbage.png")});
    const auto pAhead = LoadPath(strPhoto);
    ASSERT_NE(pAhead, nullptr);
    EXPECT_EQ(pAhead->m_Pixels, pExpected->m_Pixels);
    EXPECT_EQ(Load("garbage.png"), nullptr);
    EXPECT_NE(LastError().find("garbage.png could not be decoded"), std::string::npos) << LastError();

    // A picture is taken once; a third file read ahead drops the oldest one
    // not taken, which is then read again when it is asked for.
    Prefetch({strPhoto, strGrey, Path("garbage.png")});
    EXPECT_EQ(LoadPath(strPhoto)->m_Pixels, pExpected->m_Pixels);
    EXPECT_EQ(LoadPath(strPhoto)->m_Pixels, pExpected->m_Pixels);
    EXPECT_NE(LoadPath(strGrey), nullptr);
}

TEST(ReadTexture2D, AKeptPixelBufferGrowsForLargerTexturesAndLeavesTheBoundPackBufferAlone)
{
    OndoTest::TestDevice();
    GLuint uiBound = 0;
    glGenBuffers(1, &uiBound);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, uiBound);
    Ondo::OpenGL::BufferObject pixelBuffer;
    for (const std::uint32_t uiSize : {3u, 17u, 5u}) {
        SCOPED_TRACE(uiSize);
        const ImageData image = MakeImage(FormatRGBA8, LayoutRGBA, ComponentUInt8, 4, uiSize, uiSize + 1,
                                          Pattern(std::size_t(uiSize) * (uiSize + 1) * 4, uiSize));
        const GLuint uiTexture = Ondo::OpenGL::LoadTexture2D(image, true, false);
        const ImageData read = Ondo::OpenGL::ReadTexture2D(uiTexture, pixelBuffer);
        glDeleteTextures(1, &uiTexture);
        EXPECT_EQ(read.m_Pixels, image.m_Pixels);
        EXPECT_NE(pixelBuffer.m_uiName, 0u);
        GLint iBinding = 0;
        glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &iBinding);
        EXPECT_EQ(static_cast<GLuint>(iBinding), uiBound);
    }
    pixelBuffer.Release();
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glDeleteBuffers(1, &uiBound);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(BackgroundWriter, QueuesNoMoreThanItsBoundKeepsEveryOutcomeInOrderAndFinishesBeforeItGoes)
{
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<int> iWritten{0};
    std::vector<BackgroundWriter::Outcome> outcomes;
    {
        BackgroundWriter writer(1, 2);
        writer.Submit("A", "a.png", [&] { gate.wait(); ++iWritten; });
        writer.Submit("B", "b.png", [] { throw Ondo::ExceptionFileSystem("Could not write b.png: disk full"); });
        // A third job waits for room: the first two are still queued.
        std::atomic<bool> bThirdQueued{false};
        std::thread third([&] {
            writer.Submit("C", "c.png", [&] { ++iWritten; });
            bThirdQueued = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(bThirdQueued) << "the queue holds two";
        EXPECT_TRUE(writer.TakeOutcomes().empty()) << "nothing finished yet";
        release.set_value();
        third.join();
        writer.Finish();
        outcomes = writer.TakeOutcomes();
        EXPECT_EQ(iWritten, 2);
        writer.Submit("D", "d.png", [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ++iWritten;
        });
    }
    EXPECT_EQ(iWritten, 3) << "the writer finished its last job before it went";
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].m_strWho + outcomes[0].m_strPath + outcomes[0].m_strError, "Aa.png");
    EXPECT_EQ(outcomes[1].m_strWho + outcomes[1].m_strPath + outcomes[1].m_strError,
              "Bb.pngCould not write b.png: disk full");
    EXPECT_EQ(outcomes[2].m_strPath, "c.png");
}
