// The texture sources and the multi-target clear: outputs added and removed
// at run time, formats, rebuilds, clears, settings and graph files.

#include "src/ComputeFilterTestSupport.h"

#include "host/FlowGraph/GraphFile.h"

#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Instrumenter.h"

#include <array>
#include <stdexcept>
#include <utility>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;
using Ondo::OpenGL::TextureObject3D;
using OndoTest::CountLive;

namespace {

// Width, height, depth, internal format and immutable levels of level 0.
using Level0 = std::array<GLint, 5>;
Level0 Describe(GLenum eTarget, GLuint uiTexture)
{
    Level0 level{};
    glBindTexture(eTarget, uiTexture);
    const GLenum queries[] = {GL_TEXTURE_WIDTH, GL_TEXTURE_HEIGHT, GL_TEXTURE_DEPTH, GL_TEXTURE_INTERNAL_FORMAT};
    for (std::size_t i = 0; i < 4; ++i) glGetTexLevelParameteriv(eTarget, 0, queries[i], &level[i]);
    glGetTexParameteriv(eTarget, GL_TEXTURE_IMMUTABLE_LEVELS, &level[4]);
    glBindTexture(eTarget, 0);
    return level;
}

using Labels = std::vector<std::pair<int, std::string>>;

// A registered filter outside a graph, with its controls, bound to the test
// device until the end of the scope.
struct Made {
    explicit Made(const std::string& strType)
    {
        pFilter = OndoTest::MakeFilter(core, strType);
        pFilter->Instrument(controls);
        pFilter->AttachDevice(OndoTest::TestDevice());
    }
    ~Made() { pFilter->DetachDevice(); }

    template <class T>
    void Give(const std::string& strInput, T* pValue, bool bChanged)
    {
        PortHandle<SimplePortT<T>>(pFilter->FindPort(strInput, false))->SetData(pValue, bChanged);
    }
    void Run() { pFilter->Execute(executer); }
    // What a run throws, or "(none)".
    std::string RunError() { return OndoTest::ErrorOf([this] { Run(); }, "(none)"); }
    SimplePortT<TextureObject2D>& Out(const std::string& strLabel)
    {
        return *PortHandle<SimplePortT<TextureObject2D>>(pFilter->FindPort(strLabel, true));
    }
    // Index and label of every port; selected item and label of every choice.
    Labels Ports() const
    {
        Labels ports;
        for (const auto& hPort : pFilter->GetPortHandles())
            ports.emplace_back(static_cast<int>(hPort.GetIndex()), hPort->GetLabel());
        return ports;
    }
    Labels Choices() const
    {
        Labels choices;
        for (const auto& control : controls.GetControls())
            if (control.m_eKind == Ondo::Instrumenter::ControlKind::Choice)
                choices.emplace_back(control.m_iSelected, control.m_strLabel);
        return choices;
    }
    std::vector<GLint> Formats(int iCount)
    {
        std::vector<GLint> formats;
        for (int i = 0; i < iCount; ++i)
            formats.push_back(Describe(GL_TEXTURE_2D, Out(std::to_string(i)).GetData()->m_uiName)[3]);
        return formats;
    }

    Ondo::Core core;
    Ondo::Instrumenter controls;
    ScopeExecuter executer;
    std::shared_ptr<Ondo::OpenGL::BaseFilter> pFilter;
};

} // namespace

