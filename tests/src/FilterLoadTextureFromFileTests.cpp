// The 2D texture loader: registration, loading and reloading through the
// editor controls, failures, settings and release.

#include "support/GLObjects.h"
#include "support/GLTestEnvironment.h"

#include "frame/PluginLoad.h"
#include "host/GFX/ImageIO.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;
namespace fs = std::filesystem;

namespace {

class LoadTextureFromFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Folder = fs::temp_directory_path() / ("ondo-load-texture-" + std::to_string(::getpid()));
        fs::create_directories(m_Folder);
        Ondo::GFX::RegisterStandardImageReaders(m_Core);
        Prismvale::LoadIntoCore(m_Core);
        m_Picture.m_iImageFormat = Ondo::GFX::FormatRGBA8;
        m_Picture.m_uiWidth = 5;
        m_Picture.m_uiHeight = 3;
        for (std::size_t i = 0; i < 60; ++i) m_Picture.m_Pixels.push_back(static_cast<std::uint8_t>(i * 11 + 5));
        Ondo::GFX::WritePNG(Path("picture.png"), m_Picture);
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    std::string Path(const std::string& strName) const { return (m_Folder / strName).string(); }

    // A loader made through the registry, its controls built into controls.
    static std::shared_ptr<Ondo::OpenGL::BaseFilter> MakeLoader(Ondo::Core& core, Ondo::Instrumenter& controls)
    {
        std::shared_ptr<Ondo::OpenGL::BaseFilter> pFilter(dynamic_cast<Ondo::OpenGL::BaseFilter*>(
            FilterRegistry::Get(core).FindFilter("OpenGL.Texture.LoadFromFile")->m_fnFactory(core, "Loader")));
        pFilter->Initialize();
        pFilter->Instrument(controls);
        return pFilter;
    }

    // Runs the filter once: the published texture and its change flag.
    static std::pair<TextureObject2D*, bool> Run(Ondo::OpenGL::BaseFilter& filter)
    {
        ScopeExecuter executer;
        filter.Execute(executer);
        const PortHandle<SimplePortT<TextureObject2D>> hOut(filter.FindPort("OutputTexture"));
        return {hOut->GetData(), hOut->HasChanged()};
    }

    fs::path m_Folder;
    Ondo::Core m_Core;
    Ondo::GFX::ImageData m_Picture;
};

// A texture parameter, or with a level a level parameter (0 for a level the
// texture does not have).
GLint TextureValue(GLuint uiTexture, GLenum eParameter, GLint iLevel = -1)
{
    GLint iValue = 0;
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    if (iLevel < 0) glGetTexParameteriv(GL_TEXTURE_2D, eParameter, &iValue);
    if (iLevel >= 0) glGetTexLevelParameteriv(GL_TEXTURE_2D, iLevel, eParameter, &iValue);
    return iValue;
}

} // namespace

TEST_F(LoadTextureFromFile, IsRegisteredWithOnePortAndTheLoadersFileFilter)
{
    const FilterDescriptor* pDescriptor = FilterRegistry::Get(m_Core).FindFilter("OpenGL.Texture.LoadFromFile");
    ASSERT_NE(pDescriptor, nullptr);
    EXPECT_EQ(pDescriptor->m_strSourceFile, "src\\FilterLoadTextureFromFile");
    EXPECT_EQ(pDescriptor->m_strDescription, "For loading a texture from disc to OpenGL");
    EXPECT_EQ(pDescriptor->m_strKeywords, "OpenGL;Texture;Load");

    Ondo::Instrumenter controls;
    auto pLoader = MakeLoader(m_Core, controls);
    ASSERT_EQ(pLoader->GetPortHandles().size(), 1u);
    EXPECT_EQ(pLoader->GetPortHandles()[0]->GetLabel(), "OutputTexture");
    EXPECT_TRUE(pLoader->GetPortHandles()[0]->IsOutput());
    EXPECT_EQ(controls.FindControl("File name")->m_strFileText, L"*.bmp;*.exr;*.hdr;*.jpeg;*.jpg;*.png;*.tga");
}

