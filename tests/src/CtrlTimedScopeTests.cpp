// The GPU-timed scope: boundary forwarding, the measurement and its query.

#include "ComputeFilterTestSupport.h"

#include "frame/CtrlTimedScopeWithQuery.h"

#include "Ondo/FlowGraph/ValuePorts.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

using namespace Ondo::FlowGraph;

namespace {

// Doubles its input; counts its runs; refuses a negative input.
class Doubler : public Ondo::OpenGL::BaseFilter {
public:
    Doubler(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override
    {
        CreatePort(hIn, {PortType::Input, "In", false});
        CreatePort(hOut, {PortType::Output, "Out", false});
    }
    void Process(ScopeExecuter&) override
    {
        ++m_iRuns;
        if (*hIn->GetData() < 0.0f) throw std::runtime_error("\"In\" is negative");
        m_fValue = 2.0f * *hIn->GetData();
        hOut->SetData(&m_fValue, hIn->HasChanged());
    }
    PortHandle<SimplePortT<float>> hIn, hOut;
    float m_fValue = 0.0f;
    int m_iRuns = 0;
};

// Uploads a 512 x 512 float picture each run: work that every driver times.
class Uploader : public Ondo::OpenGL::BaseFilter {
public:
    Uploader(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override {}
    void InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) override
    {
        m_Texture = OndoTest::MakeTexture(512, 512, GL_RGBA32F);
    }
    void ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) override { m_Texture.Release(); }
    void Process(ScopeExecuter&) override
    {
        const std::vector<float> texels(512 * 512 * 4, 0.25f);
        glBindTexture(GL_TEXTURE_2D, m_Texture.m_uiName);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 512, 512, GL_RGBA, GL_FLOAT, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    Ondo::OpenGL::TextureObject2D m_Texture;
};

class TimedScopeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Prismvale::LoadIntoCore(m_Core);
        FilterRegistry::Get(m_Core).RegisterFilter(
            {"Test.Double", "", "", "", [](Ondo::Core& c, const std::string& n) -> Filter* { return new Doubler(c, n); }});
        FilterRegistry::Get(m_Core).RegisterFilter(
            {"Test.Upload", "", "", "", [](Ondo::Core& c, const std::string& n) -> Filter* { return new Uploader(c, n); }});
    }

    // Timer with a float boundary port "X" (both halves): outer "X" -> inner
    // Doubler -> back out on "X".
    void Build(Graph& graph)
    {
        graph.AddItem(graph.GetRoot(), "Ctrl.TimingScopeOpenGL", "Timer");
        graph.AddBoundaryPort("Timer", "X", "float", BoundaryBoth);
        Scope& inner = *dynamic_cast<CtrlFlowFilter&>(graph.RequireItem("Timer")).GetScopeHandles().front().Get();
        graph.AddItem(inner, "Test.Double", "Double");
        graph.Connect(inner, Graph::ScopePortsName, "X", "Double", "In");
        graph.Connect(inner, "Double", "Out", Graph::ScopePortsName, "X");
        graph.SetLiteral("Timer", "X", "1.5");
    }

    Ondo::Core m_Core;
};

} // namespace

TEST_F(TimedScopeTest, ConvertsNanosecondsToMilliseconds)
{
    EXPECT_FLOAT_EQ(Prismvale::CtrlTimedScopeWithQuery::ToMilliseconds(2500000), 2.5f);
    EXPECT_FLOAT_EQ(Prismvale::CtrlTimedScopeWithQuery::ToMilliseconds(0), 0.0f);
    // The top bit of the count is kept: no negative time from a signed conversion.
    EXPECT_FLOAT_EQ(Prismvale::CtrlTimedScopeWithQuery::ToMilliseconds(std::numeric_limits<std::uint64_t>::max()),
                    1.8446744e13f);
}

TEST_F(TimedScopeTest, TimesItsScopeAndForwardsValuesBothWays)
{
    Graph graph(m_Core);
    graph.AttachDevice(OndoTest::TestDevice());
    Build(graph);
    auto& timer = dynamic_cast<CtrlFlowFilter&>(graph.RequireItem("Timer"));
    EXPECT_EQ(timer.GetTitle(), "Timed Scope (OpenGL)");
    const PortHandle<SimplePortT<float>> hTime(timer.FindPort("Time", true));
    const PortHandle<SimplePortT<float>> hOut(timer.FindPort("X", true));

    ScopeExecuter executer;
    for (int iFrame = 0; iFrame < 2; ++iFrame) {
        executer.ExecuteScope(graph.GetRoot());
        ASSERT_NE(hTime->GetData(), nullptr);
        EXPECT_TRUE(hTime->HasChanged()) << "every run measures anew";
        EXPECT_GE(*hTime->GetData(), 0.0f);
        EXPECT_LT(*hTime->GetData(), 1000.0f) << "an empty-ish scope takes no second";
        ASSERT_NE(hOut->GetData(), nullptr);
        EXPECT_FLOAT_EQ(*hOut->GetData(), 3.0f);
        hTime->ResetChanged();
    }
    EXPECT_EQ(dynamic_cast<Doubler&>(graph.RequireItem("Double")).m_iRuns, 2);

    // Settings: the scope handle, then the port handle.
    TiXmlDocument document;
    Serialization::SaveInfo info;
    info.AddScope(timer.GetScopeHandles().front());
    info.AddPort(PortHandle<Port>(hTime));
    const TiXmlElement* pRoot = OndoTest::Settings(timer, document, nullptr, &info);
    EXPECT_EQ(OndoTest::Keys(*pRoot), (std::vector<std::string>{"hScopeTimed", "hOutputTime"}));
    EXPECT_STREQ(pRoot->FirstChildElement()->Attribute("ScopeID"), "0");
}

