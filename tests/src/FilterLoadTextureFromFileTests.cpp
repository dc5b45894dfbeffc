// The 2D texture loader: loading and reloading through its controls, failures, settings, release.

#include "ComputeFilterTestSupport.h"

#include "host/GFX/ImageIO.h"

#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Textures.h"

#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <locale>

using namespace Ondo::FlowGraph;
using Ondo::Instrumenter;
using Ondo::OpenGL::TextureObject2D;
namespace fs = std::filesystem;

namespace {

// A core with the plug-in and the standard readers, a 5 x 3 picture on disc,
// and loaders made through the registry with their controls.
class LoadTextureFromFile : public ::testing::Test {
protected:
    LoadTextureFromFile()
    {
        fs::create_directories(m_Folder);
        Ondo::GFX::RegisterStandardImageReaders(m_Core);
        m_Picture.m_iImageFormat = Ondo::GFX::FormatRGBA8;
        m_Picture.m_uiWidth = 5;
        m_Picture.m_uiHeight = 3;
        for (std::size_t i = 0; i < 60; ++i) m_Picture.m_Pixels.push_back(static_cast<std::uint8_t>(i * 11 + 5));
        Ondo::GFX::WritePNG(Path("picture.png"), m_Picture);
        for (int i = 0; i < 2; ++i) {
            m_Loaders[i] = OndoTest::MakeFilter(m_Core, "OpenGL.Texture.LoadFromFile", "Loader");
            m_Loaders[i]->Instrument(m_Controls[i]);
        }
    }
    ~LoadTextureFromFile() override { fs::remove_all(m_Folder); }

    std::string Path(const std::string& strName) const { return (m_Folder / strName).string(); }
    // Runs a loader once: the published texture and its change flag.
    std::pair<TextureObject2D*, bool> Run(int iLoader = 0)
    {
        ScopeExecuter executer;
        m_Loaders[iLoader]->Execute(executer);
        const PortHandle<SimplePortT<TextureObject2D>> hOut(m_Loaders[iLoader]->FindPort("OutputTexture"));
        return {hOut->GetData(), hOut->HasChanged()};
    }

    const fs::path m_Folder = fs::temp_directory_path() / ("ondo-load-texture-" + std::to_string(::getpid()));
    Ondo::Core m_Core;
    Ondo::GFX::ImageData m_Picture;
    Instrumenter m_Controls[2];
    std::shared_ptr<Ondo::OpenGL::BaseFilter> m_Loaders[2];
};

// Whether the texture has immutable storage, and the width of its level 1
// (0 without mipmaps).
using Storage = std::pair<GLint, GLint>;
Storage StorageOf(GLuint uiTexture)
{
    Storage storage;
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_IMMUTABLE_FORMAT, &storage.first);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &storage.second);
    return storage;
}

} // namespace

