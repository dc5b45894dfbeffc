// The image loader, the standard readers and writers, and texture read-back.

#include "HostTestSupport.h"
#include "ImageFileFixture.h"
#include "support/ClaimingPng.h"
#include "support/GLTestEnvironment.h"

#include "host/GFX/ImageIO.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/OpenGL/Textures.h"
#include "Ondo/StringConversion.h"

#include <GL/glew.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfRgbaFile.h>
#include <ImfTiledOutputFile.h>
#include <gtest/gtest.h>
#include <half.h>
#include <jpeglib.h>
#include <stb_image.h>
#include <stb_image_write.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <locale>
#include <tuple>

using namespace Ondo::GFX;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using OndoTest::Floats;
using OndoTest::ImageFiles;
using OndoTest::Pattern;

namespace {

const std::string s_strData = ONDO_TEST_DATA;

// Format, layout, component type, pixel size, width, height, and whether it is one consistent 2D level.
using Shape = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t, std::uint32_t, bool>;
Shape ShapeOf(const ImageData& image)
{
    return {image.m_iImageFormat, image.m_iChannelLayout, image.m_iComponentType, image.m_uiPixelSize, image.m_uiWidth,
            image.m_uiHeight, image.Validate().empty() && image.GetDepth() * image.GetNumFaces() * image.GetNumMipMaps() == 1};
}

ImageData MakeImage(std::int32_t iFormat, std::uint32_t uiWidth, std::uint32_t uiHeight, const void* pData,
                    std::size_t uiSize, std::int32_t iLayout = LayoutUnknown)
{
    const auto* pBytes = static_cast<const std::uint8_t*>(pData);
    return {iFormat, iLayout, ComponentUnknown, uiWidth, uiHeight, 1, 1, 1, 0, Bytes(pBytes, pBytes + uiSize)};
}

// An OpenEXR file written by the library: the named channels over a data window, scan-line or tiled;
// value(c, x, y) in file coordinates (y down).
using ExrChannels = std::vector<std::pair<const char*, Imf::PixelType>>;
void WriteExrFile(const std::string& strPath, Imf::Compression eCompression, bool bTiled, const ExrChannels& channels,
                  const Imath::Box2i& window, const std::function<float(std::size_t, int, int)>& fnValue)
{
    const int iWidth = window.max.x - window.min.x + 1, iHeight = window.max.y - window.min.y + 1;
    Imf::Header header(window, window);
    header.compression() = eCompression;
    if (bTiled) header.setTileDescription(Imf::TileDescription(4, 4, Imf::ONE_LEVEL));
    std::vector<std::vector<std::uint32_t>> planes(channels.size(), std::vector<std::uint32_t>(iWidth * iHeight));
    Imf::FrameBuffer frameBuffer;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        header.channels().insert(channels[c].first, Imf::Channel(channels[c].second));
        for (int y = 0; y < iHeight; ++y)
            for (int x = 0; x < iWidth; ++x) {
                const float fValue = fnValue(c, window.min.x + x, window.min.y + y);
                std::uint32_t& uiSlot = planes[c][y * iWidth + x];
                if (channels[c].second == Imf::UINT) uiSlot = static_cast<std::uint32_t>(fValue);
                if (channels[c].second == Imf::FLOAT) std::memcpy(&uiSlot, &fValue, 4);
                const std::uint16_t uiHalf = half(fValue).bits();
                if (channels[c].second == Imf::HALF) std::memcpy(&uiSlot, &uiHalf, 2);
            }
        frameBuffer.insert(channels[c].first, Imf::Slice::Make(channels[c].second, planes[c].data(), window, 4,
                                                               4 * static_cast<std::size_t>(iWidth)));
    }
    if (bTiled) {
        Imf::TiledOutputFile file(strPath.c_str(), header);
        file.setFrameBuffer(frameBuffer);
        file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
    } else {
        Imf::OutputFile file(strPath.c_str(), header);
        file.setFrameBuffer(frameBuffer);
        file.writePixels(iHeight);
    }
}

} // namespace

