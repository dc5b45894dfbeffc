// The debug visualisers: points of a buffer, the axes of a matrix and a
// triangle mirroring a cube map drawn into colour and depth targets that a
// texture source makes and the multi-target clear empties, read back where
// positions project; the arrow mesh as built; refusals, settings and release.

#include "ComputeFilterTestSupport.h"

#include "src/FilterBufferAsPoints.h"
#include "src/FilterCoordinateSystem.h"

#include "host/Modules/Camera.h"
#include "host/Modules/HostModules.h"

#include <limits>
#include <map>

using namespace Ondo;
using OndoTest::Texel3;
using OndoTest::ValueFeed;
using OpenGL::BufferObject;
using OpenGL::TextureObject2D;
using OpenGL::TextureObjectCube;
using Mesh = Prismvale::FilterCoordinateSystem::Mesh;
using Prismvale::FilterCoordinateSystem;

namespace {

// A visualiser "vis" drawing into an RGBA8 colour target (given to its
// "Target Color" when bColour) and a 32-bit float depth target, iSide
// texels square, that a texture source makes and the multi-target clear
// empties before every run (colour to transparent black, depth to
// fClearDepth). View and projection are identity, the world matrix has no
// value; a triangle in the buffers and a white cube map of one texel a face
// when the visualiser takes them. What the scene makes, it releases.
class Scene {
public:
    Scene(const std::string& strType, int iSide, bool bColour = true, float fClearDepth = 1)
        : m_iSide(iSide)
    {
        Core& core = m_Harness.GetGraph().GetCore();
        Host::RegisterHostModules(core);
        ValueFeed<Matrix44f>::Register(core, "Test.MatrixFeed");
        ValueFeed<BufferObject>::Register(core, "Test.BufferFeed");
        ValueFeed<TextureObjectCube>::Register(core, "Test.CubeFeed");
        ValueFeed<GLuint>::Register(core, "Test.SamplerFeed");
        FlowGraph::Graph& graph = m_Harness.GetGraph();
        m_Harness.Add("OpenGL.Texture.MultiSource2D", "targets");
        graph.SetControl("targets", "Number of Textures", "2");
        graph.SetControl("targets", "Texture0", "GL_RGBA8");
        graph.SetControl("targets", "Texture1", "GL_DEPTH_COMPONENT32F");
        for (const char* szSize : {"Width", "Height"}) m_Harness.Set("targets", szSize, std::to_string(iSide));
        m_Harness.Add("OpenGL.Texture.MultiClear", "clear");
        graph.SetControl("clear", "Number of Targets", "2");
        m_Harness.Set("clear", "ClearColor", "0 0 0 0");
        m_Harness.Set("clear", "ClearDepth", std::to_string(fClearDepth));
        m_Harness.Connect("targets", "0", "clear", "Target0");
        m_Harness.Connect("targets", "1", "clear", "Target1");
        m_pItem = &m_Harness.Add(strType, "vis");
        if (bColour) m_Harness.Connect("clear", "Clear Target0", "vis", "Target Color");
        m_Harness.Connect("clear", "Clear Target1", "vis", "Target Depth");
        for (const char* szMatrix : {"World-Matrix", "View-Matrix", "Projection-Matrix"})
            m_Matrices[szMatrix] = &Value<Matrix44f>("Test.MatrixFeed", szMatrix);
        m_Matrices["World-Matrix"]->reset();
        *m_Matrices["View-Matrix"] = *m_Matrices["Projection-Matrix"] = Matrix44f::Identity();

        const float p[9] = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0, 0.5f, 0};
        const std::uint32_t indices[3] = {0, 1, 2};
        if (strType == "OpenGL.BufferAsPoints") Buffer("Buffer", p, sizeof(p));
        if (strType != "OpenGL.CubeMapVisualizer") return;
        for (const char* szInput : {"Positions", "Normals"}) Buffer(szInput, p, sizeof(p));
        Buffer("IndexBuffer", indices, sizeof(indices));
        m_pCube = &Value<TextureObjectCube>("Test.CubeFeed", "Cube Map");
        *m_pCube = Cube(1, 1, [](int) { return Vector3f(1, 1, 1); });
    }
    ~Scene()
    {
        for (BufferObject& buffer : m_Buffers) buffer.Release();
        glDeleteTextures(GLsizei(m_Cubes.size()), m_Cubes.data());
    }

