// The add filter from registration to a correct picture.

#include "support/GLObjects.h"
#include "support/GLTestEnvironment.h"

#include "frame/PluginLoad.h"
#include "frame/ShaderPrograms.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;
using TexturePort = SimplePortT<TextureObject2D>;

namespace {

// Publishes the textures a test hands it, one output each.
class TextureSource : public Ondo::OpenGL::BaseFilter {
public:
    TextureSource(Ondo::Core& core, std::vector<TextureObject2D*> textures)
        : BaseFilter(core, "Source", "Source"), m_Textures(std::move(textures))
    {
    }
    void CreatePorts() override
    {
        for (std::size_t i = 0; i < m_Textures.size(); ++i) {
            PortHandle<TexturePort> hPort;
            CreatePort(hPort, {PortType::Output, std::to_string(i), false});
            m_Outputs.push_back(hPort);
        }
    }
    void Process(ScopeExecuter&) override
    {
        for (std::size_t i = 0; i < m_Textures.size(); ++i) m_Outputs[i]->SetData(m_Textures[i], true);
    }
    PortHandle<Port> Output(std::size_t i) const { return PortHandle<Port>(m_Outputs[i]); }

private:
    std::vector<TextureObject2D*> m_Textures;
    std::vector<PortHandle<TexturePort>> m_Outputs;
};

TextureObject2D MakeTexture(int iWidth, int iHeight, const std::vector<float>& texels)
{
    GLuint uiTexture = 0;
    glGenTextures(1, &uiTexture);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA32F, iWidth, iHeight);
    if (!texels.empty()) glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, iWidth, iHeight, GL_RGBA, GL_FLOAT, texels.data());
    return TextureObject2D(uiTexture);
}

std::vector<float> Pattern(int iWidth, int iHeight, float fSeed)
{
    std::vector<float> texels(static_cast<std::size_t>(iWidth * iHeight * 4));
    for (std::size_t i = 0; i < texels.size(); ++i) texels[i] = fSeed + 0.001f * static_cast<float>(i % 997);
    return texels;
}

std::shared_ptr<Ondo::OpenGL::BaseFilter> MakeAddFilter(Ondo::Core& core, const std::string& strName)
{
    Prismvale::LoadIntoCore(core);
    const FilterDescriptor* pDescriptor = FilterRegistry::Get(core).FindFilter("OpenGL.Texture.Add");
    if (!pDescriptor) return nullptr;
    std::shared_ptr<Ondo::OpenGL::BaseFilter> pFilter(
        dynamic_cast<Ondo::OpenGL::BaseFilter*>(pDescriptor->m_fnFactory(core, strName)));
    pFilter->Initialize();
    return pFilter;
}

} // namespace

TEST(FilterTextureAdd, IsRegisteredAsDescribed)
{
    Ondo::Core core;
    Prismvale::LoadIntoCore(core);
    const FilterDescriptor* pDescriptor = FilterRegistry::Get(core).FindFilter("OpenGL.Texture.Add");
    ASSERT_NE(pDescriptor, nullptr);
    EXPECT_EQ(pDescriptor->m_strSourceFile, "src\\FilterTextureAdd");
    EXPECT_EQ(pDescriptor->m_strDescription, "For adding two textures");
    EXPECT_EQ(pDescriptor->m_strKeywords, "OpenGL;Texture;Add");

    EXPECT_EQ(Prismvale::GroupCount16(17), 2u);
    EXPECT_EQ(Prismvale::GroupCount16(16), 1u);
    EXPECT_EQ(Prismvale::GroupCount16(33), 3u);
    EXPECT_EQ(Prismvale::GroupCount16(0), 0u);
}