TEST(TextureSources, Source2DFollowsSizesCountsAndChoicesAndReportsChangesOnce)
{
    OndoTest::TestDevice();
    const int iTextures = CountLive(glIsTexture);
    {
        Made src("OpenGL.Texture.MultiSource2D");
        int iWidth = 0, iHeight = 5;
        for (bool bChanged : {true, false}) {
            src.Give("Width", &iWidth, bChanged);
            src.Give("Height", &iHeight, bChanged);
            src.Run();
            EXPECT_EQ(Describe(GL_TEXTURE_2D, src.Out("0").GetData()->m_uiName), (Level0{1, 5, 1, GL_RGBA8, 1}));
            EXPECT_EQ(src.Out("0").HasChanged(), bChanged) << "made in the first run only";
        }
        // A size without a value or below 1 counts as 1, and the run is told
        // so; one beyond the GL's limit is refused before anything is made.
        iHeight = 4;
        src.Give<int>("Width", nullptr, true);
        src.controls.SetControl("Texture0", "GL_R32F");
        src.Run();
        EXPECT_EQ(Describe(GL_TEXTURE_2D, src.Out("0").GetData()->m_uiName), (Level0{1, 4, 1, GL_R32F, 1}));
        GLint iLimit = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &iLimit);
        for (int iBad : {-1, iLimit + 1}) {
            iWidth = iBad;
            src.Give("Width", &iWidth, true);
            EXPECT_EQ(src.RunError(), iBad > 0 ? "\"Width\" is " + std::to_string(iBad) + ", beyond GL_MAX_TEXTURE_SIZE (" +
                                                     std::to_string(iLimit) + ")"
                                               : "(none)");
        }
        const std::string strBelow = "; a texture is at least 1 texel in each direction";
        EXPECT_EQ(src.core.GetErrors(),
                  (std::vector<std::string>{"\"Width\" is 0" + strBelow,
                                            "\"Width\" carries no value; 1 was used",
                                            "\"Width\" is -1" + strBelow}));
        EXPECT_EQ(Describe(GL_TEXTURE_2D, src.Out("0").GetData()->m_uiName), (Level0{1, 4, 1, GL_R32F, 1}))
            << "a size refused deletes nothing";
        iWidth = 3;
        src.Give("Width", &iWidth, false);

        src.controls.SetControl("Number of Textures", "3");
        EXPECT_EQ(src.Ports(), (Labels{{0, "Width"}, {1, "Height"}, {2, "0"}, {3, "1"}, {4, "2"}}));
        EXPECT_EQ(src.Choices(), (Labels{{15, "Texture0"}, {0, "Texture1"}, {0, "Texture2"}}));
        src.Run();
        EXPECT_EQ(src.Formats(3), (std::vector<GLint>{GL_R32F, GL_RGBA8, GL_RGBA8}));
        EXPECT_EQ(Describe(GL_TEXTURE_2D, src.Out("2").GetData()->m_uiName), (Level0{3, 4, 1, GL_RGBA8, 1}));
        EXPECT_TRUE(src.Out("2").HasChanged());

        src.controls.SetControl("Number of Textures", "2");
        EXPECT_EQ(src.Ports(), (Labels{{0, "Width"}, {1, "Height"}, {2, "0"}, {3, "1"}}));
        EXPECT_EQ(src.Choices(), (Labels{{15, "Texture0"}, {0, "Texture1"}}));
        src.controls.SetControl("Texture1", "GL_DEPTH24_STENCIL8");
        src.Run();
        EXPECT_EQ(src.Formats(2), (std::vector<GLint>{GL_R32F, GL_DEPTH24_STENCIL8}));
        EXPECT_TRUE(src.Out("0").HasChanged()) << "every texture is made anew";
        src.Run();
        EXPECT_FALSE(src.Out("1").HasChanged());

        // Settings read back with a stored type list shorter than the count.
        TiXmlDocument document;
        TiXmlElement* pRoot = OndoTest::Settings(*src.pFilter, document);
        TiXmlElement* pTypes = pRoot->FirstChildElement("TextureTypes");
        pTypes->RemoveChild(pTypes->LastChild());
        OndoTest::Settings(*src.pFilter, document, pRoot);
        EXPECT_EQ(src.Ports(), (Labels{{0, "Width"}, {1, "Height"}, {2, "0"}, {3, "1"}}));
        src.Run();
        EXPECT_EQ(src.Formats(2), (std::vector<GLint>{GL_R32F, GL_RGBA8})) << "padded with GL_RGBA8";

        // Released, the textures are made again by the next run.
        src.pFilter->ReleaseResources(OndoTest::TestDevice(), OndoTest::TestDevice().GetContext());
        src.Run();
        EXPECT_EQ(src.Formats(2), (std::vector<GLint>{GL_R32F, GL_RGBA8}));
        EXPECT_TRUE(src.Out("1").HasChanged());
    }
    EXPECT_EQ(CountLive(glIsTexture), iTextures);
}