TEST_F(TimedScopeTest, RunsUntimedWithoutItsQueryAndReleasesIt)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    const auto countQueries = [] { return OndoTest::CountLive(glIsQuery, 255); };
    const int iQueries = countQueries();
    Graph graph(m_Core);
    graph.AttachDevice(device);
    Build(graph);
    auto& timer = dynamic_cast<Ondo::OpenGL::BaseCtrlFlowFilter&>(graph.RequireItem("Timer"));
    PortHandle<SimplePortT<float>> hTime(timer.FindPort("Time", true));
    ScopeExecuter executer;
    executer.ExecuteScope(graph.GetRoot());
    EXPECT_EQ(countQueries(), iQueries + 3) << "its elapsed-time query and two timestamps exist once it was used";
    const float* pMeasured = hTime->GetData();
    hTime->SetData(nullptr, false);

    // Its query released, the timer still runs its scope but measures nothing.
    timer.ReleaseResources(device, device.GetContext());
    EXPECT_EQ(countQueries(), iQueries);
    timer.ReleaseResources(device, device.GetContext());
    timer.ExecuteScope(executer);
    EXPECT_NE(pMeasured, nullptr);
    EXPECT_EQ(hTime->GetData(), nullptr) << "no query: \"Time\" is left as it was";
    EXPECT_EQ(dynamic_cast<Doubler&>(graph.RequireItem("Double")).m_iRuns, 2);

    graph.DetachDevice();
    EXPECT_EQ(countQueries(), iQueries);
}

// A filter that fails inside the scope stops the run with its own name, and
// the query is ended all the same: the next frame measures again.
TEST_F(TimedScopeTest, EndsItsQueryWhenAFilterInsideFails)
{
    Graph graph(m_Core);
    graph.AttachDevice(OndoTest::TestDevice());
    Build(graph);
    graph.SetLiteral("Timer", "X", "-1");
    ScopeExecuter executer;
    EXPECT_EQ(OndoTest::ErrorOf([&] { graph.RunFrame(executer); }, "ran"),
              "\"Double\" (Test.Double): \"In\" is negative");
    GLint iActive = -1;
    glGetQueryiv(GL_TIME_ELAPSED, GL_CURRENT_QUERY, &iActive);
    EXPECT_EQ(iActive, 0);

    graph.SetLiteral("Timer", "X", "2");
    graph.RunFrame(executer);
    auto& timer = dynamic_cast<CtrlFlowFilter&>(graph.RequireItem("Timer"));
    EXPECT_FLOAT_EQ(*PortHandle<SimplePortT<float>>(timer.FindPort("X", true))->GetData(), 4.0f);
    EXPECT_NE(PortHandle<SimplePortT<float>>(timer.FindPort("Time", true))->GetData(), nullptr);
}

// A timed scope inside another: the inner one measures between timestamps,
// within the outer one's time, and neither leaves a GL error (two elapsed
// queries at once would).
TEST_F(TimedScopeTest, NestedScopesMeasureTheInnerWithinTheOuter)
{
    Graph graph(m_Core);
    graph.AttachDevice(OndoTest::TestDevice());
    graph.AddItem(graph.GetRoot(), "Ctrl.TimingScopeOpenGL", "Outer");
    const auto innerScope = [&](const std::string& strTimer) -> Scope& {
        return *dynamic_cast<CtrlFlowFilter&>(graph.RequireItem(strTimer)).GetScopeHandles().front().Get();
    };
    graph.AddItem(innerScope("Outer"), "Ctrl.TimingScopeOpenGL", "Inner");
    graph.AddItem(innerScope("Outer"), "Test.Upload", "Before");
    graph.AddItem(innerScope("Inner"), "Test.Upload", "Inside");
    const auto timeOf = [&](const std::string& strTimer) {
        const PortHandle<SimplePortT<float>> hTime(graph.RequireItem(strTimer).FindPort("Time", true));
        return hTime->GetData() ? *hTime->GetData() : -1.0f;
    };
    ScopeExecuter executer;
    for (int iFrame = 0; iFrame < 3; ++iFrame) {
        graph.RunFrame(executer);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_GT(timeOf("Inner"), 0.0f) << "the upload inside takes time";
        EXPECT_LE(timeOf("Inner"), timeOf("Outer"));
    }
    GLint iActive = -1;
    glGetQueryiv(GL_TIME_ELAPSED, GL_CURRENT_QUERY, &iActive);
    EXPECT_EQ(iActive, 0);
}