TEST_F(ImageFiles, LoaderLooksUpLoweredExtensionsTakesAnyNameAndReportsWhyItGotNoImage)
{
    // Non-ASCII names must not depend on the locale.
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
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
    std::wstring strNoDot = Ondo::Utf8ToWide(Path("NoExt"));
    ASSERT_EQ(strNoDot.find(L'.'), std::wstring::npos) << "the test folder's path holds a '.'";
    std::transform(strNoDot.begin(), strNoDot.end(), strNoDot.begin(), [](wchar_t c) { return std::towlower(c); });
    loader.RegisterReader(strNoDot, Recorder('n'));
    // A reader that says why it cannot decode, and one that gives three channels.
    loader.RegisterReader(L"bad", [](const std::uint8_t*, std::size_t, const std::wstring&) -> std::unique_ptr<ImageData> {
        throw Ondo::ExceptionParsing("no header");
    });
    loader.RegisterReader(L"rgb", [](const std::uint8_t* pData, std::size_t, const std::wstring&) {
        return std::make_unique<ImageData>(MakeImage(FormatRGB8, 1, 2, pData, 6, LayoutRGB));
    });

    for (const char* szName : {"a.PNG", "NoExt", "b.dds", "c.xyz", "caf\xC3\xA9.png", "\xE7\x8C\xAB.PNG", "d.bad"})
        WriteBytes(szName, {'x', 'y'});
    WriteBytes("empty.png", {});
    WriteBytes("six.rgb", {1, 2, 3, 4, 5, 6});
    for (const char* szName : {"a.PNG", "b.dds", "NoExt", "caf\xC3\xA9.png", "\xE7\x8C\xAB.PNG"})
        EXPECT_NE(Load(szName, &loader), nullptr) << szName;
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"p.PNG:xy", L"d.dds:xy", L"n:xy", L"p.png:xy", L"p.PNG:xy"}));
    const auto pRGB = Load("six.rgb", &loader);
    ASSERT_NE(pRGB, nullptr);
    EXPECT_EQ(std::make_tuple(pRGB->m_iImageFormat, pRGB->m_iChannelLayout, pRGB->m_uiPixelSize, pRGB->m_Pixels),
              std::make_tuple(FormatRGBA8, LayoutRGBA, 4u, Bytes{1, 2, 3, 255, 4, 5, 6, 255}))
        << "three channels come with an opaque alpha";

    for (const char* szName : {"c.xyz", "empty.png", "d.bad"}) EXPECT_EQ(Load(szName, &loader), nullptr) << szName;
    EXPECT_EQ(core.GetErrors(),
              (std::vector<std::string>{"No image reader takes " + Path("c.xyz") +
                                            " (readers: " + Ondo::WideToUtf8(loader.GetFileFilter()) + ")",
                                        "The image file " + Path("empty.png") + " is empty",
                                        "The image file " + Path("d.bad") + " could not be decoded: no header"}));
    EXPECT_THROW(Load("missing.png", &loader), Ondo::ExceptionFileMissing);
}

TEST_F(ImageFiles, RealPicturesKeepDepthAndGreynessThroughTextureAndBackToPNG)
{
    OndoTest::TestDevice();
    // Against stb_image's decoding, top-down, with the alpha the loader adds; JPEG is decoded by libjpeg-turbo,
    // which rounds the transform and colour conversion its own way, by up to two levels here.
    const std::tuple<const char*, std::int32_t, std::int32_t, int, bool, int> files[] = {
        {"video-005.gray.png", FormatR8, LayoutGrey, 1, false, 0},
        {"basn0g16.png", FormatR16, LayoutGrey, 1, true, 0},
        {"basn4a08.png", FormatRG8, LayoutGreyAlpha, 2, false, 0},
        {"basn4a16.png", FormatRG16, LayoutGreyAlpha, 2, true, 0},
        {"video-001.jpeg", FormatRGBA8, LayoutRGBA, 4, false, 3},
    };
    for (const auto& [szName, iFormat, iLayout, iChannels, bSixteen, iTolerance] : files) {
        SCOPED_TRACE(szName);
        const std::string strPath = s_strData + "/" + szName;
        const auto pImage = LoadPath(strPath);
        ASSERT_NE(pImage, nullptr) << LastError();
        int iWidth = 0, iHeight = 0, iInFile = 0;
        void* pReference =
            bSixteen ? static_cast<void*>(stbi_load_16(strPath.c_str(), &iWidth, &iHeight, &iInFile, iChannels))
                     : static_cast<void*>(stbi_load(strPath.c_str(), &iWidth, &iHeight, &iInFile, iChannels));
        ASSERT_NE(pReference, nullptr);
        const std::size_t uiPixelSize = static_cast<std::size_t>(iChannels) * (bSixteen ? 2 : 1);
        EXPECT_EQ(ShapeOf(*pImage), Shape(iFormat, iLayout, bSixteen ? ComponentUInt16 : ComponentUInt8,
                                          static_cast<std::uint32_t>(uiPixelSize), iWidth, iHeight, true));
        const auto* pBytes = static_cast<std::uint8_t*>(pReference);
        const Bytes reference = OndoTest::RowsReversed(Bytes(pBytes, pBytes + uiPixelSize * iWidth * iHeight),
                                                       uiPixelSize * static_cast<std::size_t>(iWidth), iHeight);
        ASSERT_EQ(pImage->m_Pixels.size(), reference.size());
        int iWorst = 0;
        double dSum = 0;
        for (std::size_t i = 0; i < reference.size(); ++i) {
            iWorst = std::max(iWorst, std::abs(pImage->m_Pixels[i] - reference[i]));
            dSum += std::abs(pImage->m_Pixels[i] - reference[i]);
        }
        EXPECT_LE(iWorst, iTolerance) << "0: the same bytes";
        EXPECT_LT(dSum / static_cast<double>(reference.size()), 1.0);
        stbi_image_free(pReference);

        // Uploaded, read back and saved as PNG, the picture comes back the same.
        const GLuint uiTexture = Ondo::OpenGL::LoadTexture2D(*pImage, false, false);
        const ImageData readBack = Ondo::OpenGL::ReadTexture2D(uiTexture);
        glDeleteTextures(1, &uiTexture);
        EXPECT_EQ(std::tie(readBack.m_iImageFormat, readBack.m_iChannelLayout, readBack.m_Pixels),
                  std::tie(pImage->m_iImageFormat, pImage->m_iChannelLayout, pImage->m_Pixels));
        WritePNG(Path("saved.png"), readBack);
        const auto pSaved = Load("saved.png");
        ASSERT_NE(pSaved, nullptr);
        EXPECT_EQ(ShapeOf(*pSaved), ShapeOf(*pImage));
        EXPECT_EQ(pSaved->m_Pixels, pImage->m_Pixels);
    }
}

