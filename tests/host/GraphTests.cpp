// Graphs: building, running in connection order, files and their errors.

#include "HostTestSupport.h"
#include "support/GLObjects.h"
#include "support/GLTestEnvironment.h"

#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/GraphFile.h"
#include "host/FlowGraph/ValueText.h"
#include "host/XmlText.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace Ondo::FlowGraph;
using OndoTest::Thrown;

namespace {

std::vector<std::string> s_Runs;

// Publishes its "iValue" setting (editable as "Value") on "Out".
class Source : public Ondo::OpenGL::BaseFilter {
public:
    Source(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override { CreatePort(hOut, {PortType::Output, "Out", false}); }
    void Serialize(Serialization::Serializer& serializer) override
    {
        serializer.Serialize("hOut", hOut);
        serializer.Serialize("iValue", m_iValue);
    }
    void Instrument(Ondo::Instrumenter& instrumenter) override
    {
        instrumenter.AddInt("Value", &m_iValue, [this] { m_bEdited = true; });
    }
    void InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) override
    {
        glGenBuffers(1, &m_uiBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, m_uiBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    void ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) override
    {
        if (m_uiBuffer) glDeleteBuffers(1, &m_uiBuffer);
        m_uiBuffer = 0;
    }
    void Process(ScopeExecuter&) override
    {
        s_Runs.push_back(GetName());
        hOut->SetData(&m_iValue, m_bEdited);
        m_bEdited = false;
    }
    PortHandle<SimplePortT<int>> hOut;
    int m_iValue = 1;
    bool m_bEdited = true;
    GLuint m_uiBuffer = 0;
};

// Sums "A" and "B" into "Sum"; remembers whether an input reported a change.
class Adder : public Ondo::OpenGL::BaseFilter {
public:
    Adder(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override
    {
        CreatePort(hA, {PortType::Input, "A", false});
        CreatePort(hB, {PortType::Input, "B", false});
        CreatePort(hSum, {PortType::Output, "Sum", false});
    }
    void Serialize(Serialization::Serializer& serializer) override
    {
        serializer.Serialize("hA", hA);
        serializer.Serialize("hB", hB);
        serializer.Serialize("hSum", hSum);
        serializer.Serialize("strNote", m_strNote);
    }
    void Process(ScopeExecuter&) override
    {
        s_Runs.push_back(GetName());
        m_bInputChanged = hA->HasChanged() || hB->HasChanged();
        m_iSum = *hA->GetData() + *hB->GetData();
        hSum->SetData(&m_iSum, m_bInputChanged);
    }
    PortHandle<SimplePortT<int>> hA, hB, hSum;
    int m_iSum = 0;
    bool m_bInputChanged = false;
    std::string m_strNote = "plain";
};

// Takes one input of every kind a literal can give, and a texture.
class Sink : public Ondo::OpenGL::BaseFilter {
public:
    Sink(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override
    {
        CreatePort(hFloat, {PortType::Input, "Float", true});
        CreatePort(hMatrix, {PortType::Input, "Matrix", true});
        CreatePort(hTexture, {PortType::Input, "Texture", true});
    }
    void Process(ScopeExecuter&) override {}
    PortHandle<SimplePortT<float>> hFloat;
    PortHandle<SimplePortT<Ondo::Matrix44f>> hMatrix;
    PortHandle<SimplePortT<Ondo::OpenGL::TextureObject2D>> hTexture;
};

// Fails as its "Mode" control says: 1 throws, 2 leaves a GL error, 3 reports
// an error to the core; 0 runs cleanly.
class Failing : public Ondo::OpenGL::BaseFilter {
public:
    Failing(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override {}
    void Instrument(Ondo::Instrumenter& instrumenter) override { instrumenter.AddInt("Mode", &m_iMode, nullptr); }
    void Process(ScopeExecuter&) override
    {
        s_Runs.push_back(GetName());
        if (m_iMode == 1) throw std::runtime_error("\"In\" is broken");
        if (m_iMode == 2) glEnable(0xFFFF);
        if (m_iMode == 3) GetCore().ReportError("\"In\" carries no value");
    }
    int m_iMode = 0;
};

template <class F>
void Register(Ondo::Core& core, const char* szType)
{
    FilterRegistry::Get(core).RegisterFilter(
        {szType, "", "", "", [](Ondo::Core& c, const std::string& n) -> Filter* { return new F(c, n); }});
}

class GraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OndoTest::TestDevice();
        m_Core.LoadPlugin(PRISMVALE_MODULE_PATH);
        Register<Source>(m_Core, "Test.Source");
        Register<Adder>(m_Core, "Test.Add");
        Register<Sink>(m_Core, "Test.Sink");
        Register<Failing>(m_Core, "Test.Fail");
        s_Runs.clear();
    }

