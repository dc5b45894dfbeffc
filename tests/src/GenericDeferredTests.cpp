// The generic deferred renderer: its generated shader texts, the attribute
// list in graph files and in the editor, a plane drawn into user-defined
// targets and read back, the refused runs, and release.

#include "src/FilterGenericDeferredRenderer.h"

#include "support/FilterHarness.h"
#include "support/GLObjects.h"

#include "host/Modules/Camera.h"
#include "host/Modules/HostModules.h"

#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace Ondo;
using Prismvale::FilterGenericDeferredRenderer;
using OpenGL::TextureObject2D;
using Attribute = FilterGenericDeferredRenderer::DeferredAttribute;

namespace {

const std::string Rule = "//////////////////////////////////////////////////////////////////////////";

FilterGenericDeferredRenderer::AttributeList Attributes(
    const std::vector<std::tuple<std::string, GLenum, std::int32_t>>& rows)
{
    FilterGenericDeferredRenderer::AttributeList list;
    for (const auto& [strName, eType, iModifier] : rows) {
        list.push_back(std::make_unique<Attribute>());
        list.back()->strAttributeName = strName;
        list.back()->eAttributeType = eType;
        list.back()->eAttributeModifier = iModifier;
    }
    return list;
}

std::vector<std::string> Lines(const std::string& strText)
{
    std::vector<std::string> lines;
    std::istringstream stream(strText);
    for (std::string strLine; std::getline(stream, strLine);) lines.push_back(strLine);
    return lines;
}

void ExpectLines(const std::string& strText, const std::vector<std::string>& expected)
{
    const std::vector<std::string> lines = Lines(strText);
    for (std::size_t i = 0; i < std::max(lines.size(), expected.size()); ++i)
        ASSERT_EQ(i < lines.size() ? lines[i] : "<none>", i < expected.size() ? expected[i] : "<none>")
            << "line " << i + 1;
    EXPECT_EQ(strText.back(), '\n');
    EXPECT_EQ(strText.find('\r'), std::string::npos);
}

// The error text a call throws, or "" when it throws nothing.
template <class F>
std::string ErrorOf(F&& fnCall)
{
    try {
        fnCall();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

std::string Rows(const Matrix44f& m)
{
    std::ostringstream text;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) text << m(r, c) << " ";
    return text.str();
}

} // namespace

TEST(GenericDeferredShaders, TextsForANormalAndATexCoordAttribute)
{
    static_assert(sizeof("//////////////////////////////////////////////////////////////////////////") == 75);
    const auto list = Attributes({{"Normal", GL_FLOAT_VEC3, 6}, {"UV", GL_FLOAT_VEC2, 0}});
    ExpectLines(FilterGenericDeferredRenderer::GenerateVertexShader(list),
                {"#version 430 core",
                 "#pragma ONDO_PORT_ATTRIBUTE(Position,\"Positions\");",
                 "#pragma ONDO_PORT_ATTRIBUTE(Attribute_0,\"Normal\");",
                 "#pragma ONDO_PORT_ATTRIBUTE(Attribute_1,\"UV\");",
                 Rule,
                 "// input variables",
                 Rule,
                 "layout( location = 0 ) uniform mat4 WorldMatrix;",
                 "layout( location = 1 ) uniform mat4 ViewMatrix;",
                 "layout( location = 3 ) uniform mat4 ModelViewMatrix;",
                 "layout( location = 2 ) uniform mat4 ProjectionMatrix;",
                 "layout( location = 4 ) uniform mat4 ModelViewProjectionMatrix;",
                 "layout( location = 5 ) uniform mat3 NormalMatrixWS;",
                 "layout( location = 6 ) uniform mat3 NormalMatrixVS;",
                 "layout( location = 7 ) uniform float FloatModifier;",
                 "",
                 "layout( location = 0 ) in vec3 Position;",
                 "layout( location = 1 ) in vec3 Attribute_0;",
                 "layout( location = 2 ) in vec2 Attribute_1;",
                 "",
                 Rule,
                 "// Specify exactly what the gl_PerVertex output contains",
                 Rule,
                 "out gl_PerVertex",
                 "{",
                 "\tvec4 gl_Position;",
                 "};",
                 Rule,
                 "// Other output",
                 Rule,
                 "out block",
                 "{",
                 "\tvec3 Attribute_0;",
                 "\tvec2 Attribute_1;",
                 "} Out;",
                 Rule,
                 "// Vertex-Shader",
                 Rule,
                 "void main()",
                 "{",
                 "\tOut.Attribute_0 = NormalMatrixWS * Attribute_0;",
                 "\tOut.Attribute_1 = Attribute_1;",
                 "\tgl_Position = ModelViewProjectionMatrix * vec4( Position, 1.0 );",
                 "}"});
    ExpectLines(FilterGenericDeferredRenderer::GenerateFragmentShader(list),
                {"#version 430 core",
                 "#pragma ONDO_PORT_SURFACE(o_FragAttribute_0,\"Normal-Target\",\"Normal\");",
                 "#pragma ONDO_PORT_SURFACE(o_FragAttribute_1,\"UV-Target\",\"UV\");",
                 Rule,
                 "// Incoming data",
                 Rule,
                 "in block",
                 "{",
                 "\tvec3 Attribute_0;",
                 "\tvec2 Attribute_1;",
                 "} In;",
                 Rule,
                 "// output variables",
                 Rule,
                 "layout ( location = 0 ) out vec3 o_FragAttribute_0;",
                 "layout ( location = 1 ) out vec2 o_FragAttribute_1;",
                 Rule,
                 "// Fragment Shader",
                 Rule,
                 "void main()",
                 "{",
                 "\to_FragAttribute_0 = normalize( In.Attribute_0 );",
                 "\to_FragAttribute_1 = In.Attribute_1;",
                 "}"});
}

TEST(GenericDeferredShaders, EachModifierAndTheRefusedTypesAndModifiers)
{
    struct Case {
        GLenum eType;
        std::int32_t iModifier;
        std::vector<std::string> vertex; // the lines of main() before gl_Position
        const char* szFragment;          // the line of main(), when not a copy
    };
    const std::vector<Case> cases = {
        {GL_FLOAT, 0, {"\tOut.Attribute_0 = Attribute_0;"}, "\to_FragAttribute_0 = In.Attribute_0;"},
        {GL_FLOAT_VEC4, 1, {"\tOut.Attribute_0 = WorldMatrix * Attribute_0;"}, nullptr},
        {GL_FLOAT_VEC4, 2, {"\tOut.Attribute_0 = ViewMatrix * Attribute_0;"}, nullptr},
        {GL_FLOAT_VEC4, 3, {"\tOut.Attribute_0 = ProjectionMatrix * Attribute_0;"}, nullptr},
        {GL_FLOAT_VEC3,
         4,
         {"\tvec4 vTemp_0 = ModelViewMatrix * vec4( Attribute_0, 1.0 );",
          "\tOut.Attribute_0 = vTemp_0.xyz / vTemp_0.w;"},
         nullptr},
        {GL_FLOAT_VEC4, 4, {"\tOut.Attribute_0 = ModelViewMatrix * Attribute_0;"}, nullptr},
        {GL_FLOAT_VEC2, 4, {}, nullptr},
        {GL_FLOAT, 4, {}, nullptr},
        {GL_FLOAT_VEC4, 5, {"\tOut.Attribute_0 = ModelViewProjectionMatrix * Attribute_0;"}, nullptr},
        {GL_FLOAT_VEC3, 6, {"\tOut.Attribute_0 = NormalMatrixWS * Attribute_0;"},
         "\to_FragAttribute_0 = normalize( In.Attribute_0 );"},
        {GL_FLOAT_VEC4, 6, {"\tOut.Attribute_0 = NormalMatrixWS * Attribute_0;"}, "\to_FragAttribute_0 = In.Attribute_0;"},
        {GL_FLOAT_VEC3, 7, {"\tOut.Attribute_0 = NormalMatrixVS * Attribute_0;"}, "\to_FragAttribute_0 = In.Attribute_0;"},
        {GL_FLOAT_VEC2, 8, {"\tOut.Attribute_0 = FloatModifier * Attribute_0;"}, nullptr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE("type " + std::to_string(row.eType) + ", modifier " + std::to_string(row.iModifier));
        const auto list = Attributes({{"A", row.eType, row.iModifier}});
        const std::vector<std::string> vertex = Lines(FilterGenericDeferredRenderer::GenerateVertexShader(list));
        const auto itMain = std::find(vertex.begin(), vertex.end(), "void main()");
        ASSERT_GT(vertex.end() - itMain, 2);
        EXPECT_EQ(std::vector<std::string>(itMain + 2, vertex.end() - 2), row.vertex);
        const std::vector<std::string> fragment = Lines(FilterGenericDeferredRenderer::GenerateFragmentShader(list));
        // Only the world-space normal matrix on a vec3 normalises; the rest copy.
        EXPECT_EQ(fragment.at(fragment.size() - 2),
                  row.szFragment ? row.szFragment : "\to_FragAttribute_0 = In.Attribute_0;");
    }

    // Without attributes: no outputs, no fragment text.
    const std::string strVertex = FilterGenericDeferredRenderer::GenerateVertexShader({});
    EXPECT_EQ(strVertex.find("out block"), std::string::npos);
    EXPECT_EQ(strVertex.find("Attribute_"), std::string::npos);
    EXPECT_NE(strVertex.find("// Other output\n" + Rule + "\n" + Rule + "\n// Vertex-Shader"), std::string::npos);
    EXPECT_EQ(FilterGenericDeferredRenderer::GenerateFragmentShader({}), "");

    struct Refused {
        GLenum eType;
        std::int32_t iModifier;
        const char* szVertex;
        const char* szFragment;
    };
    for (const Refused& row : {Refused{GL_INT, 0, "Invalid Attribute Type", "Invalid Attribute Type"},
                               Refused{GL_FLOAT_MAT3, 0, "Invalid Attribute Type", "Invalid Attribute Type"},
                               Refused{GL_FLOAT_VEC3, 9, "Invalid Modifier.", ""},
                               Refused{GL_FLOAT_VEC3, -1, "Invalid Modifier.", ""}}) {
        // The bad attribute second, after a good one.
        const auto list = Attributes({{"Good", GL_FLOAT, 0}, {"Bad", row.eType, row.iModifier}});
        EXPECT_EQ(ErrorOf([&] { FilterGenericDeferredRenderer::GenerateVertexShader(list); }), row.szVertex);
        EXPECT_EQ(ErrorOf([&] { FilterGenericDeferredRenderer::GenerateFragmentShader(list); }), row.szFragment);
    }
}

namespace {

// A plane source, its upload, the renderer, and small float targets with a
// depth target at the far plane, all fed by the test.
class Scene {
public:
    static constexpr int Size = 32;

    Scene()
    {
        Host::RegisterHostModules(m_Harness.GetGraph().GetCore());
        m_Harness.Add("Host.Mesh.Plane", "plane");
        m_Harness.Add("OpenGL.MeshToBuffer", "upload");
        m_pRenderer = &dynamic_cast<FilterGenericDeferredRenderer&>(m_Harness.Add("OpenGL.GenericDeferred", "renderer"));
        Connect("plane", "Mesh", "upload", "Mesh");
        Connect("upload", "IndexBuffer", "renderer", "Index-Buffer");
        m_Harness.Set("renderer", "Projection-Matrix", Rows(m_Projection));
        m_Harness.Set("renderer", "View-Matrix", Rows(m_View));
        m_Depth = OndoTest::MakeTexture(Size, Size, GL_DEPTH_COMPONENT32F);
        const std::vector<float> ones(std::size_t(Size * Size), 1.0f);
        glBindTexture(GL_TEXTURE_2D, m_Depth.m_uiName);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, Size, Size, GL_DEPTH_COMPONENT, GL_FLOAT, ones.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        m_Harness.Feed("renderer", "Depth Target", m_Depth);
    }
    ~Scene()
    {
        m_Depth.Release();
        for (auto& [strName, target] : m_Targets) target.Release();
    }

    void Connect(const std::string& strFrom, const std::string& strOut, const std::string& strTo,
                 const std::string& strIn)
    {
        m_Harness.GetGraph().Connect(m_Harness.GetGraph().GetRoot(), strFrom, strOut, strTo, strIn);
    }
    Instrumenter& Editor() { return m_Harness.GetGraph().GetInstrumenter("renderer"); }
    // Adds an attribute through the editor, as a person does, and feeds it.
    void AddAttribute(const std::string& strName, int iType, int iModifier, const std::string& strUploadOutput)
    {
        Editor().SetControl("New Attribute Name", strName);
        Editor().Press("Add Attribute");
        // This attribute's choices are the last ones of their labels.
        for (const auto& [strLabel, iIndex] : {std::pair{"Attribute Type", iType}, {"Attribute Modifier", iModifier}}) {
            const Instrumenter::Control* pLast = nullptr;
            for (const Instrumenter::Control& control : Editor().GetControls())
                if (control.m_strLabel == strLabel) pLast = &control;
            ASSERT_NE(pLast, nullptr);
            const Instrumenter::ChoiceCallback fnChosen = pLast->m_fnChosen;
            fnChosen(iIndex);
        }
        // A program that did not build declares no ports to connect.
        bool bDeclared = false;
        for (const auto& hPort : m_pRenderer->GetPortHandles()) bDeclared = bDeclared || hPort->GetLabel() == strName;
        if (!bDeclared) return;
        Connect("upload", strUploadOutput, "renderer", strName);
        m_Targets[strName] = OndoTest::MakeTexture(Size, Size, GL_RGBA32F, std::vector<float>(4 * Size * Size, 0.0f));
        m_Harness.Feed("renderer", strName + "-Target", m_Targets[strName]);
    }
    std::vector<float> Depth()
    {
        std::vector<float> values(std::size_t(Size * Size));
        glBindTexture(GL_TEXTURE_2D, m_Depth.m_uiName);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, values.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return values;
    }
    std::string RunError()
    {
        return ErrorOf([&] { EXPECT_TRUE(m_Harness.Run()); });
    }

    OndoTest::FilterHarness m_Harness;
    FilterGenericDeferredRenderer* m_pRenderer = nullptr;
    const Matrix44f m_View = Host::LookAt({0, 0, 3}, {0, 0, 0}, {0, 1, 0});
    const Matrix44f m_Projection = Host::Perspective(60.0f, 1.0f, 1.0f, 10.0f);
    TextureObject2D m_Depth;
    std::map<std::string, TextureObject2D> m_Targets;
};

} // namespace

TEST(GenericDeferredRenderer, TargetsHoldTheMeshDataTransformedAsChosen)
{
    Scene scene;
    // vec3 with "Normal Matrix (Worldspace)", vec3 with "ModelView Matrix",
    // vec2 with "Float Deformation", by their places in the choice lists.
    scene.AddAttribute("Normal", 2, 5, "Normals");
    scene.AddAttribute("ViewPos", 2, 2, "Positions");
    scene.AddAttribute("UV", 1, 7, "TextureCoordinates");
    scene.Connect("upload", "Positions", "renderer", "Positions");
    // Tilted about x by 30 degrees, shifted right and stretched along y.
    const float c = std::cos(0.5236f), s = std::sin(0.5236f);
    const Matrix44f world = Matrix44f::FromRows({1, 0, 0, 0.2f, 0, c * 1.5f, -s, 0, 0, s * 1.5f, c, 0, 0, 0, 0, 1});
    scene.m_Harness.Set("renderer", "World-Matrix", Rows(world));
    scene.m_Harness.Set("renderer", "Deformation", "2");
    // Seen from off the axis, so that view space and world space differ.
    const Matrix44f view = Host::LookAt({0.6f, 0.5f, 2.8f}, {0.1f, 0, 0}, {0, 1, 0});
    scene.m_Harness.Set("renderer", "View-Matrix", Rows(view));
    ASSERT_TRUE(scene.m_Harness.Run());

    const std::vector<float> normal = OndoTest::ReadTexture(scene.m_Targets["Normal"]),
                             viewPos = OndoTest::ReadTexture(scene.m_Targets["ViewPos"]),
                             uv = OndoTest::ReadTexture(scene.m_Targets["UV"]), depth = scene.Depth();
    const Matrix44f toMesh = *Inverse(view * world);
    // The world normal of the plane: (0, 0, 1) through the inverse transpose
    // of rotation x stretch, which is the rotation alone for this normal.
    const Vector3f expectedNormal(0, -s, c);
    int iCovered = 0;
    for (int i = 0; i < Scene::Size * Scene::Size; ++i) {
        if (depth[std::size_t(i)] == 1.0f) {
            ASSERT_EQ(viewPos[4 * i + 2], 0.0f) << "written where no depth is, texel " << i;
            continue;
        }
        ++iCovered;
        for (int k = 0; k < 3; ++k) ASSERT_NEAR(normal[4 * i + k], expectedNormal[k], 1e-4f) << "texel " << i;
        // The view-space position lands on this pixel and is a point of the
        // plane, whose texture coordinates the UV target holds doubled.
        const Vector4f v(viewPos[4 * i], viewPos[4 * i + 1], viewPos[4 * i + 2], 1.0f);
        const Vector4f clip = scene.m_Projection * v;
        ASSERT_NEAR((clip[0] / clip[3] * 0.5f + 0.5f) * Scene::Size, i % Scene::Size + 0.5f, 0.02f);
        ASSERT_NEAR((clip[1] / clip[3] * 0.5f + 0.5f) * Scene::Size, i / Scene::Size + 0.5f, 0.02f);
        const Vector4f p = toMesh * v;
        ASSERT_NEAR(p[2], 0.0f, 1e-4f);
        ASSERT_NEAR(uv[4 * i], 2 * (p[0] + 1) / 2, 1e-3f);
        ASSERT_NEAR(uv[4 * i + 1], 2 * (p[1] + 1) / 2, 1e-3f);
    }
    EXPECT_GT(iCovered, 100);
    bool bChanged = false;
    EXPECT_EQ(scene.m_Harness.Output<TextureObject2D>("renderer", "Depth", &bChanged), &scene.m_Depth);
    EXPECT_TRUE(bChanged);
    EXPECT_EQ(scene.m_Harness.Output<TextureObject2D>("renderer", "UV"), &scene.m_Targets["UV"]);
}

TEST(GenericDeferredRenderer, WithoutAttributesOnlyDepthIsWrittenAtTheDefaults)
{
    Scene scene;
    scene.Connect("upload", "Positions", "renderer", "Positions");
    ASSERT_TRUE(scene.m_Harness.Run());
    std::vector<std::string> inputs;
    for (const auto& hPort : scene.m_pRenderer->GetPortHandles())
        if (!hPort->IsOutput()) inputs.push_back(hPort->GetLabel());
    EXPECT_EQ(inputs, (std::vector<std::string>{"World-Matrix", "View-Matrix", "Projection-Matrix", "Index-Buffer",
                                                "Depth Target", "Deformation", "Positions"}));
    // World unconnected: the 2 x 2 plane faces the eye at distance 3.
    const float n = 1, f = 10, d = 3, fExpected = ((f + n) / (f - n) - 2 * f * n / ((f - n) * d)) * 0.5f + 0.5f;
    const std::vector<float> depth = scene.Depth();
    int iCovered = 0;
    for (const float fDepth : depth)
        if (fDepth < 1.0f) {
            ++iCovered;
            ASSERT_NEAR(fDepth, fExpected, 1e-5f);
        }
    // The plane covers 2 / (2 tan 30 deg * 3) of each side.
    const float fSide = Scene::Size / (std::tan(0.5236f) * 3);
    EXPECT_NEAR(iCovered, fSide * fSide, 2.5f * fSide);
}

TEST(GenericDeferredRenderer, RunsThatWouldDrawSomethingWrongAreRefused)
{
    struct Case {
        const char* szWhat;
        int iType, iModifier;
        const char* szUploadOutput;
        const char* szMessage;
    };
    const std::vector<Case> cases = {
        {"vec2 with the model-view matrix", 1, 2, "TextureCoordinates", "needs a vec3 or vec4 attribute"},
        {"vec3 times a 4 x 4 matrix", 2, 1, "Normals", "the shader program did not build"},
        {"vec4 read from a buffer of vec3", 3, 0, "Normals", "\"Index-Buffer\" uses vertex 3, but \"A\" holds 3"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.szWhat);
        Scene scene;
        scene.Connect("upload", "Positions", "renderer", "Positions");
        scene.AddAttribute("A", row.iType, row.iModifier, row.szUploadOutput);
        const std::string strError = scene.RunError();
        EXPECT_NE(strError.find(row.szMessage), std::string::npos) << strError;
        EXPECT_NE(strError.find("renderer"), std::string::npos) << strError;
        GLint iFramebuffer = -1, iProgram = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &iFramebuffer);
        glGetIntegerv(GL_CURRENT_PROGRAM, &iProgram);
        EXPECT_EQ(std::make_pair(iFramebuffer, iProgram), std::make_pair(0, 0));
    }

    // Names that would give no port, or another attribute's or the filter's.
    Scene scene;
    scene.AddAttribute("A", 2, 0, "Normals");
    for (const std::string strName : {"", "A", "Depth", "Positions", "Say \"hi\""}) {
        scene.Editor().SetControl("New Attribute Name", strName);
        EXPECT_NE(ErrorOf([&] { scene.Editor().Press("Add Attribute"); }), "") << strName;
    }
    EXPECT_EQ(scene.m_pRenderer->GetAttributes().size(), 1u);
}

TEST(GenericDeferredRenderer, AttributesStoredInSettingsAndReadBackOnce)
{
    Scene scene;
    scene.AddAttribute("Normal", 2, 5, "Normals");
    scene.AddAttribute("UV", 1, 0, "TextureCoordinates");
    scene.Connect("upload", "Positions", "renderer", "Positions");
    FilterGenericDeferredRenderer& renderer = *scene.m_pRenderer;

    FlowGraph::Serialization::SaveInfo info;
    for (const auto& hPort : renderer.GetPortHandles()) info.AddPort(hPort);
    TiXmlDocument document;
    auto* pRoot = new TiXmlElement("Settings");
    document.LinkEndChild(pRoot);
    FlowGraph::Serialization::Serializer writer(&document, pRoot, &info);
    renderer.Serialize(writer);
    const TiXmlElement* pData = pRoot->FirstChildElement("DeferredAttribute")->FirstChildElement("AttributeData");
    ASSERT_NE(pData, nullptr);
    EXPECT_STREQ(pData->FirstChildElement("strAttributeName")->Attribute("value"), "Normal");
    EXPECT_STREQ(pData->FirstChildElement("eAttributeType")->Attribute("value"), std::to_string(GL_FLOAT_VEC3).c_str());
    EXPECT_STREQ(pData->FirstChildElement("eAttributeModifier")->Attribute("value"), "6");

    // Read into the same filter twice: the stored attributes are appended
    // each time, in their order, and the program is not rebuilt by a read.
    const int iPrograms = OndoTest::CountLive(glIsProgram);
    for (std::size_t uiRead = 1; uiRead <= 2; ++uiRead) {
        FlowGraph::Serialization::Serializer reader(nullptr, pRoot, &info);
        renderer.Serialize(reader);
        const auto& attributes = renderer.GetAttributes();
        ASSERT_EQ(attributes.size(), 2u + 2u * uiRead);
        EXPECT_EQ(attributes[2 * uiRead]->strAttributeName, "Normal");
        EXPECT_EQ(attributes[2 * uiRead]->eAttributeModifier, 6);
        EXPECT_EQ(attributes[2 * uiRead + 1]->strAttributeName, "UV");
        EXPECT_EQ(attributes[2 * uiRead + 1]->eAttributeType, GLenum(GL_FLOAT_VEC2));
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
        // The editor shows every attribute of the list once.
        std::size_t uiViews = 0;
        for (const Instrumenter::Control& control : scene.Editor().GetControls())
            uiViews += control.m_strLabel == "AttributeName";
        EXPECT_EQ(uiViews, attributes.size());
    }
    ASSERT_TRUE(scene.m_Harness.Run()) << "the connections survived the reads";

    pRoot->FirstChildElement("DeferredAttribute")->FirstChildElement("AttributeData")->RemoveChild(
        pRoot->FirstChildElement("DeferredAttribute")->FirstChildElement("AttributeData")->FirstChildElement(
            "strAttributeName"));
    FlowGraph::Serialization::Serializer reader(nullptr, pRoot, &info);
    try {
        renderer.Serialize(reader);
        ADD_FAILURE() << "a stored attribute without name was read";
    } catch (const ExceptionParsing& error) {
        EXPECT_STREQ(error.what(), "Could not find matching xml node: strAttributeName\n");
    }
    EXPECT_EQ(renderer.GetAttributes().size(), 6u) << "a failed read appends nothing";
}

TEST(GenericDeferredRenderer, EditsAndReleaseLeaveNoProgramOrFramebuffer)
{
    const auto fnCounts = [] {
        return std::make_pair(OndoTest::CountLive(glIsProgram), OndoTest::CountLive(glIsFramebuffer));
    };
    const auto before = fnCounts();
    {
        Scene scene;
        scene.AddAttribute("A", 2, 0, "Normals");
        const auto withOne = fnCounts();
        EXPECT_GT(withOne, before);
        scene.AddAttribute("B", 1, 0, "TextureCoordinates");
        EXPECT_EQ(fnCounts(), withOne) << "each rebuild replaces the program";
        const Instrumenter::Control* pRemove = scene.Editor().FindControl("Remove Attribute ");
        ASSERT_NE(pRemove, nullptr);
        scene.Editor().Press("Remove Attribute ");
        ASSERT_EQ(scene.m_pRenderer->GetAttributes().size(), 1u);
        EXPECT_EQ(scene.m_pRenderer->GetAttributes()[0]->strAttributeName, "B");
        EXPECT_EQ(*std::get<std::string*>(scene.Editor().FindControl("AttributeName")->m_Value), "B");
        int iViews = 0;
        for (const Instrumenter::Control& control : scene.Editor().GetControls())
            iViews += control.m_strLabel == "AttributeName";
        EXPECT_EQ(iViews, 1);
        bool bPortA = false;
        for (const auto& hPort : scene.m_pRenderer->GetPortHandles()) bPortA = bPortA || hPort->GetLabel() == "A";
        EXPECT_FALSE(bPortA) << "the removed attribute's ports went with it";
        scene.Connect("upload", "Positions", "renderer", "Positions");
        EXPECT_TRUE(scene.m_Harness.Run());
    }
    EXPECT_EQ(fnCounts(), before);
}