TEST_F(ImageFiles, OpenEXRReadsRealFilesEveryCompressionTilingChannelTypeAndLayout)
{
    // Real files, DWAB and uncompressed, against the library's own RGBA reading.
    for (const char* szName : {"basic_dark.exr", "python.exr"}) {
        SCOPED_TRACE(szName);
        const auto pImage = LoadPath(s_strData + "/" + szName);
        ASSERT_NE(pImage, nullptr) << LastError();
        Imf::RgbaInputFile reference((s_strData + "/" + szName).c_str());
        const Imath::Box2i window = reference.dataWindow();
        const int iWidth = window.max.x - window.min.x + 1, iHeight = window.max.y - window.min.y + 1;
        std::vector<Imf::Rgba> pixels(static_cast<std::size_t>(iWidth * iHeight));
        reference.setFrameBuffer(pixels.data() - window.min.x - window.min.y * iWidth, 1, iWidth);
        reference.readPixels(window.min.y, window.max.y);
        EXPECT_EQ(ShapeOf(*pImage), Shape(FormatRGBA32F, LayoutRGBA, ComponentFloat32, 16, iWidth, iHeight, true));
        const std::vector<float> values = Floats(*pImage);
        std::size_t uiDifferent = 0;
        for (int y = 0; y < iHeight; ++y)
            for (int x = 0; x < iWidth; ++x) {
                const Imf::Rgba& rgba = pixels[static_cast<std::size_t>((iHeight - 1 - y) * iWidth + x)];
                const float* pOurs = &values[static_cast<std::size_t>(y * iWidth + x) * 4];
                uiDifferent += pOurs[0] != rgba.r || pOurs[1] != rgba.g || pOurs[2] != rgba.b || pOurs[3] != rgba.a;
            }
        EXPECT_EQ(uiDifferent, 0u);
    }

    // Every compression, scan-line and tiled, half/float/uint channels over a window not starting at 0; the
    // lossy ones (B44 on halves, DWA on colours) stay close.
    const Imath::Box2i window({3, -2}, {15, 4});
    const auto Value = [](std::size_t c, int x, int y) {
        return c == 0 ? 0.25f * x : c == 1 ? y + 2.5f : c == 2 ? static_cast<float>(x + y + 2) : 0.5f + 0.125f * (x % 4);
    };
    const ExrChannels rgba = {{"R", Imf::HALF}, {"G", Imf::FLOAT}, {"B", Imf::UINT}, {"A", Imf::HALF}};
    for (int iCompression = Imf::NO_COMPRESSION; iCompression < Imf::NUM_COMPRESSION_METHODS; ++iCompression)
        for (const bool bTiled : {false, true}) {
            const auto eCompression = static_cast<Imf::Compression>(iCompression);
            const bool bLossy = eCompression == Imf::B44_COMPRESSION || eCompression == Imf::B44A_COMPRESSION ||
                                eCompression == Imf::DWAA_COMPRESSION || eCompression == Imf::DWAB_COMPRESSION;
            SCOPED_TRACE("compression " + std::to_string(iCompression) + (bTiled ? ", tiled" : ""));
            WriteExrFile(Path("c.exr"), eCompression, bTiled, rgba, window, Value);
            const auto pImage = Load("c.exr");
            ASSERT_NE(pImage, nullptr) << LastError();
            ASSERT_EQ(ShapeOf(*pImage), Shape(FormatRGBA32F, LayoutRGBA, ComponentFloat32, 16, 13, 7, true));
            const std::vector<float> values = Floats(*pImage);
            for (std::size_t i = 0; i < values.size(); ++i) {
                const float fExpected =
                    Value(i % 4, 3 + static_cast<int>(i / 4 % 13), 4 - static_cast<int>(i / 4 / 13));
                ASSERT_NEAR(values[i], fExpected, bLossy ? 0.05f + 0.02f * fExpected : 0.0f) << "value " << i;
            }
        }

    // Luminance (with alpha) is grey, Z is depth, missing colours 0 and alpha 1; multi-part gives the first part.
    const Imath::Box2i small({0, 0}, {2, 1});
    const auto Ramp = [](std::size_t c, int x, int y) { return 0.5f + x + 3.0f * y + 10.0f * c; };
    const std::tuple<ExrChannels, std::int32_t, std::int32_t, std::vector<float>> layouts[] = {
        {{{"Y", Imf::FLOAT}}, FormatR32F, LayoutGrey, {3.5f, 4.5f, 5.5f, 0.5f, 1.5f, 2.5f}},
        {{{"A", Imf::HALF}, {"Y", Imf::HALF}}, FormatRG32F, LayoutGreyAlpha, {13.5f, 3.5f, 14.5f, 4.5f, 15.5f, 5.5f}},
        {{{"Z", Imf::FLOAT}}, FormatR32F, LayoutDepth, {3.5f, 4.5f, 5.5f, 0.5f, 1.5f, 2.5f}},
        {{{"G", Imf::FLOAT}}, FormatRGBA32F, LayoutRGBA, {0, 3.5f, 0, 1, 0, 4.5f, 0, 1, 0, 5.5f, 0, 1}},
    };
    for (const auto& [channels, iFormat, iLayout, firstRow] : layouts) {
        SCOPED_TRACE(channels[0].first);
        WriteExrFile(Path("l.exr"), Imf::ZIP_COMPRESSION, false, channels, small, Ramp);
        const auto pImage = Load("l.exr");
        ASSERT_NE(pImage, nullptr) << LastError();
        EXPECT_EQ(std::tie(pImage->m_iImageFormat, pImage->m_iChannelLayout), std::tie(iFormat, iLayout));
        const std::vector<float> values = Floats(*pImage);
        EXPECT_EQ(std::vector<float>(values.begin(), values.begin() + static_cast<long>(firstRow.size())), firstRow);
    }
    {
        std::vector<Imf::Header> headers(2, Imf::Header(small, small));
        headers[0].channels().insert("Y", Imf::Channel(Imf::FLOAT));
        headers[1].channels().insert("R", Imf::Channel(Imf::FLOAT));
        headers[0].setName("grey"), headers[1].setName("colour");
        headers[0].setType(Imf::SCANLINEIMAGE), headers[1].setType(Imf::SCANLINEIMAGE);
        std::vector<float> grey(6, 0.75f), red(6, 2.0f);
        Imf::MultiPartOutputFile file(Path("parts.exr").c_str(), headers.data(), 2);
        for (int iPart = 0; iPart < 2; ++iPart) {
            Imf::OutputPart part(file, iPart);
            Imf::FrameBuffer frameBuffer;
            frameBuffer.insert(iPart ? "R" : "Y",
                               Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>((iPart ? red : grey).data()), 4, 12));
            part.setFrameBuffer(frameBuffer);
            part.writePixels(2);
        }
    }
    const auto pFirstPart = Load("parts.exr");
    ASSERT_NE(pFirstPart, nullptr) << LastError();
    EXPECT_EQ(std::make_tuple(pFirstPart->m_iImageFormat, Floats(*pFirstPart)),
              std::make_tuple(FormatR32F, std::vector<float>(6, 0.75f)));

    // Files it cannot read say why.
    WriteExrFile(Path("unnamed.exr"), Imf::ZIP_COMPRESSION, false, {{"U", Imf::FLOAT}, {"V", Imf::FLOAT}}, small, Ramp);
    const Bytes dwab = OndoTest::FileBytes(s_strData + "/basic_dark.exr");
    WriteBytes("cut.exr", Bytes(dwab.begin(), dwab.end() - 100));
    WriteBytes("noise.exr", Pattern(300));
    for (const auto& [szName, strReason] :
         {std::pair<const char*, std::string>{"unnamed.exr", "no colour (R, G, B), luminance (Y) or depth (Z) channel "
                                                             "among: U, V"},
          {"cut.exr", "OpenEXR: Error reading pixel data: the file ends early"}, {"noise.exr", "OpenEXR: "}}) {
        EXPECT_EQ(Load(szName), nullptr);
        const std::string strExpected = "The image file " + Path(szName) + " could not be decoded: " + strReason;
        EXPECT_EQ(LastError().substr(0, std::string(szName) == "noise.exr" ? strExpected.size() : std::string::npos),
                  strExpected);
    }
}

