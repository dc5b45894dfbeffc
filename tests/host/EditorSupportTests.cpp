// What an editor window asks of the engine: which item compiled which shader
// file, rebuilding one item in place, the text of port values, contexts
// adopted from another platform.

#include "HostTestSupport.h"
#include "support/GLTestEnvironment.h"

#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/GraphFile.h"
#include "host/FlowGraph/ValueText.h"
#include "host/OpenGL/ShaderFiles.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/OpenGL/Device.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Ondo::FlowGraph;

namespace {

const char* const s_szGraph = R"(<OndoGraph version="1"><Scope name="Root">
<Filter type="OpenGL.Texture.MultiSource2D" name="Targets">
  <Input label="Width" value="4" /><Input label="Height" value="2" />
  <Control label="Number of Textures" value="3" />
</Filter>
<Filter type="OpenGL.Texture.Add" name="Add" />
<Connection from="Targets" output="0" to="Add" input="Target Texture" />
<Connection from="Targets" output="1" to="Add" input="Image A" />
<Connection from="Targets" output="2" to="Add" input="Image B" />
</Scope></OndoGraph>)";

bool EndsWith(const std::wstring& strText, const std::wstring& strEnd)
{
    return strText.size() >= strEnd.size() && strText.compare(strText.size() - strEnd.size(), strEnd.size(), strEnd) == 0;
}

} // namespace

TEST(EditorSupport, ShaderFilesAreReportedForTheirItemAndARebuiltItemKeepsItsConnections)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    Ondo::Core core;
    core.LoadPlugin(PRISMVALE_MODULE_PATH);
    std::vector<Ondo::OpenGL::ShaderFileUse> uses;
    Ondo::OpenGL::SetShaderFileListener([&](const Ondo::OpenGL::ShaderFileUse& use) { uses.push_back(use); });
    std::unique_ptr<Graph> pGraph = LoadGraphFromText(core, &device, s_szGraph, "editor.xml");
    ScopeItem& add = pGraph->RequireItem("Add");
    ASSERT_EQ(uses.size(), 1u);
    EXPECT_EQ(uses[0].m_pUser, &add);
    EXPECT_EQ(uses[0].m_eStage, static_cast<GLenum>(GL_COMPUTE_SHADER));
    EXPECT_TRUE(EndsWith(uses[0].m_strPath, L"/Content/Shader/TextureAdd/TextureAdd.comp"));

    // Rebuilt in place: compiled again for the item, every connection kept
    // (the shader's inputs included), and the graph runs.
    uses.clear();
    const std::size_t uiConnections = pGraph->GetRoot().GetConnections().size();
    pGraph->RebuildResources(add);
    ASSERT_EQ(uses.size(), 1u);
    EXPECT_EQ(uses[0].m_pUser, &add);
    EXPECT_EQ(pGraph->GetRoot().GetConnections().size(), uiConnections);
    for (const char* szInput : {"Target Texture", "Image A", "Image B"})
        EXPECT_TRUE(pGraph->GetRoot().IsConnected(*add.FindPort(szInput, false))) << szInput;
    ScopeExecuter executer;
    EXPECT_NO_THROW(pGraph->RunFrame(executer));
    Ondo::OpenGL::SetShaderFileListener(nullptr);

    ScopeItem& targets = pGraph->RequireItem("Targets");
    EXPECT_EQ(FormatPortValue(*targets.FindPort("Width", false)), std::optional<std::string>("4"));
    EXPECT_EQ(FormatPortValue(*add.FindPort("Sum", true)), std::nullopt) << "textures have no text form";

    // Nested users: the innermost counts, the outer one comes back.
    {
        Ondo::OpenGL::ShaderUser outer(&targets);
        {
            Ondo::OpenGL::ShaderUser inner(&add);
            EXPECT_EQ(Ondo::OpenGL::ShaderUser::GetCurrent(), &add);
        }
        EXPECT_EQ(Ondo::OpenGL::ShaderUser::GetCurrent(), &targets);
    }
    EXPECT_EQ(Ondo::OpenGL::ShaderUser::GetCurrent(), nullptr);
}

TEST(EditorSupport, AContextIsAdoptedOnlyWhileCurrent)
{
    OndoTest::TestDevice();
    class Elsewhere : public Ondo::OpenGL::ContextPlatform {
    public:
        void MakeCurrent() override {}
        bool IsCurrent() const override { return false; }
        void DoneCurrent() override {}
        bool SetSwapInterval(int) override { return false; }
        bool HasSwapControl() const override { return false; }
        std::string GetName() const override { return "a window elsewhere"; }
    };
    const std::string strMessage =
        OndoTest::Thrown([] { Ondo::OpenGL::Context::Adopt(std::make_unique<Elsewhere>()); });
    EXPECT_EQ(strMessage, "The context of a window elsewhere is not current on this thread");
}