TEST(TextureSources, SimilarSourceFollowsItsInputAndItsSwizzleAndWaitsWhileItHasNone)
{
    OndoTest::TestDevice();
    const int iTextures = CountLive(glIsTexture);
    auto swizzle = [](GLuint uiTexture) {
        std::array<GLint, 4> rgba{};
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, rgba.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return rgba;
    };
    const std::array<GLint, 4> grey{GL_RED, GL_RED, GL_RED, GL_ONE}, plain{GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    {
        TextureObject2D first = OndoTest::MakeTexture(3, 2, GL_R32F), second = OndoTest::MakeTexture(5, 4, GL_RGBA16F);
        glBindTexture(GL_TEXTURE_2D, first.m_uiName);
        glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, grey.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        Made similar("OpenGL.Texture.SimilarMultiSource2D");
        similar.controls.SetControl("Number of Textures", "2");
        EXPECT_EQ(similar.Ports(), (Labels{{0, "Texture"}, {1, "0"}, {2, "1"}}));
        auto names = [&] {
            return std::vector<GLuint>{similar.Out("0").GetData()->m_uiName, similar.Out("1").GetData()->m_uiName};
        };
        similar.Give("Texture", &first, true);
        similar.Run();
        const std::vector<GLuint> made = names();
        for (GLuint uiName : made) {
            EXPECT_EQ(Describe(GL_TEXTURE_2D, uiName), (Level0{3, 2, 1, GL_R32F, 1}));
            EXPECT_EQ(swizzle(uiName), grey) << "a grey input's copies look grey too";
        }
        EXPECT_TRUE(similar.Out("1").HasChanged());
        similar.Give("Texture", &first, false);
        similar.Run();
        EXPECT_EQ(names(), made);
        EXPECT_FALSE(similar.Out("1").HasChanged());

        similar.Give("Texture", &second, true);
        similar.Run();
        const std::vector<GLuint> remade = names();
        for (GLuint uiName : remade) {
            EXPECT_EQ(Describe(GL_TEXTURE_2D, uiName), (Level0{5, 4, 1, GL_RGBA16F, 1}));
            EXPECT_EQ(swizzle(uiName), plain);
        }
        EXPECT_TRUE(similar.Out("0").HasChanged());
        similar.Give<TextureObject2D>("Texture", nullptr, true);
        similar.Run();
        EXPECT_EQ(names(), remade) << "the outputs stay as they were";
        EXPECT_EQ(similar.core.GetErrors(),
                  std::vector<std::string>{"\"Texture\" carries no texture; the textures were not rebuilt"});

        // Released, the textures are made again by the next run.
        similar.Give("Texture", &second, false);
        similar.Run();
        similar.pFilter->ReleaseResources(OndoTest::TestDevice(), OndoTest::TestDevice().GetContext());
        similar.Run();
        EXPECT_EQ(Describe(GL_TEXTURE_2D, names()[1]), (Level0{5, 4, 1, GL_RGBA16F, 1}));
        first.Release();
        second.Release();
    }
    EXPECT_EQ(CountLive(glIsTexture), iTextures);
}

TEST(TextureSources, MultiClearClearsColourAndDepthPassesDepthStencilOnAndRefusesWhatItCannotClear)
{
    OndoTest::TestDevice();
    const int iFramebuffers = CountLive(glIsFramebuffer);
    {
        TextureObject2D colour = OndoTest::MakeTexture(4, 3, GL_RGBA8, std::vector<float>(48, 0.5f));
        TextureObject2D depth = OndoTest::MakeTexture(4, 3, GL_DEPTH_COMPONENT24);
        TextureObject2D stencil = OndoTest::MakeTexture(4, 3, GL_DEPTH24_STENCIL8);
        // Depth or depth-stencil texels written (when bWrite) and read back.
        auto texels = [](TextureObject2D& texture, GLenum eFormat, GLenum eType, auto values, bool bWrite) {
            glBindTexture(GL_TEXTURE_2D, texture.m_uiName);
            if (bWrite) glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 4, 3, eFormat, eType, values.data());
            glGetTexImage(GL_TEXTURE_2D, 0, eFormat, eType, values.data());
            return values;
        };
        const std::vector<GLuint> packed(12, (0x400000u << 8) | 7u); // depth 0.25, stencil 7
        texels(depth, GL_DEPTH_COMPONENT, GL_FLOAT, std::vector<float>(12, 0.25f), true);
        texels(stencil, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, packed, true);

        Made clear("OpenGL.Texture.MultiClear");
        clear.controls.SetControl("Number of Targets", "3");
        EXPECT_EQ(clear.Ports(), (Labels{{0, "ClearColor"}, {1, "ClearDepth"}, {2, "Target0"}, {3, "Clear Target0"},
                                         {4, "Target1"}, {5, "Clear Target1"}, {6, "Target2"}, {7, "Clear Target2"}}));
        TextureObject2D* targets[] = {&colour, &depth, &stencil};
        for (int i = 0; i < 3; ++i) clear.Give("Target" + std::to_string(i), targets[i], false);
        clear.Run();
        const std::vector<float> cleared = OndoTest::ReadTexture(colour);
        for (std::size_t i = 0; i < cleared.size(); ++i) ASSERT_EQ(cleared[i], i % 4 == 3 ? 1.0f : 0.0f) << i;
        EXPECT_EQ(texels(depth, GL_DEPTH_COMPONENT, GL_FLOAT, std::vector<float>(12), false),
                  std::vector<float>(12, 1.0f));
        EXPECT_EQ(texels(stencil, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, std::vector<GLuint>(12), false), packed)
            << "depth-stencil targets are not cleared";
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(clear.Out("Clear Target" + std::to_string(i)).GetData(), targets[i]);
            EXPECT_TRUE(clear.Out("Clear Target" + std::to_string(i)).HasChanged());
        }

        // The framebuffer is unbound and holds no attachment.
        GLint iBound = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &iBound);
        EXPECT_EQ(iBound, 0);
        ASSERT_EQ(CountLive(glIsFramebuffer), iFramebuffers + 1);
        const auto ExpectNoAttachments = [] {
            for (GLuint uiName = 1; uiName <= 2048; ++uiName) {
                if (!glIsFramebuffer(uiName)) continue;
                glBindFramebuffer(GL_FRAMEBUFFER, uiName);
                for (GLenum eAttachment : {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_DEPTH_ATTACHMENT}) {
                    GLint iType = -1;
                    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, eAttachment,
                                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &iType);
                    EXPECT_EQ(iType, GL_NONE) << eAttachment;
                }
            }
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        };
        ExpectNoAttachments();

        // More colour targets than the context draws to at once are refused
        // before any GL call could fail; as many as it draws to are cleared.
        GLint iDrawBuffers = 0, iAttachments = 0;
        glGetIntegerv(GL_MAX_DRAW_BUFFERS, &iDrawBuffers);
        glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &iAttachments);
        const int iLimit = std::min({16, iDrawBuffers, iAttachments});
        std::vector<TextureObject2D> many;
        for (int i = 0; i <= iLimit; ++i) many.push_back(OndoTest::MakeTexture(2, 2, GL_RGBA8));
        Ondo::Vector4f red(1.0f, 0.0f, 0.0f, 1.0f);
        clear.Give("ClearColor", &red, true);
        for (int iCount : {iLimit + 1, iLimit}) {
            clear.controls.SetControl("Number of Targets", std::to_string(iCount));
            for (int i = 0; i < iCount; ++i) clear.Give("Target" + std::to_string(i), &many[i], true);
            EXPECT_EQ(clear.RunError(), iCount == iLimit ? "(none)"
                                                         : std::to_string(iCount) + " colour targets cannot be cleared at "
                                                           "once; this context draws to at most " +
                                                           std::to_string(iLimit) + " (GL_MAX_DRAW_BUFFERS)");
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        }
        EXPECT_EQ(OndoTest::ReadTexture(many[static_cast<std::size_t>(iLimit - 1)]),
                  (std::vector<float>{1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1}));

        // A format no framebuffer renders to makes it incomplete: refused, and
        // the framebuffer is left unbound without attachments. A target
        // without a texture is passed on uncleared and reported to the core.
        TextureObject2D shared = OndoTest::MakeTexture(2, 2, GL_RGB9_E5);
        clear.controls.SetControl("Number of Targets", "3");
        clear.Give("Target0", &many[0], true);
        clear.Give("Target1", &shared, true);
        clear.Give<TextureObject2D>("Target2", nullptr, true);
        EXPECT_EQ(clear.RunError(), "OpenGL::CheckFrameBufferStatus( m_uiFBO, nullptr )");
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &iBound);
        EXPECT_EQ(iBound, 0);
        ExpectNoAttachments();
        EXPECT_EQ(clear.core.GetErrors(),
                  std::vector<std::string>{"\"Target2\" carries no texture; it was not cleared"});
        shared.Release();
        for (TextureObject2D& texture : many) texture.Release();
        for (TextureObject2D* pTexture : targets) pTexture->Release();
    }
    EXPECT_EQ(CountLive(glIsFramebuffer), iFramebuffers) << "the framebuffer is gone after the release";
}

