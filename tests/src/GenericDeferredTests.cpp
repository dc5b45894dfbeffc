// The generic deferred renderer: its generated shader texts, the attribute
// list in graph files and in the editor, a plane drawn into user-defined
// targets and read back, the refused runs, and release.

#include "ComputeFilterTestSupport.h"

#include "src/FilterGenericDeferredRenderer.h"

#include "host/Modules/Camera.h"
#include "host/Modules/HostModules.h"

#include "Ondo/Instrumenter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace Ondo;
using Prismvale::FilterGenericDeferredRenderer;
using OndoTest::ErrorOf;
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

// The lines, each ending in a line feed.
std::string Text(const std::vector<std::string>& lines)
{
    std::string strText;
    for (const std::string& strLine : lines) strText += strLine + "\n";
    return strText;
}

} // namespace

TEST(GenericDeferredShaders, TextsForANormalAndATexCoordAttribute)
{
    const auto list = Attributes({{"Normal", GL_FLOAT_VEC3, 6}, {"UV", GL_FLOAT_VEC2, 0}});
    EXPECT_EQ(FilterGenericDeferredRenderer::GenerateVertexShader(list),
              Text({"#version 430 core",
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
                    "}"}));
    EXPECT_EQ(FilterGenericDeferredRenderer::GenerateFragmentShader(list),
              Text({"#version 430 core",
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
                    "}"}));
}

TEST(GenericDeferredShaders, EachModifierAndTheRefusedTypesAndModifiers)
{
    // A type, a modifier, and the lines of main() before gl_Position; the
    // fragment text copies (the normalising case is checked above).
    const std::vector<std::tuple<GLenum, std::int32_t, std::vector<std::string>>> cases = {
        {GL_FLOAT, 0, {"\tOut.Attribute_0 = Attribute_0;"}},
        {GL_FLOAT_VEC4, 1, {"\tOut.Attribute_0 = WorldMatrix * Attribute_0;"}},
        {GL_FLOAT_VEC4, 3, {"\tOut.Attribute_0 = ProjectionMatrix * Attribute_0;"}},
        {GL_FLOAT_VEC3,
         4,
         {"\tvec4 vTemp_0 = ModelViewMatrix * vec4( Attribute_0, 1.0 );",
          "\tOut.Attribute_0 = vTemp_0.xyz / vTemp_0.w;"}},
        {GL_FLOAT_VEC2, 4, {}},
        {GL_FLOAT_VEC4, 5, {"\tOut.Attribute_0 = ModelViewProjectionMatrix * Attribute_0;"}},
        {GL_FLOAT_VEC4, 6, {"\tOut.Attribute_0 = NormalMatrixWS * Attribute_0;"}},
        {GL_FLOAT_VEC3, 7, {"\tOut.Attribute_0 = NormalMatrixVS * Attribute_0;"}},
        {GL_FLOAT_VEC2, 8, {"\tOut.Attribute_0 = FloatModifier * Attribute_0;"}},
    };
    for (const auto& [eType, iModifier, expected] : cases) {
        SCOPED_TRACE("type " + std::to_string(eType) + ", modifier " + std::to_string(iModifier));
        const auto list = Attributes({{"A", eType, iModifier}});
        const std::vector<std::string> vertex = Lines(FilterGenericDeferredRenderer::GenerateVertexShader(list));
        const auto itMain = std::find(vertex.begin(), vertex.end(), "void main()");
        ASSERT_GT(vertex.end() - itMain, 2);
        EXPECT_EQ(std::vector<std::string>(itMain + 2, vertex.end() - 2), expected);
        const std::vector<std::string> fragment = Lines(FilterGenericDeferredRenderer::GenerateFragmentShader(list));
        EXPECT_EQ(fragment.at(fragment.size() - 2), "\to_FragAttribute_0 = In.Attribute_0;");
    }
    // Without attributes: no outputs, no fragment text.
    EXPECT_EQ(FilterGenericDeferredRenderer::GenerateVertexShader({}).find("Attribute_"), std::string::npos);
    EXPECT_EQ(FilterGenericDeferredRenderer::GenerateFragmentShader({}), "");

    // The bad attribute second, after a good one: what each text refuses with.
    for (const auto& [eType, iModifier, strVertex, strFragment] :
         std::vector<std::tuple<GLenum, std::int32_t, std::string, std::string>>{
             {GL_INT, 0, "Invalid Attribute Type", "Invalid Attribute Type"},
             {GL_FLOAT_VEC3, 9, "Invalid Modifier.", ""},
             {GL_FLOAT_VEC3, -1, "Invalid Modifier.", ""}}) {
        const auto list = Attributes({{"Good", GL_FLOAT, 0}, {"Bad", eType, iModifier}});
        EXPECT_EQ(ErrorOf([&] { FilterGenericDeferredRenderer::GenerateVertexShader(list); }), strVertex);
        EXPECT_EQ(ErrorOf([&] { FilterGenericDeferredRenderer::GenerateFragmentShader(list); }), strFragment);
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
        m_Harness.Connect("plane", "Mesh", "upload", "Mesh");
        m_Harness.Connect("upload", "IndexBuffer", "renderer", "Index-Buffer");
        m_Harness.Connect("upload", "Positions", "renderer", "Positions");
        m_Harness.Set("renderer", "Projection-Matrix", OndoTest::MatrixText(m_Projection));
        m_Harness.Set("renderer", "View-Matrix", OndoTest::MatrixText(Host::LookAt({0, 0, 3}, {0, 0, 0}, {0, 1, 0})));
        m_Depth = OndoTest::MakeTexture(Size, Size, GL_DEPTH_COMPONENT32F);
        ClearDepth();
        m_Harness.Feed("renderer", "Depth Target", m_Depth);
    }
    ~Scene()
    {
        m_Depth.Release();
        for (auto& [strName, target] : m_Targets) target.Release();
    }

    Instrumenter& Editor() { return m_Harness.GetGraph().GetInstrumenter("renderer"); }
    bool HasPort(const std::string& strLabel)
    {
        for (const auto& hPort : m_pRenderer->GetPortHandles())
            if (hPort->GetLabel() == strLabel) return true;
        return false;
    }
    int AttributeViews()
    {
        int iViews = 0;
        for (const Instrumenter::Control& control : Editor().GetControls()) iViews += control.m_strLabel == "AttributeName";
        return iViews;
    }
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
        if (!HasPort(strName)) return;
        m_Harness.Connect("upload", strUploadOutput, "renderer", strName);
        m_Targets[strName] = OndoTest::MakeTexture(Size, Size, GL_RGBA32F, std::vector<float>(4 * Size * Size, 0.0f));
        m_Harness.Feed("renderer", strName + "-Target", m_Targets[strName]);
    }
    void ClearDepth()
    {
        const std::vector<float> ones(std::size_t(Size * Size), 1.0f);
        glBindTexture(GL_TEXTURE_2D, m_Depth.m_uiName);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, Size, Size, GL_DEPTH_COMPONENT, GL_FLOAT, ones.data());
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    std::vector<float> Depth() { return OndoTest::ReadDepth(m_Depth, Size * Size); }

    OndoTest::FilterHarness m_Harness;
    FilterGenericDeferredRenderer* m_pRenderer = nullptr;
    const Matrix44f m_Projection = Host::Perspective(60.0f, 1.0f, 1.0f, 10.0f);
    TextureObject2D m_Depth;
    std::map<std::string, TextureObject2D> m_Targets;
};

} // namespace