TEST_F(ImageFiles, ReadersGiveNothingForGarbageOrCutFilesAndSayWhy)
{
    const Bytes rows = Pattern(5 * 3 * 4);
    ASSERT_TRUE(stbi_write_png(Path("c4.png").c_str(), 5, 3, 4, rows.data(), 0));
    ASSERT_TRUE(stbi_write_tga(Path("c4.tga").c_str(), 5, 3, 4, rows.data()));
    ASSERT_TRUE(stbi_write_bmp(Path("c3.bmp").c_str(), 5, 3, 3, rows.data()));
    fs::copy_file(s_strData + "/video-001.jpeg", Path("photo.JPEG"));
    fs::copy_file(s_strData + "/basic_dark.exr", Path("dwab.exr"));
    // Radiance keeps about 1% (nine columns make it run-length code).
    std::vector<float> hdr(9 * 2 * 3);
    for (std::size_t i = 0; i < hdr.size(); ++i) hdr[i] = 0.5f + static_cast<float>(i);
    ASSERT_TRUE(stbi_write_hdr(Path("sky.hdr").c_str(), 9, 2, 3, hdr.data()));
    const auto pHdr = Load("sky.hdr");
    ASSERT_NE(pHdr, nullptr);
    EXPECT_EQ(ShapeOf(*pHdr), Shape(FormatRGBA32F, LayoutRGBA, ComponentFloat32, 16, 9, 2, true));
    for (std::size_t i = 0; i < 36; ++i) {
        const float fExpected = i % 4 == 3 ? 1.0f : hdr[27 + i / 4 * 3 + i % 4];
        EXPECT_NEAR(Floats(*pHdr)[i], fExpected, fExpected * 0.01f) << i;
    }

    // Every file above cut short, and garbage under each extension: no image, a message with the reason.
    for (const std::string& strName : Listing()) {
        const std::string whole = OndoTest::ReadFile(Path(strName));
        const std::string strCut = "cut" + fs::path(strName).extension().string();
        for (const std::size_t uiKeep : {std::size_t{4}, std::size_t{30}, whole.size() / 2, whole.size() - 20}) {
            WriteBytes(strCut, Bytes(whole.begin(), whole.begin() + static_cast<long>(uiKeep)));
            EXPECT_EQ(Load(strCut), nullptr) << strName << " cut to " << uiKeep << " bytes";
            EXPECT_EQ(LastError().rfind("The image file " + Path(strCut) + " could not be decoded: ", 0), 0u)
                << LastError();
        }
    }
    const std::pair<const char*, const char*> garbage[] = {
        {"g.png", "stb_image: "}, {"g.jpg", "stb_image: "}, {"g.tga", "stb_image: "}, {"g.bmp", "stb_image: "},
        {"g.hdr", "no Radiance header"}, {"g.exr", "OpenEXR: "}, {"hdr.png", "the content is no PNG, JPEG, TGA or BMP"}};
    for (const auto& [szName, szReason] : garbage) {
        WriteBytes(szName, std::string(szName) == "hdr.png"
                               ? Bytes{'#', '?', 'R', 'A', 'D', 'I', 'A', 'N', 'C', 'E', '\n'}
                               : Pattern(300));
        EXPECT_EQ(Load(szName), nullptr) << szName;
        EXPECT_NE(LastError().find(std::string(": ") + szReason), std::string::npos) << LastError();
    }

    // XML nested 60000 deep, 180 KB, would exhaust the parser's stack.
    std::string strDeep = "<?xml version=\"1.0\"?>\n<VTKFile type=\"ImageData\">\n";
    for (int i = 0; i < 60000; ++i) strDeep += "<a>";
    WriteText("deep.vti", strDeep);
    EXPECT_EQ(Load("deep.vti"), nullptr);
    EXPECT_NE(LastError().find("deep.vti could not be decoded: its XML nests elements more than 64 deep"),
              std::string::npos)
        << LastError();
}

