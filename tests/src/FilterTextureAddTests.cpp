// The add filter from registration to a correct picture.

#include "support/FilterHarness.h"
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
    OndoTest::TestDevice();
    const int iWidth = 17, iHeight = 16;
    const std::vector<float> a = Pattern(iWidth, iHeight, 0.25f), b = Pattern(iWidth, iHeight, 0.5f);
    TextureObject2D target = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, std::vector<float>(a.size(), -7.0f));
    TextureObject2D textureA = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, a);
    TextureObject2D textureB = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, b);

    OndoTest::FilterHarness harness;
    ScopeItem& add = harness.Add("OpenGL.Texture.Add", "Add");
    // The fixed ports, then the two the shader declares.
    const auto handles = add.GetPortHandles();
    ASSERT_EQ(handles.size(), 4u);
    EXPECT_EQ(handles[0]->GetLabel(), "Target Texture");
    EXPECT_EQ(handles[1]->GetLabel(), "Sum");
    EXPECT_TRUE(handles[1]->IsOutput());
    EXPECT_EQ(handles[2]->GetLabel(), "Image A");
    EXPECT_EQ(handles[3]->GetLabel(), "Image B");

    harness.Feed("Add", "Target Texture", target);
    harness.Feed("Add", "Image A", textureA);
    EXPECT_FALSE(harness.Run());
    EXPECT_EQ(harness.GetLogger().GetMessages(),
              (std::vector<std::string>{"Add: Port \"Image B\" requires a connection to run.\n"}));
    harness.Feed("Add", "Image B", textureB);
    ASSERT_TRUE(harness.Run());

    const std::vector<float> result = OndoTest::ReadTexture(target);
    for (int y = 0; y < iHeight; ++y)
        for (int x = 0; x < iWidth; ++x)
            for (int c = 0; c < 4; ++c) {
                const std::size_t i = static_cast<std::size_t>((y * iWidth + x) * 4 + c);
                ASSERT_NEAR(result[i], a[i] + b[i], 1e-6f) << "texel " << x << "," << y << " channel " << c;
            }
    bool bChanged = false;
    EXPECT_EQ(harness.Output<TextureObject2D>("Add", "Sum", &bChanged), &target) << "the target object itself";
    EXPECT_TRUE(bChanged);
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