TEST(GenericDeferredRenderer, DepthAloneAtTheDefaultsThenTargetsHoldTheMeshDataTransformedAsChosen)
{
    Scene scene;
    {
        SCOPED_TRACE("no attributes, world unconnected: the 2 x 2 plane faces the eye at distance 3");
        ASSERT_TRUE(scene.m_Harness.Run());
        const float n = 1, f = 10, d = 3, fExpected = ((f + n) / (f - n) - 2 * f * n / ((f - n) * d)) * 0.5f + 0.5f;
        int iCovered = 0;
        for (const float fDepth : scene.Depth())
            if (fDepth < 1.0f) {
                ++iCovered;
                ASSERT_NEAR(fDepth, fExpected, 1e-5f);
            }
        // The plane covers 2 / (2 tan 30 deg * 3) of each side.
        const float fSide = Scene::Size / (std::tan(0.5236f) * 3);
        EXPECT_NEAR(iCovered, fSide * fSide, 2.5f * fSide);
        scene.ClearDepth();
    }
    // vec3 with "Normal Matrix (Worldspace)", vec3 with "ModelView Matrix",
    // vec2 with "Float Deformation", by their places in the choice lists.
    scene.AddAttribute("Normal", 2, 5, "Normals");
    scene.AddAttribute("ViewPos", 2, 2, "Positions");
    scene.AddAttribute("UV", 1, 7, "TextureCoordinates");
    // Tilted about x by 30 degrees, shifted right and stretched along y.
    const float c = std::cos(0.5236f), s = std::sin(0.5236f);
    const Matrix44f world = Matrix44f::FromRows({1, 0, 0, 0.2f, 0, c * 1.5f, -s, 0, 0, s * 1.5f, c, 0, 0, 0, 0, 1});
    scene.m_Harness.Set("renderer", "World-Matrix", OndoTest::MatrixText(world));
    scene.m_Harness.Set("renderer", "Deformation", "2");
    // Seen from off the axis, so that view space and world space differ.
    const Matrix44f view = Host::LookAt({0.6f, 0.5f, 2.8f}, {0.1f, 0, 0}, {0, 1, 0});
    scene.m_Harness.Set("renderer", "View-Matrix", OndoTest::MatrixText(view));
    ASSERT_TRUE(scene.m_Harness.Run());

    const std::vector<float> normal = OndoTest::ReadTexture(scene.m_Targets["Normal"]),
                             viewPos = OndoTest::ReadTexture(scene.m_Targets["ViewPos"]),
                             uv = OndoTest::ReadTexture(scene.m_Targets["UV"]), depth = scene.Depth();
    const Matrix44f toMesh = *Inverse(view * world);
    // The plane's normal (0, 0, 1) through the inverse transpose of rotation
    // x stretch, which is the rotation alone for this normal.
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
    OndoTest::ExpectOutputIsTarget(scene.m_Harness, "renderer", "Depth", scene.m_Depth);
    EXPECT_EQ(scene.m_Harness.Output<TextureObject2D>("renderer", "UV"), &scene.m_Targets["UV"]);
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
        scene.AddAttribute("A", row.iType, row.iModifier, row.szUploadOutput);
        OndoTest::ExpectRefusal(scene.m_Harness.RunError(), "renderer", row.szMessage);
    }

    // Names that would give no port, or another attribute's or the filter's.
    Scene scene;
    scene.AddAttribute("A", 2, 0, "Normals");
    for (const std::string strName : {"", "A", "Depth", "Say \"hi\""}) {
        scene.Editor().SetControl("New Attribute Name", strName);
        EXPECT_NE(ErrorOf([&] { scene.Editor().Press("Add Attribute"); }), "") << strName;
    }
    EXPECT_EQ(scene.m_pRenderer->GetAttributes().size(), 1u);
}