namespace {

// A JPEG of one colour by libjpeg: CMYK with Adobe's marker for four components, else RGB; progressive
// with the scans given.
std::string EncodeJPEG(std::uint32_t uiWidth, std::uint32_t uiHeight, const std::vector<std::uint8_t>& colour,
                       const std::vector<jpeg_scan_info>& scans = {})
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* pBuffer = nullptr;
    unsigned long ulSize = 0;
    jpeg_mem_dest(&info, &pBuffer, &ulSize);
    info.image_width = uiWidth;
    info.image_height = uiHeight;
    info.input_components = static_cast<int>(colour.size());
    info.in_color_space = colour.size() == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    if (!scans.empty()) {
        info.scan_info = scans.data();
        info.num_scans = static_cast<int>(scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row;
    for (std::uint32_t x = 0; x < uiWidth; ++x) row.insert(row.end(), colour.begin(), colour.end());
    while (info.next_scanline < uiHeight) {
        JSAMPROW pRow = row.data();
        jpeg_write_scanlines(&info, &pRow, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string strFile(reinterpret_cast<const char*>(pBuffer), ulSize);
    std::free(pBuffer);
    return strFile;
}

} // namespace

TEST_F(ImageFiles, JPEGFilesComeFromLibjpegPrintColoursAsRGBAndUntrustworthyFilesAreRefused)
{
    // Inks stored inverted: no cyan, half magenta, full yellow, no black is orange; half the light under black.
    for (const auto& [uiBlack, uiGreen] : {std::make_pair(255, 128), std::make_pair(128, 64)}) {
        WriteText("print.jpg", EncodeJPEG(16, 8, {255, 128, 0, static_cast<std::uint8_t>(uiBlack)}));
        const auto pPrint = Load("print.jpg");
        ASSERT_NE(pPrint, nullptr) << LastError();
        EXPECT_EQ(ShapeOf(*pPrint), Shape(FormatRGBA8, LayoutRGBA, ComponentUInt8, 4, 16, 8, true));
        for (std::size_t i = 0; i < pPrint->m_Pixels.size(); i += 4) {
            EXPECT_NEAR(pPrint->m_Pixels[i], uiBlack, 2) << i;
            EXPECT_NEAR(pPrint->m_Pixels[i + 1], uiGreen, 2) << i;
            EXPECT_NEAR(pPrint->m_Pixels[i + 2], 0, 2) << i;
        }
    }

    // Huffman tables the file never defines: stb_image took them from uninitialised memory.
    std::string strPhoto = OndoTest::ReadFile(s_strData + "/video-001.jpeg");
    const std::size_t uiScan = strPhoto.find("\xFF\xDA");
    ASSERT_NE(uiScan, std::string::npos);
    strPhoto[uiScan + 10] = '\x33'; // the third component's tables
    WriteText("undefined.jpg", strPhoto);
    EXPECT_EQ(Load("undefined.jpg"), nullptr);
    EXPECT_NE(LastError().find("could not be decoded: libjpeg: Huffman table 0x03 was not defined"), std::string::npos)
        << LastError();

    // Every coefficient of every component bit by bit: valid, but each scan is a pass over the picture.
    std::vector<jpeg_scan_info> scans;
    scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 10});
    for (int iBit = 9; iBit >= 0; --iBit) scans.push_back({3, {0, 1, 2, 0}, 0, 0, iBit + 1, iBit});
    for (int iComponent = 0; iComponent < 3; ++iComponent)
        for (int k = 1; k < 64; ++k) {
            scans.push_back({1, {iComponent, 0, 0, 0}, k, k, 0, 10});
            for (int iBit = 9; iBit >= 0; --iBit) scans.push_back({1, {iComponent, 0, 0, 0}, k, k, iBit + 1, iBit});
        }
    ASSERT_GT(scans.size(), 1000u);
    WriteText("scans.jpg", EncodeJPEG(8, 8, {10, 200, 30}, scans));
    EXPECT_EQ(Load("scans.jpg"), nullptr);
    EXPECT_NE(LastError().find("could not be decoded: libjpeg: more than 1000 scans"), std::string::npos)
        << LastError();
    scans.resize(900);
    WriteText("progressive.jpg", EncodeJPEG(8, 8, {10, 200, 30}, scans));
    EXPECT_NE(Load("progressive.jpg"), nullptr) << LastError();
}

TEST_F(ImageFiles, WritersNameGreyAndDepthChannelsConvertAndFailWithPathAndReason)
{
    // OpenEXR: one channel is Y, grey+alpha Y and A, depth Z, RG stays R and G; ZIP; halves stay halves, the
    // rest float (sRGB made linear). The first row read back is the bottom one.
    const std::vector<float> ramp = {0.0f, 0.125f, 0.25f, 0.375f, 0.5f, 0.625f};
    const std::uint16_t depth[] = {0, 65535, 32768, 1, 2, 3};
    const Bytes grey = {0, 51, 102, 153, 204, 255, 10, 20, 30, 40, 50, 60};
    const std::uint16_t halves[] = {0x3C00, 0x4000, 0x3800, 0xC000};
    const std::uint8_t srgb[] = {0, 188, 255, 128};
    const std::tuple<const char*, ImageData, std::vector<std::string>, Imf::PixelType, std::vector<float>> exrs[] = {
        {"r", MakeImage(FormatR32F, 3, 2, ramp.data(), 24), {"Y"}, Imf::FLOAT, {0.0f, 0.125f, 0.25f}},
        {"ya", MakeImage(FormatRG8, 3, 2, grey.data(), 12, LayoutGreyAlpha), {"A", "Y"}, Imf::FLOAT,
         {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f}},
        {"z", MakeImage(FormatDepth16, 3, 2, depth, 12), {"Z"}, Imf::FLOAT, {0.0f, 1.0f, 0.50000763f}},
        {"rg", MakeImage(FormatRG16F, 2, 1, halves, 8), {"G", "R"}, Imf::HALF,
         {1.0f, 2.0f, 0.0f, 1.0f, 0.5f, -2.0f, 0.0f, 1.0f}},
        {"srgb", MakeImage(FormatSRGB8A8, 1, 1, srgb, 4), {"A", "B", "G", "R"}, Imf::FLOAT,
         {0.0f, 0.50288646f, 1.0f, 128 / 255.0f}},
    };
    for (const auto& [szName, image, names, eType, firstRow] : exrs) {
        SCOPED_TRACE(szName);
        const std::string strPath = Path(std::string(szName) + ".exr");
        WriteEXR(strPath, image);
        Imf::InputFile file(strPath.c_str());
        std::vector<std::string> written;
        for (auto it = file.header().channels().begin(); it != file.header().channels().end(); ++it) {
            written.push_back(it.name());
            EXPECT_EQ(it.channel().type, eType) << it.name();
        }
        EXPECT_EQ(written, names);
        EXPECT_EQ(file.header().compression(), Imf::ZIP_COMPRESSION);
        const auto pRead = LoadPath(strPath);
        ASSERT_NE(pRead, nullptr) << LastError();
        const std::vector<float> values = Floats(*pRead);
        for (std::size_t i = 0; i < firstRow.size(); ++i) EXPECT_NEAR(values[i], firstRow[i], 1e-6f) << i;
    }

    // PNG: BGR(A) put in RGB order, RG gets blue 0, 16-bit grey stays 16-bit (read back by stb_image).
    const Bytes pattern = Pattern(48);
    const std::uint16_t shorts[] = {1, 256, 65535, 4660};
    WritePNG(Path("bgra.png"), MakeImage(FormatBGRA8, 4, 3, pattern.data(), 48));
    WritePNG(Path("rg.png"), MakeImage(FormatRG8, 1, 2, pattern.data(), 4, LayoutRG));
    WritePNG(Path("grey16.png"), MakeImage(FormatR16, 2, 2, shorts, 8));
    const auto pBgra = Load("bgra.png"), pRG = Load("rg.png");
    ASSERT_TRUE(pBgra && pRG);
    for (std::size_t i = 0; i < 48; ++i)
        EXPECT_EQ(pBgra->m_Pixels[i], pattern[i % 2 == 0 ? i ^ 2 : i]) << "red and blue trade places, " << i;
    EXPECT_EQ(pRG->m_Pixels, (Bytes{pattern[0], pattern[1], 0, 255, pattern[2], pattern[3], 0, 255}));
    int iWidth = 0, iHeight = 0, iChannels = 0;
    stbi_us* pGrey16 = stbi_load_16(Path("grey16.png").c_str(), &iWidth, &iHeight, &iChannels, 0);
    ASSERT_NE(pGrey16, nullptr);
    EXPECT_EQ(std::vector<std::uint16_t>(pGrey16, pGrey16 + 4), (std::vector<std::uint16_t>{65535, 4660, 1, 256}));
    EXPECT_EQ(iChannels, 1);
    stbi_image_free(pGrey16);

    // The last is written, then the rename onto a folder fails.
    fs::create_directory(Path("taken.png"));
    const ImageData red = MakeImage(FormatR32F, 3, 2, ramp.data(), 24);
    const ImageData bytes = MakeImage(FormatRGBA8, 2, 2, pattern.data(), 15);
    const ImageData whole = MakeImage(FormatRGBA8, 2, 2, pattern.data(), 16);
    const ImageData integers = MakeImage(FormatR32UI, 2, 2, pattern.data(), 16);
    const std::tuple<std::string, const ImageData*, std::string> failures[] = {
        {"missing/out.exr", &red, "No such file or directory"},
        {"out.png", &red, "R32F"},
        {"out.exr", &integers, "R32UI"},
        {"out.png", &bytes, "15 bytes"},
        {"taken.png", &whole, "Is a directory"}};
    for (const auto& [strName, pImage, strReason] : failures) {
        const std::string strError = OndoTest::Thrown<Ondo::ExceptionFileSystem>(
            [&] {
                if (fs::path(strName).extension() == ".png")
                    WritePNG(Path(strName), *pImage);
                else
                    WriteEXR(Path(strName), *pImage);
            });
        EXPECT_TRUE(strError.find(Path(strName)) != std::string::npos && strError.find(strReason) != std::string::npos)
            << strName << " should fail for " << strReason << ": " << strError;
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"bgra.png", "grey16.png", "r.exr", "rg.exr", "rg.png", "srgb.exr",
                                                   "taken.png", "ya.exr", "z.exr"}))
        << "no temporary file stays";
}