    std::unique_ptr<Graph> Load(const std::string& strText)
    {
        return LoadGraphFromText(m_Core, &OndoTest::TestDevice(), strText, "test.xml");
    }
    std::string LoadError(const std::string& strText)
    {
        return Thrown([&] { Load(strText); });
    }
    // Each text is refused with a message that starts as given.
    void ExpectLoadErrors(const std::vector<std::pair<std::string, std::string>>& cases)
    {
        for (const auto& [strText, strExpected] : cases)
            EXPECT_EQ(LoadError(strText).substr(0, strExpected.size()), strExpected) << strText.substr(0, 300);
    }

    Ondo::Core m_Core;
};

// A graph in a scope of its own, with the text of its filters and connections.
std::string Document(const std::string& strBody)
{
    return "<?xml version=\"1.0\" ?>\n<OndoGraph version=\"1\">\n<Scope name=\"Root\">\n" + strBody +
           "</Scope>\n</OndoGraph>\n";
}

} // namespace

TEST_F(GraphTest, RunsInConnectionOrderAndPassesChangedFlagsOncePerFrame)
{
    auto pGraph = Load(Document("<Filter type=\"Test.Add\" name=\"Add\"/>\n"
                                "<Filter type=\"Test.Source\" name=\"Two\"><Control label=\"Value\" value=\"2\"/></Filter>\n"
                                "<Filter type=\"Test.Source\" name=\"Three\"><Control label=\"Value\" value=\"3\"/></Filter>\n"
                                "<Connection from=\"Two\" output=\"Out\" to=\"Add\" input=\"A\"/>\n"
                                "<Connection from=\"Three\" output=\"Out\" to=\"Add\" input=\"B\"/>\n"));
    auto& add = dynamic_cast<Adder&>(pGraph->RequireItem("Add"));
    ScopeExecuter executer;
    pGraph->RunFrame(executer);
    EXPECT_EQ(s_Runs, (std::vector<std::string>{"Two", "Three", "Add"}));
    EXPECT_EQ(add.m_iSum, 5);
    EXPECT_TRUE(add.m_bInputChanged);
    EXPECT_FALSE(add.hSum->HasChanged()) << "flags are cleared once the frame is over";

    pGraph->RunFrame(executer);
    EXPECT_FALSE(add.m_bInputChanged) << "nothing changed in the second frame";

    pGraph->SetControl("Three", "Value", "10");
    pGraph->RunFrame(executer);
    EXPECT_TRUE(add.m_bInputChanged);
    EXPECT_EQ(add.m_iSum, 12);

    EXPECT_EQ(Thrown([&] { pGraph->SetControl("Three", "Value", "ten"); }),
              "\"Three\" (Test.Source): Control \"Value\" (int) does not take \"ten\": expected a whole number");
}

// A failing item is named, with its type, once, to whatever runs the graph: when it throws, leaves a GL
// error or reports to the core, also inside a control-flow scope. Nothing after it runs.
TEST_F(GraphTest, ARunStopsAtAFailingItemAndNamesItOnce)
{
    const std::string strMessages[] = {"", "\"In\" is broken", "GL error GL_INVALID_ENUM after Process",
                                       "\"In\" carries no value"};
    for (bool bInside : {false, true}) {
        for (int iMode = 1; iMode <= 3; ++iMode) {
            SCOPED_TRACE(std::to_string(iMode) + (bInside ? " inside the timer" : ""));
            Graph graph(m_Core);
            graph.AttachDevice(OndoTest::TestDevice());
            Scope* pScope = &graph.GetRoot();
            if (bInside) {
                auto& timer = dynamic_cast<CtrlFlowFilter&>(graph.AddItem(*pScope, "Ctrl.TimingScopeOpenGL", "Timer"));
                pScope = timer.GetScopeHandles().front().Get();
            }
            graph.AddItem(*pScope, "Test.Fail", "F");
            graph.AddItem(graph.GetRoot(), "Test.Source", "After");
            graph.SetControl("F", "Mode", std::to_string(iMode));
            s_Runs.clear();
            ScopeExecuter executer;
            EXPECT_EQ(Thrown<ItemError>([&] { graph.RunFrame(executer); }), "\"F\" (Test.Fail): " + strMessages[iMode]);
            EXPECT_EQ(s_Runs, std::vector<std::string>{"F"});
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "the error state was read";

            // Mended, the same graph and executer run the next frame.
            graph.SetControl("F", "Mode", "0");
            EXPECT_NO_THROW(graph.RunFrame(executer));
        }
    }

    // A GL error made outside the graph is not laid at a filter's door.
    Graph graph(m_Core);
    graph.AttachDevice(OndoTest::TestDevice());
    graph.AddItem(graph.GetRoot(), "Test.Fail", "F");
    glEnable(0xFFFF);
    ScopeExecuter executer;
    EXPECT_EQ(Thrown<ItemError>([&] { graph.RunFrame(executer); }),
              "GL error GL_INVALID_ENUM was left before \"F\" (Test.Fail) ran, by code outside the graph");
}

// A file-name control takes only a regular file; a graph saved elsewhere names its files from there
// (relative names taken from the current folder, as loading takes them).
TEST_F(GraphTest, FileNamesAreCheckedWhenEditedAndFollowASavedGraph)
{
    namespace fs = std::filesystem;
    const fs::path base = fs::path(::testing::TempDir()) / ("graph-files-" + std::to_string(::getpid()));
    fs::create_directories(base / "images");
    fs::create_directories(base / "saved");
    std::ofstream(base / "images" / "a.png") << "bytes";
    const fs::path start = fs::current_path(), absolute = base / "images" / "a.png";
    fs::current_path(base / "images");

    Graph graph(m_Core);
    graph.AddItem(graph.GetRoot(), "OpenGL.Texture.LoadFromFile", "Photo");
    graph.AddItem(graph.GetRoot(), "OpenGL.Texture.LoadFromFile", "Fixed");
    graph.SetControl("Photo", "File name", "a.png");
    graph.SetControl("Fixed", "File name", absolute.string());
    for (const auto& [strValue, strWhy] : {std::pair<std::string, std::string>{"b.png", "does not exist"},
                                           {base.string(), "is no regular file"},
                                           {"/dev/zero", "is no regular file"}})
        EXPECT_EQ(Thrown([&] { graph.SetControl("Photo", "File name", strValue); }),
                  "\"Photo\" (OpenGL.Texture.LoadFromFile): \"File name\" cannot name " + strValue + ", which " + strWhy);
    EXPECT_EQ(Ondo::Instrumenter::ValueText(*graph.GetInstrumenter("Photo").FindControl("File name")), "a.png")
        << "a refused name is not taken";

    SaveGraph(graph, (base / "saved" / "graph.xml").string());
    EXPECT_NE(SaveGraphToText(graph).find("<FileName value=\"a.png\" />"), std::string::npos) << "the names in force stay";
    const std::string strSaved = OndoTest::ReadFile((base / "saved" / "graph.xml").string());
    for (const std::string& strName : {std::string("../images/a.png"), absolute.string()})
        EXPECT_NE(strSaved.find("<FileName value=\"" + strName + "\" />"), std::string::npos) << strSaved;
    fs::current_path(base / "saved");
    EXPECT_NO_THROW(LoadGraph(m_Core, nullptr, "graph.xml"));
    fs::current_path(start);
    fs::remove_all(base);
}

TEST_F(GraphTest, SaveLoadSaveGivesTheSameDocument)
{
    Graph graph(m_Core);
    graph.AttachDevice(OndoTest::TestDevice());
    Scope& root = graph.GetRoot();
    graph.AddItem(root, "Test.Source", "One");
    auto& add = dynamic_cast<Adder&>(graph.AddItem(root, "Test.Add", "Add <&> \"quoted\""));
    add.m_strNote = "line one\nline \"two\"";
    graph.AddItem(root, "Test.Sink", "Sink");
    graph.Connect(root, "One", "Out", "Add <&> \"quoted\"", "A");
    graph.SetLiteral("Add <&> \"quoted\"", "B", "-4");
    graph.SetLiteral("Sink", "Matrix", "1 2 3 4  0 1 0 0  0 0 1 0  0 0 0 1");
    graph.SetLiteral("Sink", "Float", "0.1");

    // A timed scope with one boundary port and a filter inside.
    graph.AddItem(root, "Ctrl.TimingScopeOpenGL", "Timer");
    graph.AddBoundaryPort("Timer", "Value", "int", BoundaryBoth);
    auto& timer = dynamic_cast<CtrlFlowFilter&>(graph.RequireItem("Timer"));
    Scope& inner = *timer.GetScopeHandles().front().Get();
    graph.AddItem(inner, "Test.Add", "Inner");
    graph.Connect(inner, Graph::ScopePortsName, "Value", "Inner", "A");
    graph.SetLiteral("Inner", "B", "100");
    graph.Connect(inner, "Inner", "Sum", Graph::ScopePortsName, "Value");
    graph.Connect(root, "One", "Out", "Timer", "Value");

    const std::string strFirst = SaveGraphToText(graph);
    auto pLoaded = Load(strFirst);
    EXPECT_EQ(SaveGraphToText(*pLoaded), strFirst);
    EXPECT_EQ(dynamic_cast<Adder&>(pLoaded->RequireItem("Add <&> \"quoted\"")).m_strNote, add.m_strNote);

    // The loaded graph runs: the boundary carries 1 in and 101 out.
    ScopeExecuter executer;
    pLoaded->RunFrame(executer);
    EXPECT_EQ(dynamic_cast<Adder&>(pLoaded->RequireItem("Inner")).m_iSum, 101);
    auto& loadedTimer = dynamic_cast<CtrlFlowFilter&>(pLoaded->RequireItem("Timer"));
    EXPECT_EQ(*static_cast<int*>(loadedTimer.FindPort("Value", true)->GetDataPointer()), 101);
    const auto& sink = dynamic_cast<Sink&>(pLoaded->RequireItem("Sink"));
    EXPECT_EQ((*sink.hMatrix->GetData())(0, 3), 4.0f) << "matrices are written row by row";
    EXPECT_EQ(*sink.hFloat->GetData(), 0.1f);
}

TEST_F(GraphTest, ConnectionsOfRemovedPortsAreSetAsideAndComeBackWithThePort)
{
    Graph graph(m_Core);
    graph.AttachDevice(OndoTest::TestDevice());
    Scope& root = graph.GetRoot();
    graph.AddItem(root, "OpenGL.Texture.MultiSource2D", "Targets");
    graph.SetLiteral("Targets", "Width", "4");
    graph.SetLiteral("Targets", "Height", "4");
    graph.SetControl("Targets", "Number of Textures", "3");
    graph.AddItem(root, "Test.Sink", "Sink");
    graph.Connect(root, "Targets", "2", "Sink", "Texture");
    const auto& sink = dynamic_cast<Sink&>(graph.RequireItem("Sink"));

    graph.SetControl("Targets", "Number of Textures", "2");
    EXPECT_FALSE(root.IsConnected(*sink.hTexture)) << "output \"2\" is gone";
    EXPECT_EQ(SaveGraphToText(graph).find("input=\"Texture\""), std::string::npos) << "and is not saved";
    ScopeExecuter executer;
    EXPECT_NO_THROW(graph.RunFrame(executer));

    graph.SetControl("Targets", "Number of Textures", "3");
    EXPECT_TRUE(root.IsConnected(*sink.hTexture)) << "a new \"2\" under the same index takes it back";
    graph.RunFrame(executer);
    EXPECT_NE(sink.hTexture->GetData(), nullptr);
}

TEST_F(GraphTest, LiteralsTakeTheTextFormOfTheirType)
{
    const std::vector<std::pair<std::string, std::string>> roundTrips = {
        {"float", "-2.5"}, {"int", "-7"}, {"Ondo::Vector2f", "0.5 1"}, {"Ondo::Vector3f", "1 2 3"},
        {"Ondo::Vector4f", "1 2 3 4"}, {"Ondo::Vector2i", "-1 2"},
        {"Ondo::Matrix44f", "1 0 0 5 0 1 0 6 0 0 1 7 0 0 0 1"}, {"std::string", " spaces kept "},
        {"std::vector< float >", "1 2.5 3"}, {"std::vector< Ondo::Vector3f >", "1 2 3, 4 5 6"},
        {"std::vector< Ondo::Vector4f >", "1 2 3 4"},
    };
    for (const auto& [strType, strText] : roundTrips) {
        auto pValue = MakeValueHolder(strType);
        ASSERT_NE(pValue, nullptr) << strType;
        pValue->Parse(strText);
        EXPECT_EQ(pValue->Format(), strText) << strType;
    }
    auto pVector = MakeValueHolder("Ondo::Vector3f");
    pVector->Parse("1, 2,3");
    EXPECT_EQ(pVector->Format(), "1 2 3") << "commas separate numbers as well";
    for (const auto& [szType, szText] : {std::pair{"Ondo::Vector3f", "1 2"}, {"int", "1.5"}, {"std::vector< Ondo::Vector4f >", "1 2 3"}})
        EXPECT_THROW(MakeValueHolder(szType)->Parse(szText), std::invalid_argument) << szType;
    auto pMatrix = MakeValueHolder("Ondo::Matrix44f");
    pMatrix->Parse("identity");
    EXPECT_EQ(*static_cast<Ondo::Matrix44f*>(pMatrix->GetPointer()), Ondo::Matrix44f::Identity());
    EXPECT_EQ(MakeValueHolder("Ondo::OpenGL::TextureObject2D"), nullptr);

    EXPECT_EQ(LoadError(Document("<Filter type=\"Test.Sink\" name=\"S\">\n<Input label=\"Float\" value=\"x\"/>\n</Filter>\n")),
              "test.xml:5: \"S\" input \"Float\": \"x\" is not a number (float)");
    EXPECT_EQ(LoadError(Document("<Filter type=\"Test.Sink\" name=\"S\">\n<Input label=\"Texture\" value=\"x\"/>\n</Filter>\n")),
              "test.xml:5: \"S\" input \"Texture\" carries Ondo::OpenGL::TextureObject2D, which cannot be given as text; "
              "connect a filter that makes one");
}

TEST_F(GraphTest, BadFilesAreRefusedWithTheLineAndTheNames)
{
    ExpectLoadErrors({
        {"<OndoGraph><Scope name=\"Root\"><Filter type=\"Test.Add\" name=\"A\"></Scope></OndoGraph>",
         "test.xml:1:"},
        {"<Graph/>", "test.xml:1: the document is not a graph: its root element is <Graph>, not <OndoGraph>"},
        {Document("<Filter type=\"Test.Nothing\" name=\"N\"/>\n"),
         "test.xml:4: Unknown filter type \"Test.Nothing\" for \"N\" (ondo-run --list shows the registered types)"},
        {Document("<Filter name=\"N\"/>\n"), "test.xml:4: <Filter> needs the attribute \"type\""},
        {Document("<Filter type=\"Test.Add\" name=\"A\"/>\n<Filter type=\"Test.Add\" name=\"A\"/>\n"),
         "test.xml:5: The graph has a filter named \"A\" already"},
        {Document("<Node/>\n"),
         "test.xml:4: unknown element <Node> in scope \"Root\" (a scope holds <Filter>, <Connection> and <Ports>)"},
        {Document("<Filter type=\"Test.Source\" name=\"S\"/>\n<Filter type=\"Test.Add\" name=\"A\"/>\n"
                  "<Connection from=\"S\" output=\"Output\" to=\"A\" input=\"A\"/>\n"),
         "test.xml:6: \"S\" (Test.Source) has no output \"Output\" (its outputs: \"Out\")"},
        {Document("<Filter type=\"Test.Source\" name=\"S\"/>\n<Filter type=\"Test.Sink\" name=\"K\"/>\n"
                  "<Connection from=\"S\" output=\"Out\" to=\"K\" input=\"Float\"/>\n"),
         "test.xml:6: Cannot connect \"S\" \"Out\" to \"K\" \"Float\": Cannot connect output \"Out\" (int) to input "
         "\"Float\" (float): the types differ"},
        {Document("<Filter type=\"Test.Add\" name=\"A\"/>\n<Filter type=\"Test.Add\" name=\"B\"/>\n"
                  "<Filter type=\"Test.Add\" name=\"C\"/>\n"
                  "<Connection from=\"A\" output=\"Sum\" to=\"B\" input=\"A\"/>\n"
                  "<Connection from=\"B\" output=\"Sum\" to=\"C\" input=\"A\"/>\n"
                  "<Connection from=\"C\" output=\"Sum\" to=\"A\" input=\"A\"/>\n"),
         "test.xml:3: The connections of scope \"Root\" form a cycle: \"A\" -> \"B\" -> \"C\" -> \"A\""},
        {Document("<Filter type=\"Test.Add\" name=\"A\"><Scope name=\"Inner\"/></Filter>\n"),
         "test.xml:4: \"A\" (Test.Add) has no inner scopes"},
        {Document("<Filter type=\"Test.Source\" name=\"S\"><Settings><hOut PortID=\"-1\"/><iValue value=\"x\"/>"
                  "</Settings></Filter>\n"),
         "test.xml:4: \"S\" (Test.Source): its settings could not be read: Could not parse \"x\" as int in xml node: "
         "iValue\n"},
        {Document("<Filter type=\"OpenGL.Texture.LoadFromFile\" name=\"L\"><Settings><hOutTexture PortID=\"-1\"/>"
                  "<FileName value=\"/dev/zero\"/><bTextureIsMutable value=\"0\"/><bCreateMipMaps value=\"0\"/>"
                  "</Settings></Filter>\n"),
         "test.xml:4: \"L\" (OpenGL.Texture.LoadFromFile): \"File name\" cannot name /dev/zero, which is no regular file"},
    });
    EXPECT_THROW(LoadGraph(m_Core, nullptr, "/nonexistent/graph.xml"), std::runtime_error);
}

TEST_F(GraphTest, DamagedOrHostileFilesAreRefusedBeforeTheyCanHarm)
{
    const std::string strTimed = "<Filter type=\"Ctrl.TimingScopeOpenGL\" name=";
    std::string strTooDeep = "<OndoGraph>\n";
    for (int i = 0; i < 60000; ++i) strTooDeep += "<a>";
    ExpectLoadErrors({
        {"<OndoGraph version=\"99\"><Scope name=\"Root\"/></OndoGraph>",
         "test.xml:1: the document is a graph of version \"99\"; this engine reads version \"1\""},
        {"<OndoGraph version=\"1\"><Scope name=\"Root\"/>\n<Scope name=\"Root\"/></OndoGraph>",
         "test.xml:2: <OndoGraph> has a second root <Scope>"},
        {Document(strTimed + "\"T\"><Scope name=\"Timed Scope\"/>\n<Scope name=\"Timed Scope\"/></Filter>\n"),
         "test.xml:5: \"T\" (Ctrl.TimingScopeOpenGL) has its inner scope \"Timed Scope\" twice"},
        // Settings may name the filter's own ports and scopes only: not
        // another filter's port, not the scope the filter sits in.
        {Document("<Filter type=\"Test.Source\" name=\"S\"><Ports><Port id=\"1\" label=\"Out\" direction=\"out\"/>"
                  "</Ports></Filter>\n<Filter type=\"Test.Add\" name=\"A\"><Settings><hA PortID=\"1\"/></Settings>"
                  "</Filter>\n"),
         "test.xml:5: \"A\" (Test.Add): its settings could not be read: \"hA\" names port 1 (\"Out\"), which is "
         "not a port of this filter"},
        {Document(strTimed + "\"T1\"><Scope name=\"Timed Scope\" id=\"1\">\n" + strTimed +
                  "\"T2\"><Settings><hScopeTimed ScopeID=\"1\"/></Settings></Filter>\n</Scope></Filter>\n"),
         "test.xml:5: \"T2\" (Ctrl.TimingScopeOpenGL): its settings could not be read: \"hScopeTimed\" names scope 1 "
         "(\"Timed Scope\"), which is not a scope of this filter"},
        // Numbers that name nothing would leave the filter without its port
        // or scope; a scope named twice would run twice.
        {Document("<Filter type=\"Test.Add\" name=\"A\"><Settings><hA PortID=\"55\"/></Settings></Filter>\n"),
         "test.xml:4: \"A\" (Test.Add): its settings could not be read: <hA> names port 55, which is no port of "
         "this filter"},
        {Document("<Filter type=\"Test.Add\" name=\"A\"><Settings><hA PortID=\"1x\"/></Settings></Filter>\n"),
         "test.xml:4: \"A\" (Test.Add): its settings could not be read: <hA> gives \"1x\", which is no port or "
         "scope number"},
        {Document(strTimed + "\"T1\"><Scope name=\"Timed Scope\" id=\"1\"/></Filter>\n" + strTimed +
                  "\"T2\"><Scope name=\"Timed Scope\" id=\"2\"/><Settings><hScopeTimed ScopeID=\"1\"/></Settings>"
                  "</Filter>\n"),
         "test.xml:5: \"T2\" (Ctrl.TimingScopeOpenGL): its settings could not be read: \"hScopeTimed\" names scope 1 "
         "(\"Timed Scope\"), which is not a scope of this filter"},
        {Document(strTimed + "\"T\"><Settings><hScopeTimed ScopeID=\"7\"/></Settings></Filter>\n"),
         "test.xml:4: \"T\" (Ctrl.TimingScopeOpenGL): its settings could not be read: <hScopeTimed> names scope 7, "
         "which the document does not number"},
        // The parser would take 0xE9 for the first of three bytes and
        // swallow the quote after it; 0xC0 0xAF is an overlong '/'.
        {Document("<Filter type=\"Test.Source\" name=\"S\xE9\"/>\n"),
         "test.xml:4: byte 0xE9 at column 35 is no UTF-8 (graph files are UTF-8 text)"},
        {"<OndoGraph version=\"1\"><Scope name=\"R\xC0\xAF\"/></OndoGraph>",
         "test.xml:1: byte 0xC0 at column 38 is no UTF-8"},
        // Measured on the text: the parser never sees it.
        {strTooDeep, "test.xml:2: elements are nested more than 1000 deep, the limit"},
    });

    // Scopes nested one a line: the 101st is one too many, unless the limit
    // is raised.
    std::string strNested;
    for (int i = 0; i < 101; ++i) strNested += strTimed + "\"T" + std::to_string(i) + "\"><Scope name=\"Timed Scope\">\n";
    for (int i = 0; i < 101; ++i) strNested += "</Scope></Filter>";
    ExpectLoadErrors({{Document(strNested + "\n"),
                       "test.xml:104: scope \"Timed Scope\" is nested 101 scopes deep, more than the limit of 100"}});
    EXPECT_NO_THROW(LoadGraphFromText(m_Core, nullptr, Document(strNested + "\n"), "test.xml", GraphLimits{1000, 101}));

    // The parser is handed text that ends inside a UTF-8 sequence followed
    // by enough zeros: it would step over the terminator and read on, here
    // into the rest of the document the text was cut from, which closes the
    // attribute and the elements.
    const std::string strCut = "<?xml version=\"1.0\"?><a b=\"\xE9";
    std::string strCutFrom = strCut + "..\"/>";
    strCutFrom.resize(strCut.size());
    TiXmlDocument document;
    Ondo::ParseXml(document, strCutFrom);
    EXPECT_TRUE(document.Error());

    // Comments, CDATA and quoted '>' do not nest.
    const Ondo::XmlDepth depth = Ondo::MeasureXmlDepth("<a>\n<!-- <b><c> -->\n<b x=\"/>\"><![CDATA[<c>]]></b><d/></a>", 100);
    EXPECT_EQ(std::make_pair(depth.m_iDepth, depth.m_iLine), std::make_pair(2, 3));
}

TEST_F(GraphTest, AFailedLoadReleasesWhatWasMadeAndSavingIsAtomic)
{
    const int iBuffers = OndoTest::CountLive(glIsBuffer);
    // Both sources get their buffers before the bad connection is found.
    EXPECT_NE(LoadError(Document("<Filter type=\"Test.Source\" name=\"S\"/>\n<Filter type=\"Test.Source\" name=\"T\"/>\n"
                                 "<Connection from=\"S\" output=\"Out\" to=\"T\" input=\"Nope\"/>\n")),
              "(nothing thrown)");
    EXPECT_EQ(OndoTest::CountLive(glIsBuffer), iBuffers);

    Graph graph(m_Core);
    graph.AddItem(graph.GetRoot(), "Test.Source", "S");
    EXPECT_THROW(SaveGraph(graph, "/nonexistent/dir/graph.xml"), Ondo::ExceptionFileSystem);
    // A link planted under the file's name is replaced, not written through,
    // and no temporary file is left beside it.
    const std::string strFolder = ::testing::TempDir() + "graph-save-" + std::to_string(::getpid());
    std::filesystem::create_directories(strFolder);
    const std::string strPath = strFolder + "/graph-test.xml", strVictim = strFolder + "/victim";
    std::ofstream(strVictim) << "keep";
    std::filesystem::create_symlink(strVictim, strPath);
    SaveGraph(graph, strPath);
    EXPECT_FALSE(std::filesystem::is_symlink(strPath));
    EXPECT_EQ(OndoTest::ReadFile(strPath), SaveGraphToText(graph));
    EXPECT_EQ(OndoTest::ReadFile(strVictim), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(strFolder), {}), 2);
    std::filesystem::remove_all(strFolder);

    // Quotes and backslashes in names are escaped, or dot reads another graph.
    graph.AddItem(graph.GetRoot(), "Test.Source", "a \"b\" \\c");
    const std::string strDot = GraphToDot(graph);
    EXPECT_NE(strDot.find("\"S\" [label=\"S\\nTest.Source\"];"), std::string::npos) << strDot;
    EXPECT_NE(strDot.find("\"a \\\"b\\\" \\\\c\" [label=\"a \\\"b\\\" \\\\c\\nTest.Source\"];"), std::string::npos)
        << strDot;
}