TEST(TextureSources, SettingsKeepTheirOrderAndAGraphKeepsItsConnectionToADynamicOutput)
{
    OndoTest::TestDevice();
    const int iTextures = CountLive(glIsTexture), iFramebuffers = CountLive(glIsFramebuffer);
    Ondo::Core core;
    Prismvale::LoadIntoCore(core);
    std::string strSaved;
    {
        Graph graph(core);
        graph.AttachDevice(OndoTest::TestDevice());
        Scope& root = graph.GetRoot();
        graph.AddItem(root, "OpenGL.Texture.MultiSource2D", "Src2");
        graph.AddItem(root, "OpenGL.Texture.MultiSource3D", "Src3");
        graph.AddItem(root, "OpenGL.Texture.SimilarMultiSource2D", "Similar");
        graph.AddItem(root, "OpenGL.Texture.MultiClear", "Clear");
        for (const char* szItem : {"Src2", "Src3", "Similar"}) graph.SetControl(szItem, "Number of Textures", "3");
        graph.SetControl("Src2", "Texture2", "GL_R32F");
        graph.SetControl("Clear", "Number of Targets", "2");
        for (const char* szInput : {"Width", "Height"}) graph.SetLiteral("Src2", szInput, "2");
        for (const auto& size : {std::make_pair("Width", "4"), {"Height", "4"}, {"Depth", "1"}})
            graph.SetLiteral("Src3", size.first, size.second);
        graph.Connect(root, "Src2", "2", "Clear", "Target0");
        graph.Connect(root, "Src2", "0", "Clear", "Target1");
        graph.Connect(root, "Src2", "1", "Similar", "Texture");
        strSaved = SaveGraphToText(graph);
    }

    // Each filter's keys in order; every port-list item names a port of the
    // document under the filter's item name.
    const std::pair<const char*, std::vector<std::string>> expected[] = {
        {"Src2", {"NumberOfTextures", "Width", "Height", "TextureTypes", "DynamicPorts"}},
        {"Src3", {"NumberOfTextures", "Width", "Height", "Depth", "TextureTypes", "DynamicPorts"}},
        {"Similar", {"NumberOfTextures", "hSimilarTextureIn", "DynamicPorts"}},
        {"Clear", {"hInClearColor", "hInClearDepth", "sNumOfTargets", "DynamicPortsIn", "DynamicPortsOut"}},
    };
    TiXmlDocument document;
    document.Parse(strSaved.c_str());
    const TiXmlElement* pFilter = document.RootElement()->FirstChildElement("Scope")->FirstChildElement("Filter");
    for (const auto& e : expected) {
        ASSERT_STREQ(pFilter->Attribute("name"), e.first);
        EXPECT_EQ(OndoTest::Keys(*pFilter->FirstChildElement("Settings")), e.second) << e.first;
        pFilter = pFilter->NextSiblingElement("Filter");
    }
    auto count = [&](const std::string& strText) {
        std::size_t uiCount = 0;
        for (std::size_t i = strSaved.find(strText); i != std::string::npos; i = strSaved.find(strText, i + 1))
            ++uiCount;
        return uiCount;
    };
    EXPECT_EQ(count("<Item PortID=\""), 9u);
    EXPECT_EQ(count("<PortHandle PortID=\""), 4u);
    EXPECT_EQ(count("PortID=\"-1\""), 0u);

    auto pLoaded = LoadGraphFromText(core, &OndoTest::TestDevice(), strSaved, "sources.xml");
    EXPECT_EQ(SaveGraphToText(*pLoaded), strSaved);
    ScopeExecuter executer;
    pLoaded->RunFrame(executer);
    Scope& root = pLoaded->GetRoot();
    void* pThird = pLoaded->FindPort(root, "Src2", "2", true)->GetDataPointer();
    ASSERT_NE(pThird, nullptr);
    EXPECT_EQ(pLoaded->FindPort(root, "Clear", "Clear Target0", true)->GetDataPointer(), pThird);
    EXPECT_EQ(Describe(GL_TEXTURE_2D, static_cast<TextureObject2D*>(pThird)->m_uiName), (Level0{2, 2, 1, GL_R32F, 1}))
        << "the stored format came back";

    // The 3D source: a new depth alone rebuilds.
    auto volume = [&] {
        return Describe(GL_TEXTURE_3D, static_cast<TextureObject3D*>(
                                           pLoaded->FindPort(root, "Src3", "2", true)->GetDataPointer())->m_uiName);
    };
    EXPECT_EQ(volume(), (Level0{4, 4, 1, GL_RGBA8, 1}));
    pLoaded->SetLiteral("Src3", "Depth", "8");
    pLoaded->RunFrame(executer);
    EXPECT_EQ(volume(), (Level0{4, 4, 8, GL_RGBA8, 1}));
    pLoaded.reset();
    EXPECT_EQ(CountLive(glIsTexture), iTextures) << "every texture is gone with the graph";

    // Stored counts and formats that no control offers are refused, not clamped.
    for (const auto& [strFrom, strTo, strError] :
         {std::tuple<std::string, std::string, std::string>{"<NumberOfTextures value=\"3\"", "<NumberOfTextures value=\"0\"",
                                                            "\"NumberOfTextures\" is 0, outside 1 to 16"},
          {"<sNumOfTargets value=\"2\"", "<sNumOfTargets value=\"21\"", "\"sNumOfTargets\" is 21, outside 1 to 20"},
          {"<Item value=\"33326\"", "<Item value=\"12345\"",
           "\"TextureTypes\" item 2 is 12345, which is none of the offered formats"}}) {
        std::string strBad = strSaved;
        strBad.replace(strBad.find(strFrom), strFrom.size(), strTo);
        const std::string strWhat = OndoTest::ErrorOf(
            [&] { LoadGraphFromText(core, &OndoTest::TestDevice(), strBad, "sources.xml"); }, "(loaded)");
        EXPECT_NE(strWhat.find(strError), std::string::npos) << strWhat;
    }
    EXPECT_EQ(CountLive(glIsFramebuffer), iFramebuffers);
}