TEST(GenericDeferredRenderer, SettingsReadBackOnceEditsAndReleaseLeaveNoProgramOrFramebuffer)
{
    const auto fnCounts = [] {
        return std::make_pair(OndoTest::CountLive(glIsProgram), OndoTest::CountLive(glIsFramebuffer));
    };
    const auto before = fnCounts();
    {
        Scene scene;
        FilterGenericDeferredRenderer& renderer = *scene.m_pRenderer;
        scene.AddAttribute("Normal", 2, 5, "Normals");
        const auto withOne = fnCounts();
        EXPECT_GT(withOne, before);
        scene.AddAttribute("UV", 1, 0, "TextureCoordinates");
        EXPECT_EQ(fnCounts(), withOne) << "each rebuild replaces the program";

        TiXmlDocument document;
        TiXmlElement* pRoot = OndoTest::Settings(renderer, document);
        TiXmlElement* pData = pRoot->FirstChildElement("DeferredAttribute")->FirstChildElement("AttributeData");
        ASSERT_NE(pData, nullptr);
        // Each read appends the stored attributes in their order, shown once
        // in the editor, and does not rebuild the program.
        for (std::size_t uiRead = 1; uiRead <= 2; ++uiRead) {
            OndoTest::Settings(renderer, document, pRoot);
            const auto& attributes = renderer.GetAttributes();
            ASSERT_EQ(attributes.size(), 2u + 2u * uiRead);
            EXPECT_EQ(attributes[2 * uiRead]->eAttributeModifier, 6);
            EXPECT_EQ(attributes[2 * uiRead + 1]->strAttributeName, "UV");
            EXPECT_EQ(attributes[2 * uiRead + 1]->eAttributeType, GLenum(GL_FLOAT_VEC2));
            EXPECT_EQ(fnCounts(), withOne);
            EXPECT_EQ(std::size_t(scene.AttributeViews()), attributes.size());
        }
        ASSERT_TRUE(scene.m_Harness.Run()) << "the connections survived the reads";
        pData->RemoveChild(pData->FirstChildElement("strAttributeName"));
        EXPECT_EQ(ErrorOf([&] { OndoTest::Settings(renderer, document, pRoot); }),
                  "Could not find matching xml node: strAttributeName\n");
        EXPECT_EQ(renderer.GetAttributes().size(), 6u) << "a failed read appends nothing";

        for (int iRemove = 0; iRemove < 5; ++iRemove) scene.Editor().Press("Remove Attribute ");
        ASSERT_EQ(renderer.GetAttributes().size(), 1u);
        EXPECT_EQ(*std::get<std::string*>(scene.Editor().FindControl("AttributeName")->m_Value), "UV");
        EXPECT_EQ(scene.AttributeViews(), 1);
        EXPECT_FALSE(scene.HasPort("Normal")) << "the removed attribute's ports went with it";
        EXPECT_TRUE(scene.m_Harness.Run());
    }
    EXPECT_EQ(fnCounts(), before);
}