TEST_F(LoadTextureFromFile, LoadsAtInitAndReloadsOncePerChange)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    Ondo::Instrumenter controls;
    auto pLoader = MakeLoader(m_Core, controls);
    controls.SetControl("File name", Path("picture.png"));
    const int iTextures = OndoTest::CountLive(glIsTexture);

    pLoader->AttachDevice(device);
    const auto [pTexture, bChanged] = Run(*pLoader);
    ASSERT_NE(pTexture, nullptr);
    EXPECT_FALSE(bChanged) << "loaded in InitResources, so the first run changes nothing";
    ASSERT_NE(pTexture->m_uiName, 0u);
    EXPECT_EQ(Ondo::OpenGL::ReadTexture2D(pTexture->m_uiName).m_Pixels, m_Picture.m_Pixels);
    EXPECT_FALSE(TextureValue(pTexture->m_uiName, GL_TEXTURE_IMMUTABLE_FORMAT));
    EXPECT_EQ(TextureValue(pTexture->m_uiName, GL_TEXTURE_WIDTH, 2), 1) << "mipmaps by default";

    controls.SetControl("Mutable", "false");
    EXPECT_TRUE(Run(*pLoader).second);
    EXPECT_TRUE(TextureValue(pTexture->m_uiName, GL_TEXTURE_IMMUTABLE_FORMAT));
    EXPECT_FALSE(Run(*pLoader).second) << "one reload per change";

    controls.SetControl("Mutable", "true");
    controls.SetControl("Create MipMaps", "false");
    EXPECT_TRUE(Run(*pLoader).second);
    EXPECT_EQ(TextureValue(pTexture->m_uiName, GL_TEXTURE_WIDTH, 1), 0) << "no mip chain";
    controls.SetControl("Create MipMaps", "true");
    EXPECT_TRUE(Run(*pLoader).second);
    EXPECT_EQ(TextureValue(pTexture->m_uiName, GL_TEXTURE_WIDTH, 1), 2);
    EXPECT_EQ(OndoTest::CountLive(glIsTexture), iTextures + 1) << "each reload deletes the texture it replaces";

    const GLuint uiName = pTexture->m_uiName;
    pLoader->DetachDevice();
    EXPECT_FALSE(glIsTexture(uiName));
    EXPECT_EQ(pTexture->m_uiName, 0u);
}

TEST_F(LoadTextureFromFile, MissingFilesKeepTheTextureAndUnreadableOnesLeaveNone)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    std::ofstream(Path("noise.png")) << "not a picture";
    std::ofstream(Path("picture.xyz")) << "no reader";
    fs::create_directory(Path("folder.png"));
    Ondo::Instrumenter controls;
    auto pLoader = MakeLoader(m_Core, controls);

    pLoader->AttachDevice(device);
    EXPECT_EQ(Run(*pLoader).first->m_uiName, 0u) << "no file name, no texture";
    controls.SetControl("File name", Path("picture.png"));
    const GLuint uiLoaded = Run(*pLoader).first->m_uiName;
    ASSERT_NE(uiLoaded, 0u);
    const int iTextures = OndoTest::CountLive(glIsTexture);

    for (const std::string& strPath : {Path("missing.png"), Path("folder.png"), std::string()}) {
        controls.SetControl("File name", strPath);
        const auto [pTexture, bChanged] = Run(*pLoader);
        EXPECT_TRUE(bChanged) << strPath;
        EXPECT_EQ(pTexture->m_uiName, uiLoaded) << strPath;
    }
    for (const char* szName : {"noise.png", "picture.xyz"}) {
        controls.SetControl("File name", Path("picture.png"));
        ASSERT_NE(Run(*pLoader).first->m_uiName, 0u);
        controls.SetControl("File name", Path(szName));
        EXPECT_EQ(Run(*pLoader).first->m_uiName, 0u) << szName;
    }
    EXPECT_EQ(OndoTest::CountLive(glIsTexture), iTextures - 1) << "the texture given up is deleted";
    pLoader->DetachDevice();
}

TEST_F(LoadTextureFromFile, SettingsRoundTripAndWaitForTheNextLoad)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    Ondo::Instrumenter savedControls, readControls;
    auto pSaved = MakeLoader(m_Core, savedControls);
    savedControls.SetControl("File name", Path("picture.png"));
    savedControls.SetControl("Mutable", "false");

    TiXmlDocument document;
    TiXmlElement* pRoot = document.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
    Serialization::SaveInfo info;
    info.AddPort(pSaved->GetPortHandles()[0]);
    Serialization::Serializer writer(&document, pRoot, &info);
    pSaved->Serialize(writer);
    std::vector<std::string> names;
    for (TiXmlElement* pChild = pRoot->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement())
        names.push_back(pChild->Value());
    EXPECT_EQ(names, (std::vector<std::string>{"hOutTexture", "FileName", "bTextureIsMutable", "bCreateMipMaps"}));
    EXPECT_EQ(pRoot->FirstChildElement("FileName")->Attribute("value"), Path("picture.png"));

    // Read into a loader that loaded nothing at its init: reading does not
    // ask for a reload.
    auto pRead = MakeLoader(m_Core, readControls);
    pRead->AttachDevice(device);
    info.m_IDToPort[0] = pRead->GetPortHandles()[0];
    Serialization::Serializer reader(nullptr, pRoot, &info);
    pRead->Serialize(reader);
    const auto [pTexture, bChanged] = Run(*pRead);
    EXPECT_FALSE(bChanged);
    EXPECT_EQ(pTexture->m_uiName, 0u);
    for (const char* szLabel : {"File name", "Mutable", "Create MipMaps"})
        EXPECT_EQ(Ondo::Instrumenter::ValueText(*readControls.FindControl(szLabel)),
                  Ondo::Instrumenter::ValueText(*savedControls.FindControl(szLabel)))
            << szLabel;
    pRead->DetachDevice();
}