TEST(FilterTextureAdd, WritesTheSumIntoTheTargetAndPublishesTheTargetItself)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    const int iWidth = 17, iHeight = 16;
    const std::vector<float> a = Pattern(iWidth, iHeight, 0.25f), b = Pattern(iWidth, iHeight, 0.5f);
    TextureObject2D target = MakeTexture(iWidth, iHeight, std::vector<float>(a.size(), -7.0f));
    TextureObject2D textureA = MakeTexture(iWidth, iHeight, a), textureB = MakeTexture(iWidth, iHeight, b);

    Ondo::Core core;
    Ondo::CollectingLogger logger;
    core.SetLogger(&logger);
    auto pAdd = MakeAddFilter(core, "Add");
    ASSERT_NE(pAdd, nullptr);
    auto pSource = std::make_shared<TextureSource>(core, std::vector<TextureObject2D*>{&target, &textureA, &textureB});
    pSource->Initialize();
    pAdd->AttachDevice(device);
    pSource->AttachDevice(device);

    // The fixed ports, then the two the shader declares.
    const auto handles = pAdd->GetPortHandles();
    ASSERT_EQ(handles.size(), 4u);
    EXPECT_EQ(handles[0]->GetLabel(), "Target Texture");
    EXPECT_EQ(handles[1]->GetLabel(), "Sum");
    EXPECT_TRUE(handles[1]->IsOutput());
    EXPECT_EQ(handles[2]->GetLabel(), "Image A");
    EXPECT_EQ(handles[3]->GetLabel(), "Image B");

    Scope scope("Root");
    scope.AddItem(pSource);
    scope.AddItem(pAdd);
    scope.Connect(pSource->Output(0), pAdd->FindPort("Target Texture"));
    scope.Connect(pSource->Output(1), pAdd->FindPort("Image A"));
    EXPECT_FALSE(pAdd->IsReadyToRun(scope, &logger));
    EXPECT_EQ(logger.GetMessages(),
              (std::vector<std::string>{"Add: Port \"Image B\" requires a connection to run.\n"}));
    scope.Connect(pSource->Output(2), pAdd->FindPort("Image B"));

    ScopeExecuter executer(&logger);
    executer.ExecuteScope(scope);
    EXPECT_EQ(executer.GetNumberOfExecuted(), 2u);

    std::vector<float> result(a.size());
    glBindTexture(GL_TEXTURE_2D, target.m_uiName);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, result.data());
    for (int y = 0; y < iHeight; ++y)
        for (int x = 0; x < iWidth; ++x)
            for (int c = 0; c < 4; ++c) {
                const std::size_t i = static_cast<std::size_t>((y * iWidth + x) * 4 + c);
                ASSERT_NEAR(result[i], a[i] + b[i], 1e-6f) << "texel " << x << "," << y << " channel " << c;
            }

    const PortHandle<TexturePort> hSum(pAdd->FindPort("Sum"));
    EXPECT_EQ(hSum->GetData(), &target) << "the output is the target object itself";
    EXPECT_TRUE(hSum->HasChanged());

    pAdd->DetachDevice();
    pSource->DetachDevice();
    for (TextureObject2D* pTexture : {&target, &textureA, &textureB}) pTexture->Release();
}

TEST(FilterTextureAdd, ReleaseLeavesNoProgramAndRebuildKeepsThePorts)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    Ondo::Core core;
    auto pAdd = MakeAddFilter(core, "Add");
    const int iPrograms = OndoTest::CountLive(glIsProgram), iShaders = OndoTest::CountLive(glIsShader);

    pAdd->AttachDevice(device);
    EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms + 1);
    const auto handles = pAdd->GetPortHandles();
    pAdd->DetachDevice();
    EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
    EXPECT_EQ(OndoTest::CountLive(glIsShader), iShaders);
    pAdd->ReleaseResources(device, device.GetContext()); // a second release does nothing
    EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);

    pAdd->AttachDevice(device);
    EXPECT_EQ(pAdd->GetPortHandles(), handles) << "a second build makes no new ports";

    // Settings: the hooked ports first, then the two handles.
    TiXmlDocument document;
    TiXmlElement* pRoot = document.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
    Serialization::SaveInfo info;
    for (const auto& hPort : handles) info.AddPort(hPort);
    Serialization::Serializer writer(&document, pRoot, &info);
    pAdd->Serialize(writer);
    std::vector<std::string> names;
    for (TiXmlElement* pChild = pRoot->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement())
        names.push_back(pChild->Value());
    EXPECT_EQ(names, (std::vector<std::string>{"ShaderPorts", "hTargetTexture", "hTextureOut"}));
    EXPECT_STREQ(pRoot->FirstChildElement("hTextureOut")->Attribute("PortID"), "1");
    pAdd->DetachDevice();
}

TEST(FilterTextureAdd, SkipsThePassWhenTheTargetCarriesNoTexture)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    Ondo::Core core;
    Ondo::CollectingLogger logger;
    core.SetLogger(&logger);
    auto pAdd = MakeAddFilter(core, "Add");
    pAdd->AttachDevice(device);
    ScopeExecuter executer;
    pAdd->Execute(executer);
    EXPECT_EQ(PortHandle<TexturePort>(pAdd->FindPort("Sum"))->GetData(), nullptr);
    EXPECT_EQ(logger.GetMessages(),
              (std::vector<std::string>{"Add: \"Target Texture\" carries no texture; the pass was skipped.\n"}));
    pAdd->DetachDevice();
}