TEST(ReadTexture2D, ReadsFloatsShortsAndGreyOrDepthLayoutsWhateverThePackAlignmentAndRefusesNoTexture)
{
    OndoTest::TestDevice();
    const std::vector<float> floats = {0.5f, -2.0f, 3.25f, 1e6f, 7.0f, -0.0625f};
    const std::vector<float> depths = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 0.125f};
    const std::uint16_t shorts[] = {1, 2, 65535, 4, 5, 6};
    // Internal format, transfer format and type, texels, grey swizzle, and the image it reads back as (3 wide).
    const std::tuple<GLenum, GLenum, GLenum, const void*, bool, Shape> textures[] = {
        {GL_R32F, GL_RED, GL_FLOAT, floats.data(), false, {FormatR32F, LayoutR, ComponentFloat32, 4, 3, 2, true}},
        {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, shorts, false, {FormatRG16, LayoutRG, ComponentUInt16, 4, 3, 1, true}},
        {GL_R16, GL_RED, GL_UNSIGNED_SHORT, shorts, true, {FormatR16, LayoutGrey, ComponentUInt16, 2, 3, 2, true}},
        {GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data(), false,
         {FormatR32F, LayoutDepth, ComponentFloat32, 4, 3, 2, true}},
    };
    for (const auto& [eInternal, eFormat, eType, pData, bGrey, shape] : textures) {
        SCOPED_TRACE(std::get<0>(shape));
        GLuint uiTexture = 0;
        glGenTextures(1, &uiTexture);
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(eInternal), 3, static_cast<GLsizei>(std::get<5>(shape)), 0,
                     eFormat, eType, pData);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        if (bGrey) Ondo::OpenGL::SetSwizzleForLayout(GL_TEXTURE_2D, uiTexture, LayoutGrey);
        glPixelStorei(GL_PACK_ALIGNMENT, 8);
        const ImageData image = Ondo::OpenGL::ReadTexture2D(uiTexture);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glDeleteTextures(1, &uiTexture);
        EXPECT_EQ(ShapeOf(image), shape);
        const auto* pBytes = static_cast<const std::uint8_t*>(pData);
        EXPECT_EQ(image.m_Pixels, Bytes(pBytes, pBytes + image.m_Pixels.size()));
        EXPECT_THROW(Ondo::OpenGL::ReadTexture2D(uiTexture), std::runtime_error);
    }
}