    // A feed of the type connected to an input of "vis", holding a value.
    template <class T>
    std::optional<T>& Value(const std::string& strType, const std::string& strInput)
    {
        return OndoTest::FeedValue<T>(m_Harness, strType, "feed " + strInput, "vis", strInput).m_Value;
    }
    // The buffer input's feed (made at the first call), given a new buffer
    // of those bytes.
    std::optional<BufferObject>& Buffer(const std::string& strInput, const void* pData, std::size_t uiBytes)
    {
        std::optional<BufferObject>*& pFeed = m_Fed[strInput];
        if (!pFeed) pFeed = &Value<BufferObject>("Test.BufferFeed", strInput);
        BufferObject& buffer = m_Buffers.emplace_back();
        glCreateBuffers(1, &buffer.m_uiName);
        glNamedBufferData(buffer.m_uiName, GLsizeiptr(uiBytes), pData, GL_STATIC_DRAW);
        return *pFeed = buffer, *pFeed;
    }
    // An RGBA8 cube map of iLevels levels (one: mutable, without mipmaps)
    // from iSize texels square, each face one colour.
    TextureObjectCube Cube(int iLevels, int iSize, const std::function<Vector3f(int)>& fnFace)
    {
        TextureObjectCube cube;
        glGenTextures(1, &cube.m_uiName);
        m_Cubes.push_back(cube.m_uiName);
        glBindTexture(GL_TEXTURE_CUBE_MAP, cube.m_uiName);
        if (iLevels > 1) glTexStorage2D(GL_TEXTURE_CUBE_MAP, iLevels, GL_RGBA8, iSize, iSize);
        for (int iFace = 0; iFace < 6; ++iFace)
            for (int iLevel = 0, iLevelSize = iSize; iLevel < iLevels; ++iLevel, iLevelSize /= 2) {
                const Vector3f c = fnFace(iFace);
                std::vector<float> texels;
                for (int i = 0; i < iLevelSize * iLevelSize; ++i) texels.insert(texels.end(), {c[0], c[1], c[2], 1});
                const GLenum eFace = GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + iFace);
                if (iLevels > 1)
                    glTexSubImage2D(eFace, iLevel, 0, 0, iLevelSize, iLevelSize, GL_RGBA, GL_FLOAT, texels.data());
                else
                    glTexImage2D(eFace, 0, GL_RGBA8, iSize, iSize, 0, GL_RGBA, GL_FLOAT, texels.data());
            }
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        return cube;
    }
    // The run drew: both targets come out, marked changed, nothing is bound.
    void ExpectDrawn()
    {
        OndoTest::ExpectOutputIsTarget(m_Harness, "vis", "Depth", DepthTarget());
        OndoTest::ExpectOutputIsTarget(m_Harness, "vis", "Color", Colour());
        OndoTest::ExpectNothingBound();
    }

    TextureObject2D& Colour() { return *m_Harness.Output<TextureObject2D>("targets", "0"); }
    TextureObject2D& DepthTarget() { return *m_Harness.Output<TextureObject2D>("targets", "1"); }
    std::vector<float> Depth() { return OndoTest::ReadDepth(DepthTarget(), m_iSide * m_iSide); }
    // The texel that p lands on under the matrices fed.
    std::size_t PixelOf(const Vector3f& p)
    {
        const Matrix44f mvp = **m_Matrices["Projection-Matrix"] * **m_Matrices["View-Matrix"] *
                              m_Matrices["World-Matrix"]->value_or(Matrix44f::Identity());
        const Vector4f clip = mvp * Vector4f(p[0], p[1], p[2], 1.0f);
        int xy[2];
        for (int k = 0; k < 2; ++k)
            xy[k] = std::clamp(int(std::floor((clip[k] / clip[3] * 0.5f + 0.5f) * m_iSide)), 0, m_iSide - 1);
        return std::size_t(xy[1] * m_iSide + xy[0]);
    }

    OndoTest::FilterHarness m_Harness;
    int m_iSide;
    FlowGraph::ScopeItem* m_pItem = nullptr;
    std::map<std::string, std::optional<Matrix44f>*> m_Matrices;
    std::map<std::string, std::optional<BufferObject>*> m_Fed;
    std::optional<TextureObjectCube>* m_pCube = nullptr;