TEST_F(LoadTextureFromFile, LoadsReloadsOncePerEditKeepsOrDropsOnBadFilesReleasesAndRoundTrips)
{
    Instrumenter& controls = m_Controls[0];
    EXPECT_EQ(controls.FindControl("File name")->m_strFileText, L"*.bmp;*.cube;*.dds;*.exr;*.gz;*.hdr;*.jpeg;*.jpg;*.ktx;*.mha;*.mhd;*.nii;*.png;*.tga;*.vti");
    controls.SetControl("File name", Path("picture.png"));
    m_Loaders[0]->AttachDevice(OndoTest::TestDevice());
    const auto [pTexture, bChanged] = Run();
    EXPECT_FALSE(bChanged) << "loaded in InitResources, so the first run changes nothing";
    ASSERT_NE(pTexture->m_uiName, 0u);
    EXPECT_EQ(Ondo::OpenGL::ReadTexture2D(pTexture->m_uiName).m_Pixels, m_Picture.m_Pixels);
    EXPECT_EQ(StorageOf(pTexture->m_uiName), Storage(0, 2)) << "mutable, with mipmaps, by default";
    for (const auto& [szLabel, szText, storage] :
         {std::tuple{"Create MipMaps", "false", Storage{0, 0}}, {"Create MipMaps", "true", Storage{0, 2}},
          {"Mutable", "false", Storage{1, 2}}, {"Create MipMaps", "false", Storage{1, 0}}}) {
        SCOPED_TRACE(std::string(szLabel) + " " + szText);
        controls.SetControl(szLabel, szText);
        EXPECT_TRUE(Run().second);
        EXPECT_FALSE(Run().second) << "one reload per change";
        EXPECT_EQ(StorageOf(pTexture->m_uiName), storage);
    }

    // A name that is missing, a folder or empty keeps the texture; a file no
    // reader takes leaves none.
    std::ofstream(Path("noise.png")) << "not a picture";
    std::ofstream(Path("picture.xyz")) << "no reader";
    fs::create_directory(Path("folder.png"));
    const GLuint uiLoaded = pTexture->m_uiName;
    for (const std::string& strPath : {Path("missing.png"), Path("folder.png"), std::string()}) {
        controls.SetControl("File name", strPath);
        EXPECT_TRUE(Run().second) << strPath;
        EXPECT_EQ(pTexture->m_uiName, uiLoaded) << strPath;
    }
    for (const char* szName : {"noise.png", "picture.xyz"}) {
        controls.SetControl("File name", Path("picture.png"));
        ASSERT_NE(Run().first->m_uiName, 0u);
        controls.SetControl("File name", Path(szName));
        EXPECT_EQ(Run().first->m_uiName, 0u) << szName;
    }
    controls.SetControl("File name", Path("picture.png"));
    const GLuint uiName = Run().first->m_uiName;
    m_Loaders[0]->DetachDevice();
    EXPECT_FALSE(glIsTexture(uiName));
    EXPECT_EQ(pTexture->m_uiName, 0u);

    // The settings read into a loader attached with no file name: no texture,
    // and reading asks for no reload.
    TiXmlDocument document;
    TiXmlElement* pRoot = OndoTest::Settings(*m_Loaders[0], document);
    EXPECT_EQ(OndoTest::Keys(*pRoot),
              (std::vector<std::string>{"hOutTexture", "FileName", "bTextureIsMutable", "bCreateMipMaps"}));
    m_Loaders[1]->AttachDevice(OndoTest::TestDevice());
    OndoTest::Settings(*m_Loaders[1], document, pRoot);
    const auto [pRead, bReadChanged] = Run(1);
    EXPECT_EQ(std::make_pair(pRead->m_uiName, bReadChanged), std::make_pair(0u, false));
    for (const char* szLabel : {"File name", "Mutable", "Create MipMaps"})
        EXPECT_EQ(Instrumenter::ValueText(*m_Controls[1].FindControl(szLabel)),
                  Instrumenter::ValueText(*controls.FindControl(szLabel)))
            << szLabel;
    m_Loaders[1]->DetachDevice();
}

TEST_F(LoadTextureFromFile, PhotosComeAsRGBAGreyAsSwizzledGreyAnyNameWorksAndUndecodableFilesSayWhy)
{
    // Names are UTF-8 whatever the locale.
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
    const std::string strData = ONDO_TEST_DATA;
    fs::copy_file(strData + "/video-005.gray.png", Path("caf\xC3\xA9.png"));
    fs::copy_file(strData + "/basn4a08.png", Path("\xE7\x8C\xAB.png"));
    fs::copy_file(strData + "/video-001.jpeg", Path("photo.jpg"));
    std::ofstream(Path("noise.png")) << "not a picture";
    Instrumenter& controls = m_Controls[0];
    m_Loaders[0]->AttachDevice(OndoTest::TestDevice());
    // Grey stays one channel (grey and alpha two), seen as grey; a photo of
    // three channels is RGBA, which compute filters can write.
    const std::tuple<const char*, GLenum, std::int32_t, int> files[] = {
        {"caf\xC3\xA9.png", GL_R8, Ondo::GFX::LayoutGrey, 150},
        {"\xE7\x8C\xAB.png", GL_RG8, Ondo::GFX::LayoutGreyAlpha, 32},
        {"photo.jpg", GL_RGBA8, Ondo::GFX::LayoutUnknown, 150},
    };
    for (const auto& [szName, eFormat, iSwizzled, iWidth] : files) {
        controls.SetControl("File name", Path(szName));
        const GLuint uiName = Run().first->m_uiName;
        ASSERT_NE(uiName, 0u) << szName;
        EXPECT_EQ(Ondo::OpenGL::GetImageSize2D(uiName).x(), iWidth) << szName;
        EXPECT_EQ(Ondo::OpenGL::GetInternalFormat2D(uiName), eFormat) << szName;
        EXPECT_EQ(Ondo::OpenGL::GetSwizzleLayout(GL_TEXTURE_2D, uiName), iSwizzled) << szName;
    }
    EXPECT_TRUE(m_Core.GetErrors().empty());
    controls.SetControl("File name", Path("noise.png"));
    EXPECT_EQ(Run().first->m_uiName, 0u);
    ASSERT_EQ(m_Core.GetErrors().size(), 1u);
    EXPECT_EQ(
        m_Core.GetErrors()[0].rfind("The image file " + Path("noise.png") + " could not be decoded: stb_image: ", 0),
        0u)
        << m_Core.GetErrors()[0];
    m_Loaders[0]->DetachDevice();
}