TEST_F(ImageFiles, ClaimsBeyondTheImageLimitsAreRefusedFromTheHeader)
{
    // A picture of each reader, 6 x 4 pixels.
    const Bytes rgba = Pattern(6 * 4 * 4);
    ASSERT_TRUE(stbi_write_png(Path("p.png").c_str(), 6, 4, 4, rgba.data(), 0));
    ASSERT_TRUE(stbi_write_jpg(Path("p.jpg").c_str(), 6, 4, 3, rgba.data(), 90));
    ASSERT_TRUE(stbi_write_tga(Path("p.tga").c_str(), 6, 4, 4, rgba.data()));
    ASSERT_TRUE(stbi_write_bmp(Path("p.bmp").c_str(), 6, 4, 3, rgba.data()));
    const std::vector<float> floats(6 * 4 * 3, 0.5f);
    ASSERT_TRUE(stbi_write_hdr(Path("p.hdr").c_str(), 6, 4, 3, floats.data()));
    WriteEXR(Path("p.exr"), MakeImage(FormatRGBA32F, 6, 4, std::vector<float>(96, 0.25f).data(), 384));
    std::ofstream(Path("p.mha")) << "NDims = 3\nDimSize = 6 4 2\nElementType = MET_UCHAR\nElementDataFile = LOCAL\n"
                                 << std::string(48, 'v');
    const std::vector<std::string> names = {"p.png", "p.jpg", "p.tga", "p.bmp", "p.hdr", "p.exr", "p.mha"};

    // 24 pixels are one too many; with room for them, 6 x 4 RGBA floats (a volume's 48 bytes) too many bytes.
    ImageLoader& loader = ImageLoader::Get(m_Core);
    for (const auto& [uiPixels, uiBytes, szRaise] :
         {std::make_tuple(23u, 1u << 20, "image-pixels"), std::make_tuple(24u, 47u, "image-bytes")}) {
        loader.SetLimits({uiPixels, uiBytes});
        for (const std::string& strName : names) {
            EXPECT_EQ(Load(strName), nullptr) << strName;
            EXPECT_NE(LastError().find(std::string("(raise it with --limit ") + szRaise + "=N)"), std::string::npos)
                << strName << ": " << LastError();
        }
    }
    loader.SetLimits({24u, 384u});
    for (const std::string& strName : names) EXPECT_NE(Load(strName), nullptr) << strName << ": " << LastError();

    // Defaults: a 1 MB PNG claiming 16384 x 16384 pixels is refused from its header, and an OpenEXR data window
    // or chunk table its file cannot hold before the library allocates for them.
    loader.SetLimits(ImageLimits());
    const std::string strBomb = OndoTest::ClaimingPng(16384);
    WriteText("bomb.png", strBomb);
    EXPECT_LT(fs::file_size(Path("bomb.png")), 2u << 20);
    EXPECT_EQ(Load("bomb.png"), nullptr);
    EXPECT_NE(LastError().find("it claims 16384 x 16384 pixels (268435456), more than the limit of 134217728"),
              std::string::npos)
        << LastError();
    const std::string strExr = OndoTest::ReadFile(Path("p.exr"));
    for (const auto& [iMaxX, iMaxY, szReason] : {std::make_tuple(99999, 99999, "it claims 100000 x 100000 pixels"),
                                                 std::make_tuple(5, 8000000, "the file ends before its table of")}) {
        std::string strClaim = strExr;
        const std::size_t uiAt = strClaim.find("dataWindow");
        ASSERT_NE(uiAt, std::string::npos);
        const std::int32_t box[4] = {0, 0, iMaxX, iMaxY};
        std::memcpy(&strClaim[uiAt + std::strlen("dataWindow") + std::strlen("box2i") + 2 + 4], box, sizeof(box));
        WriteText("claim.exr", strClaim);
        EXPECT_EQ(Load("claim.exr"), nullptr);
        EXPECT_NE(LastError().find(szReason), std::string::npos) << LastError();
    }
}