private:
    std::vector<BufferObject> m_Buffers;
    std::vector<GLuint> m_Cubes;
};

} // namespace

TEST(BufferAsPoints, WholePositionsAreDrawnDepthTestedInTheirColourAndSize)
{
    EXPECT_EQ(Prismvale::FilterBufferAsPoints::PointSizeFor(-2.0f), 1.17549435e-38f);
    EXPECT_EQ(Prismvale::FilterBufferAsPoints::PointSizeFor(0.0f), std::numeric_limits<float>::min());
    constexpr int Side = 16;
    // The pixels where the three points land, at depth 0.5. Sizes of 0 and
    // below, which glPointSize refuses with a GL error that the run would
    // report, are raised; how a point of no size rasterises is the GL's.
    const std::array<std::array<int, 2>, 3> pixels = {{{3, 4}, {10, 12}, {12, 2}}};
    struct Case {
        const char* szWhat;
        std::size_t uiBytes;  // of the buffer: 40 hold three positions and one float more
        const char* szColour; // "Color" input, none when null
        const char* szSize;   // "PointSize" input, none when null
        int iHalf;            // pixels drawn around each point's own; -1: not looked at
        bool bMatrices;       // world, view and projection other than identity
        float fClearDepth = 1; // of the depth target: points behind it are hidden
    };
    for (const Case& row : {Case{"40 bytes, red by default", 40, nullptr, nullptr, 0, false},
                            Case{"colour and size 3 given", 36, "0 1 0.5", "3", 1, false},
                            Case{"projection x view x world", 36, nullptr, nullptr, 0, true},
                            Case{"behind the depth target: hidden", 36, nullptr, nullptr, 0, false, 0.25f},
                            Case{"size 0", 36, nullptr, "0", -1, false}, Case{"size -2", 36, nullptr, "-2", -1, false},
                            Case{"no bytes draw nothing", 0, nullptr, nullptr, 0, false}}) {
        SCOPED_TRACE(row.szWhat);
        Scene scene("OpenGL.BufferAsPoints", Side, true, row.fClearDepth);
        // Each matrix moves the points differently: in another order they
        // would land elsewhere.
        const auto fnMatrix = [&](std::initializer_list<float> rows) {
            return row.bMatrices ? Matrix44f::FromRows(rows) : Matrix44f::Identity();
        };
        const Matrix44f world = fnMatrix({1, 0, 0, .5f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
        const Matrix44f view = fnMatrix({.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
        const Matrix44f projection = fnMatrix({1, 0, 0, 0, 0, 1, 0, .25f, 0, 0, 1, 0, 0, 0, 0, 1});
        if (row.bMatrices) *scene.m_Matrices["World-Matrix"] = world;
        *scene.m_Matrices["View-Matrix"] = view;
        *scene.m_Matrices["Projection-Matrix"] = projection;
        const Matrix44f unproject = *Ondo::Inverse(projection * view * world);
        std::vector<float> positions;
        for (const auto& [x, y] : pixels) {
            const Vector4f p = unproject * Vector4f((2 * x + 1.0f) / Side - 1, (2 * y + 1.0f) / Side - 1, 0, 1);
            positions.insert(positions.end(), {p[0] / p[3], p[1] / p[3], p[2] / p[3]});
        }
        positions.push_back(0.0f);
        scene.Buffer("Buffer", positions.data(), row.uiBytes);
        if (row.szColour) scene.m_Harness.Set("vis", "Color", row.szColour);
        if (row.szSize) scene.m_Harness.Set("vis", "PointSize", row.szSize);

        GLuint uiQuery = 0, uiPoints = 0;
        glGenQueries(1, &uiQuery);
        glBeginQuery(GL_PRIMITIVES_GENERATED, uiQuery);
        ASSERT_EQ(scene.m_Harness.RunError(), "(the run went on)");
        glEndQuery(GL_PRIMITIVES_GENERATED);
        glGetQueryObjectuiv(uiQuery, GL_QUERY_RESULT, &uiPoints);
        glDeleteQueries(1, &uiQuery);
        EXPECT_EQ(uiPoints, row.uiBytes == 0 ? 0u : 3u) << "whole 12-byte positions only";
        scene.ExpectDrawn();
        GLfloat fPointSize = 0;
        glGetFloatv(GL_POINT_SIZE, &fPointSize);
        EXPECT_EQ(fPointSize, 1.0f) << "the point size goes back to 1";
        if (row.iHalf < 0) continue;

        // Colour and depth where the points show, the cleared target elsewhere.
        const Vector3f colour = row.szColour ? Vector3f(0, 1, 0.5f) : Vector3f(1, 0, 0);
        std::vector<float> expected(4 * Side * Side, 0.0f), depth(Side * Side, row.fClearDepth);
        for (std::size_t k = 0; k < (row.fClearDepth > 0.5f ? uiPoints : 0); ++k)
            for (int dy = -row.iHalf; dy <= row.iHalf; ++dy)
                for (int dx = -row.iHalf; dx <= row.iHalf; ++dx) {
                    const std::size_t i = std::size_t((pixels[k][1] + dy) * Side + pixels[k][0] + dx);
                    for (int c = 0; c < 3; ++c) expected[4 * i + c] = OndoTest::Unorm8(colour[c]);
                    expected[4 * i + 3] = 1.0f;
                    depth[i] = 0.5f;
                }
        OndoTest::ExpectTexels(OndoTest::ReadTexture(scene.Colour()), expected, 1e-6f, Side);
        EXPECT_EQ(scene.Depth(), depth);
    }
}

TEST(CoordinateSystem, ArrowMeshHasItsPartsCountsAndShape)
{
    const Vector3f c(0, 0.5f, 0);
    const Mesh cap = FilterCoordinateSystem::MakeCap(c, 0.1f, false);
    const Mesh cylinder = FilterCoordinateSystem::MakeCylinderSide(c, 0.1f, 0.3f);
    const Mesh cone = FilterCoordinateSystem::MakeConeSide(c, 0.1f, 0.2f);
    const Mesh arrow = FilterCoordinateSystem::MakeArrow(), axes = FilterCoordinateSystem::MakeAxes();
    // Vertex and index counts, and the indices of the last segment (of the
    // last piece, shifted by the vertices merged before it).
    for (const auto& [pMesh, uiVertices, uiIndices, last] :
         std::vector<std::tuple<const Mesh*, std::size_t, std::size_t, std::vector<std::uint32_t>>>{
             {&cap, 41, 120, {40, 0, 1}}, {&cylinder, 80, 240, {79, 78, 0, 79, 0, 1}}, {&cone, 80, 120, {78, 79, 1}},
             {&arrow, 283, 720, {281, 282, 204}}, {&axes, 3 * 283, 3 * 720, {847, 848, 770}}}) {
        SCOPED_TRACE(uiVertices);
        EXPECT_EQ(pMesh->m_Positions.size(), uiVertices);
        EXPECT_EQ(pMesh->m_Normals.size(), uiVertices);
        EXPECT_EQ(pMesh->m_Indices.size(), uiIndices);
        EXPECT_EQ(std::vector<std::uint32_t>(pMesh->m_Indices.end() - long(last.size()), pMesh->m_Indices.end()), last);
    }
    // Segment 0 at angle 0 (+z), segment 39 at 39 / 6.2331853 radians; the
    // cone's segments start at its tip.
    const float a39 = 39.0f / 6.2331853f;
    const Vector3f rim39(std::sin(a39) * 0.1f, 0, std::cos(a39) * 0.1f);
    EXPECT_EQ(cap.m_Positions[1], c + Vector3f(0, 0, 0.1f));
    EXPECT_EQ(cap.m_Positions[40], c + rim39);
    EXPECT_EQ(cap.m_Normals[7], Vector3f(0, -1, 0));
    EXPECT_EQ(FilterCoordinateSystem::MakeCap(c, 0.1f, true).m_Normals[7], Vector3f(0, 1, 0));
    EXPECT_EQ(cylinder.m_Positions[79], c + rim39 + Vector3f(0, 0.3f, 0));
    EXPECT_EQ(cone.m_Positions[78], c + Vector3f(0, 0.2f, 0));
    EXPECT_LT((cone.m_Normals[79] - Vector3f(std::sin(a39), 0.2f / 0.1f, std::cos(a39)).Normalized()).Length(), 1e-6f);

    // Each coloured copy reaches 1 along its own axis at the cone's tip and
    // keeps within the cone's radius of the axis; normals are of unit length.
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("axis " + std::to_string(k));
        float fReach = -1, fOff = 0;
        for (std::size_t v = 283 * k; v < 283 * (k + 1); ++v) {
            ASSERT_EQ(axes.m_Colors[v], Vector3f(k == 0, k == 1, k == 2));
            ASSERT_NEAR(axes.m_Normals[v].Length(), 1.0f, 1e-5f);
            const Vector3f& p = axes.m_Positions[v];
            ASSERT_GE(p[k], -1e-6f) << "the arrow points along +" << "xyz"[k];
            fReach = std::max(fReach, p[k]);
            fOff = std::max(fOff, std::hypot(p[(k + 1) % 3], p[(k + 2) % 3]));
        }
        EXPECT_NEAR(fReach, 1.0f, 1e-6f);
        EXPECT_NEAR(fOff, 0.07f, 1e-6f);
    }
}

TEST(CoordinateSystem, EachArrowTipShowsItsColourWhereItProjects)
{
    // Seen from near each axis in turn, the tip of that axis's arrow lies
    // inside the cone's outline, so its pixel shows the lit arrow. The y axis
    // gets an identity world matrix, the others none: both must draw alike.
    const std::array<Vector3f, 3> axes = {Vector3f(1, 0, 0), Vector3f(0, 1, 0), Vector3f(0, 0, 1)};
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("axis " + std::to_string(k));
        Scene scene("OpenGL.ShowCoordinateSystem", 64);
        *scene.m_Matrices["View-Matrix"] =
            Host::LookAt(axes[k] * 3.0f + axes[(k + 1) % 3] * 0.8f, {0, 0, 0}, axes[(k + 2) % 3]);
        *scene.m_Matrices["Projection-Matrix"] = Host::Perspective(50.0f, 1.0f, 0.5f, 10.0f);
        if (k == 1) *scene.m_Matrices["World-Matrix"] = Matrix44f::Identity();
        ASSERT_TRUE(scene.m_Harness.Run());
        scene.ExpectDrawn();
        const std::vector<float> colour = OndoTest::ReadTexture(scene.Colour()), depth = scene.Depth();
        const std::size_t uiTip = scene.PixelOf(axes[k]);
        const Vector3f c = Texel3(colour, uiTip);
        EXPECT_GT(c[k], 0.3f) << "lit";
        EXPECT_EQ(c[(k + 1) % 3] + c[(k + 2) % 3], 0.0f) << c[0] << " " << c[1] << " " << c[2];
        // Colour and depth are written together, opaque.
        std::size_t uiDrawn = 0;
        for (std::size_t i = 0; i < depth.size(); ++i) {
            uiDrawn += depth[i] < 1.0f;
            ASSERT_EQ(depth[i] < 1.0f, colour[4 * i + 3] == 1.0f) << "colour where depth is, at " << i;
        }
        EXPECT_GT(uiDrawn, 10u);
        EXPECT_LT(depth[uiTip], 1.0f);
    }
}

TEST(CubeMapVisualizer, AMirrorShowsTheFaceItsReflectedRayPointsAt)
{
    // One colour per face, +x, -x, +y, -y, +z, -z. A triangle at z = 0, seen
    // from (0, 0, 4), mirrors the ray from the eye (-z) about its normal:
    // n = z sends it back to +z, n = (x + z) / sqrt 2 to +x, (z - y) / sqrt 2
    // to -y.
    const std::array<Vector3f, 6> faces = {Vector3f(1, 0, 0), Vector3f(0, 1, 1), Vector3f(0, 1, 0),
                                           Vector3f(1, 0, 1), Vector3f(0, 0, 1), Vector3f(1, 1, 0)};
    struct Case {
        const char* szWhat;
        int iLevels;          // of the cube map
        GLint iSamplerFilter; // of a "Sampler State" connected; 0: none
        Vector3f normal;
        std::size_t uiFace;  // shown where the origin projects
        const char* szError; // what the run says, or null when it draws
    };
    for (const Case& row : {Case{"mipmaps, default sampler", 3, 0, {0, 0, 1}, 4, nullptr},
                            Case{"mipmaps, default sampler, turned", 3, 0, {0, -0.7071068f, 0.7071068f}, 3, nullptr},
                            Case{"no mipmaps, sampler without them", 1, GL_LINEAR, {0.7071068f, 0, 0.7071068f}, 0,
                                 nullptr},
                            Case{"no mipmaps, default sampler", 1, 0, {0, 0, 1}, 0,
                                 "\"Cube Map\" has no mipmap level 1, but its minification filter "
                                 "GL_NEAREST_MIPMAP_LINEAR"}}) {
        SCOPED_TRACE(row.szWhat);
        Scene scene("OpenGL.CubeMapVisualizer", 16);
        const float positions[9] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
        std::vector<float> normals;
        for (int v = 0; v < 3; ++v) normals.insert(normals.end(), row.normal.data(), row.normal.data() + 3);
        scene.Buffer("Positions", positions, sizeof(positions));
        scene.Buffer("Normals", normals.data(), 4 * normals.size());
        *scene.m_Matrices["View-Matrix"] = Host::LookAt({0, 0, 4}, {0, 0, 0}, {0, 1, 0});
        *scene.m_Matrices["Projection-Matrix"] = Host::Perspective(40.0f, 1.0f, 1.0f, 10.0f);
        *scene.m_pCube = scene.Cube(row.iLevels, 4, [&](int iFace) { return faces[std::size_t(iFace)]; });
        GLuint uiSampler = 0;
        if (row.iSamplerFilter) {
            glGenSamplers(1, &uiSampler);
            glSamplerParameteri(uiSampler, GL_TEXTURE_MIN_FILTER, row.iSamplerFilter);
            scene.Value<GLuint>("Test.SamplerFeed", "Sampler State") = uiSampler;
        }
        const std::string strError = scene.m_Harness.RunError();
        glDeleteSamplers(1, &uiSampler);
        if (row.szError) {
            OndoTest::ExpectRefusal(strError, "vis", row.szError);
            continue;
        }
        ASSERT_EQ(strError, "(the run went on)");
        scene.ExpectDrawn();
        EXPECT_EQ(OndoTest::SamplerOnUnit0(), 0u);
        EXPECT_EQ(Texel3(OndoTest::ReadTexture(scene.Colour()), scene.PixelOf({0, 0, 0})), faces[row.uiFace]);
    }
}

TEST(Visualisers, BadInputsAreRefusedByNameBeforeAnythingIsBound)
{
    // Each visualiser has what it draws with, and then one input is spoilt.
    std::vector<TextureObject2D> textures;
    const auto fnColour = [&](int iWidth, GLenum eFormat) {
        return [&textures, iWidth, eFormat](Scene& scene) {
            TextureObject2D& texture = textures.emplace_back(OndoTest::MakeTexture(iWidth, 8, eFormat));
            scene.m_Harness.Feed("vis", "Target Color", texture);
        };
    };
    const std::uint32_t indices[3] = {0, 1, 3};
    const Matrix44f singular = Matrix44f::FromRows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    using Spoil = std::function<void(Scene&)>;
    for (const auto& [szType, fnSpoil, szMessage] : std::vector<std::tuple<const char*, Spoil, const char*>>{
             {"OpenGL.BufferAsPoints", [](Scene& s) { s.m_Fed["Buffer"]->reset(); }, "\"Buffer\" carries no buffer"},
             {"OpenGL.BufferAsPoints", [](Scene& s) { s.m_Harness.Set("vis", "PointSize", "nan"); },
              "\"PointSize\" is not a number"},
             {"OpenGL.ShowCoordinateSystem", fnColour(4, GL_RGBA8),
              "\"Target Color\" is 4 x 8 texels, but \"Target Depth\" is 8 x 8"},
             {"OpenGL.ShowCoordinateSystem", fnColour(8, GL_RGBA32UI),
              "\"Target Color\" is a GL_RGBA32UI texture of unsigned"},
             {"OpenGL.CubeMapVisualizer", [&](Scene& s) { s.Buffer("IndexBuffer", indices, sizeof(indices)); },
              "\"IndexBuffer\" names vertex 3, but the vertex buffers hold 3"},
             {"OpenGL.CubeMapVisualizer", [](Scene& s) { s.m_pCube->reset(); }, "\"Cube Map\" carries no texture"},
             {"OpenGL.CubeMapVisualizer", [&](Scene& s) { *s.m_Matrices["View-Matrix"] = singular; },
              "\"View-Matrix\" has no inverse"}}) {
        SCOPED_TRACE(std::string(szType) + ": " + szMessage);
        Scene scene(szType, 8, std::string(szType) != "OpenGL.ShowCoordinateSystem");
        fnSpoil(scene);
        OndoTest::ExpectRefusal(scene.m_Harness.RunError(), "vis", szMessage);
    }
    for (TextureObject2D& texture : textures) texture.Release();
}

TEST(Visualisers, SettingsKeepTheirOrderAndReleaseLeavesNoGLObject)
{
    OndoTest::TestDevice();
    const std::vector<std::string> matrices = {"hMatWorldIn", "hMatViewIn", "hMatProjIn"};
    for (const auto& [strType, keys] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"OpenGL.BufferAsPoints", {"hColor", "hPointSize", "hTextureDepthIn", "hBufferIn", "hDepthOut"}},
             {"OpenGL.ShowCoordinateSystem",
              {"hTextureTargetColor", "hTextureDepthIn", "hDepthOut", "hTextureOutColor"}},
             {"OpenGL.CubeMapVisualizer",
              {"hTextureCubeIn", "hTextureDepthIn", "hIndicesIn", "hSamplerState", "hDepthOut"}}}) {
        SCOPED_TRACE(strType);
        const std::array<int, 5> before = OndoTest::LiveObjects();
        {
            Scene scene(strType, 8);
            TiXmlDocument document;
            std::vector<std::string> expected = matrices;
            if (strType != "OpenGL.ShowCoordinateSystem") expected.insert(expected.begin(), "ShaderHelper");
            expected.insert(expected.end(), keys.begin(), keys.end());
            EXPECT_EQ(OndoTest::Keys(*OndoTest::Settings(*scene.m_pItem, document)), expected);
            // Counted after a run that drew: every object made has been bound.
            ASSERT_TRUE(scene.m_Harness.Run());
            EXPECT_GT(OndoTest::LiveObjects()[1], before[1]);
        }
        EXPECT_EQ(OndoTest::LiveObjects(), before);
    }
}
