// The debug visualisers: points of a buffer, the axes of a matrix and a
// cube-mapped mesh drawn into colour and depth targets that a texture source
// makes and the multi-target clear empties, read back against positions
// projected here; the arrow mesh as built; refusals, settings and release.

#include "ComputeFilterTestSupport.h"

#include "src/FilterBufferAsPoints.h"
#include "src/FilterCoordinateSystem.h"

#include "host/Modules/Camera.h"
#include "host/Modules/HostModules.h"

#include <array>
#include <limits>
#include <map>
#include <set>

using namespace Ondo;
using OndoTest::ValueFeed;
using OpenGL::BufferObject;
using OpenGL::TextureObject2D;
using OpenGL::TextureObjectCube;
using Mesh = Prismvale::FilterCoordinateSystem::Mesh;
using Prismvale::FilterCoordinateSystem;

namespace {

BufferObject MakeBuffer(const void* pData, std::size_t uiBytes)
{
    BufferObject buffer;
    glCreateBuffers(1, &buffer.m_uiName);
    glNamedBufferData(buffer.m_uiName, GLsizeiptr(uiBytes), pData, GL_STATIC_DRAW);
    return buffer;
}

Vector3f Texel3(const std::vector<float>& rgba, std::size_t i)
{
    return {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]};
}

// Nothing bound once a run is over or was refused.
void ExpectNothingBound()
{
    GLint iFramebuffer = -1, iProgram = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &iFramebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &iProgram);
    EXPECT_EQ(std::make_pair(iFramebuffer, iProgram), std::make_pair(0, 0));
}

// A visualiser "vis" drawing into an RGBA8 colour and a 32-bit float depth
// target that a texture source makes and the multi-target clear empties
// before every run (colour to transparent black, depth to fClearDepth); the
// colour target feeds strColour unless that is empty. Its matrices (view
// and projection identity, the world matrix without value) and the buffers and cube map it draws with,
// a triangle and one texel a face, are fed by the test and released here.
class Scene {
public:
    Scene(const std::string& strType, int iSide, const std::string& strColour = "Target Color", bool bBuffers = true,
          float fClearDepth = 1.0f)
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
        Connect("targets", "0", "clear", "Target0");
        Connect("targets", "1", "clear", "Target1");
        m_pItem = &m_Harness.Add(strType, "vis");
        if (!strColour.empty()) Connect("clear", "Clear Target0", "vis", strColour);
        Connect("clear", "Clear Target1", "vis", "Target Depth");

        for (const char* szMatrix : {"World-Matrix", "View-Matrix", "Projection-Matrix"})
            m_Matrices[szMatrix] = &Value<Matrix44f>("Test.MatrixFeed", szMatrix);
        m_Matrices["World-Matrix"]->reset();
        *m_Matrices["View-Matrix"] = *m_Matrices["Projection-Matrix"] = Matrix44f::Identity();
        const float p[9] = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0, 0.5f, 0};
        const std::uint32_t indices[3] = {0, 1, 2};
        if (strType == "OpenGL.BufferAsPoints") Buffer("Buffer", p, sizeof(p));
        if (strType != "OpenGL.CubeMapVisualizer") return;
        if (bBuffers) {
            Buffer("IndexBuffer", indices, sizeof(indices));
            Buffer("Positions", p, sizeof(p));
            Buffer("Normals", p, sizeof(p));
        }
        TextureObjectCube cube;
        glGenTextures(1, &cube.m_uiName);
        glBindTexture(GL_TEXTURE_CUBE_MAP, cube.m_uiName);
        glTexStorage2D(GL_TEXTURE_CUBE_MAP, 1, GL_RGBA8, 1, 1);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        *(m_pCube = &Value<TextureObjectCube>("Test.CubeFeed", "Cube Map")) = Own(cube);
    }
    ~Scene()
    {
        for (BufferObject& buffer : m_Buffers) buffer.Release();
        glDeleteTextures(GLsizei(m_Textures.size()), m_Textures.data());
    }

    void Connect(const std::string& strFrom, const std::string& strOut, const std::string& strTo,
                 const std::string& strIn)
    {
        m_Harness.GetGraph().Connect(m_Harness.GetGraph().GetRoot(), strFrom, strOut, strTo, strIn);
    }
    // A feed of the type connected to an input of "vis", holding a value.
    template <class T>
    std::optional<T>& Value(const std::string& strType, const std::string& strInput)
    {
        auto& feed = dynamic_cast<ValueFeed<T>&>(m_Harness.Add(strType, "feed " + strInput));
        Connect("feed " + strInput, "Value", "vis", strInput);
        return feed.m_Value.emplace(), feed.m_Value;
    }
    // The buffer input's feed, holding a new buffer of those bytes (a feed
    // made before is given the new buffer).
    std::optional<BufferObject>& Buffer(const std::string& strInput, const void* pData, std::size_t uiBytes)
    {
        std::optional<BufferObject>*& pFeed = m_Fed[strInput];
        if (!pFeed) pFeed = &Value<BufferObject>("Test.BufferFeed", strInput);
        return *pFeed = m_Buffers.emplace_back(MakeBuffer(pData, uiBytes)), *pFeed;
    }
    // A texture the scene deletes at its end.
    template <class T>
    T Own(T texture)
    {
        m_Textures.push_back(texture.m_uiName);
        return texture;
    }
    std::string RunError()
    {
        return OndoTest::ErrorOf([this] { m_Harness.Run(); }, "(the run went on)");
    }

    TextureObject2D& Colour() { return *m_Harness.Output<TextureObject2D>("targets", "0"); }
    TextureObject2D& DepthTarget() { return *m_Harness.Output<TextureObject2D>("targets", "1"); }
    std::vector<float> Depth()
    {
        std::vector<float> values(std::size_t(m_iSide * m_iSide));
        glGetTextureImage(DepthTarget().m_uiName, 0, GL_DEPTH_COMPONENT, GL_FLOAT, GLsizei(4 * values.size()),
                          values.data());
        return values;
    }
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
    std::vector<GLuint> m_Textures;
};

} // namespace

TEST(BufferAsPoints, WholePositionsAreDrawnWithTheMatricesInTheirColourAndSize)
{
    EXPECT_EQ(Prismvale::FilterBufferAsPoints::PointSizeFor(-2.0f), 1.17549435e-38f);
    EXPECT_EQ(Prismvale::FilterBufferAsPoints::PointSizeFor(0.0f), std::numeric_limits<float>::min());
    constexpr int Side = 16;
    struct Case {
        const char* szWhat;
        std::size_t uiBytes;  // of the buffer: 40 hold three positions and one float more
        const char* szColour; // "Color" input, none when null
        const char* szSize;   // "PointSize" input, none when null
        int iHalf;            // pixels drawn around each point's own
        bool bMatrices;       // world, view and projection other than identity
    };
    // Where the three points land, as pixels. Sizes of 0 and below, which
    // glPointSize refuses with a GL error that the run reports, are raised.
    const std::array<std::array<int, 2>, 3> pixels = {{{3, 4}, {10, 12}, {12, 2}}};
    for (const Case& row :
         {Case{"40 bytes, red by default", 40, nullptr, nullptr, 0, false},
          Case{"colour and size 3 given", 36, "0 1 0.5", "3", 1, false},
          Case{"projection x view x world", 36, nullptr, nullptr, 0, true}, Case{"size 0", 36, nullptr, "0", 0, false},
          Case{"size -2", 36, nullptr, "-2", 0, false}, Case{"no bytes draw nothing", 0, nullptr, nullptr, 0, false}}) {
        SCOPED_TRACE(row.szWhat);
        Scene scene("OpenGL.BufferAsPoints", Side);
        Matrix44f world = Matrix44f::Identity(), view = world, projection = world;
        if (row.bMatrices) {
            // Each of the three moves the points differently; in another order
            // they would land elsewhere.
            world = Matrix44f::FromRows({1, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
            view = Matrix44f::FromRows({0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
            projection = Matrix44f::FromRows({1, 0, 0, 0, 0, 1, 0, 0.25f, 0, 0, 1, 0, 0, 0, 0, 1});
            *scene.m_Matrices["World-Matrix"] = world;
            *scene.m_Matrices["View-Matrix"] = view;
            *scene.m_Matrices["Projection-Matrix"] = projection;
        }
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
        ASSERT_EQ(scene.RunError(), "(the run went on)");
        glEndQuery(GL_PRIMITIVES_GENERATED);
        glGetQueryObjectuiv(uiQuery, GL_QUERY_RESULT, &uiPoints);
        glDeleteQueries(1, &uiQuery);
        EXPECT_EQ(uiPoints, row.uiBytes == 0 ? 0u : 3u) << "whole 12-byte positions only";
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "vis", "Depth", scene.DepthTarget());
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "vis", "Color", scene.Colour());
        GLfloat fPointSize = 0;
        glGetFloatv(GL_POINT_SIZE, &fPointSize);
        EXPECT_EQ(fPointSize, 1.0f) << "the point size goes back to 1";
        ExpectNothingBound();
        if (row.szSize && row.iHalf == 0) continue; // how a point of no size rasterises is the GL's

        const Vector3f colour = row.szColour ? Vector3f(0, 1, 0.5f) : Vector3f(1, 0, 0);
        std::vector<float> expected(4 * Side * Side, 0.0f);
        for (std::size_t k = 0; k < uiPoints; ++k)
            for (int dy = -row.iHalf; dy <= row.iHalf; ++dy)
                for (int dx = -row.iHalf; dx <= row.iHalf; ++dx) {
                    const std::size_t i = std::size_t((pixels[k][1] + dy) * Side + pixels[k][0] + dx);
                    for (int c = 0; c < 3; ++c) expected[4 * i + c] = OndoTest::Unorm8(colour[c]);
                    expected[4 * i + 3] = 1.0f;
                }
        OndoTest::ExpectTexels(OndoTest::ReadTexture(scene.Colour()), expected, 1e-6f, Side);
    }
}

TEST(BufferAsPoints, PointsAreDepthTestedAgainstTheTargetAndWriteTheirDepth)
{
    // The depth target holds a plane at depth 0.5 (clip z 0): a point in
    // front of it (clip z -0.5, depth 0.25) shows and writes its depth, one
    // behind it (clip z 0.5) does not.
    Scene scene("OpenGL.BufferAsPoints", 16, "Target Color", true, 0.5f);
    const float positions[6] = {-0.5625f, -0.4375f, -0.5f, 0.3125f, 0.5625f, 0.5f}; // pixels (3, 4) and (10, 12)
    scene.Buffer("Buffer", positions, sizeof(positions));
    ASSERT_TRUE(scene.m_Harness.Run());

    const std::size_t uiFront = 4 * 16 + 3, uiBehind = 12 * 16 + 10;
    const std::vector<float> colour = OndoTest::ReadTexture(scene.Colour()), depth = scene.Depth();
    EXPECT_EQ(Texel3(colour, uiFront), Vector3f(1, 0, 0)) << "the point in front shows";
    EXPECT_EQ(Texel3(colour, uiBehind), Vector3f(0, 0, 0)) << "the point behind is hidden";
    for (std::size_t i = 0; i < depth.size(); ++i) ASSERT_EQ(depth[i], i == uiFront ? 0.25f : 0.5f) << "texel " << i;
}

TEST(CoordinateSystem, ArrowMeshHasItsPartsCountsAndShape)
{
    const Vector3f c(0, 0.5f, 0);
    const Mesh cap = FilterCoordinateSystem::MakeCap(c, 0.1f, false);
    const Mesh cylinder = FilterCoordinateSystem::MakeCylinderSide(c, 0.1f, 0.3f);
    const Mesh cone = FilterCoordinateSystem::MakeConeSide(c, 0.1f, 0.2f);
    const Mesh arrow = FilterCoordinateSystem::MakeArrow(), axes = FilterCoordinateSystem::MakeAxes();
    struct Count {
        const Mesh* pMesh;
        std::size_t uiVertices, uiIndices;
        std::vector<std::uint32_t> lastIndices; // of the last segment
    };
    for (const Count& row : {Count{&cap, 41, 120, {40, 0, 1}}, Count{&cylinder, 80, 240, {79, 78, 0, 79, 0, 1}},
                             Count{&cone, 80, 120, {78, 79, 1}}, Count{&arrow, 283, 720, {281, 282, 204}},
                             Count{&axes, 3 * 283, 3 * 720, {847, 848, 770}}}) {
        SCOPED_TRACE(row.uiVertices);
        EXPECT_EQ(row.pMesh->m_Positions.size(), row.uiVertices);
        EXPECT_EQ(row.pMesh->m_Normals.size(), row.uiVertices);
        EXPECT_EQ(std::vector<std::uint32_t>(row.pMesh->m_Indices.end() - long(row.lastIndices.size()),
                                             row.pMesh->m_Indices.end()),
                  row.lastIndices);
        EXPECT_EQ(row.pMesh->m_Indices.size(), row.uiIndices);
    }
    // Segment 0 at angle 0 (+z), segment 39 at 39 / 6.2331853 radians; the
    // cone's segments start at its tip.
    const float a39 = 39.0f / 6.2331853f;
    const Vector3f rim39(std::sin(a39) * 0.1f, 0, std::cos(a39) * 0.1f);
    EXPECT_EQ(cap.m_Positions[0], c);
    EXPECT_EQ(cap.m_Positions[1], c + Vector3f(0, 0, 0.1f));
    EXPECT_EQ(cap.m_Positions[40], c + rim39);
    EXPECT_EQ(cap.m_Normals[7], Vector3f(0, -1, 0));
    EXPECT_EQ(FilterCoordinateSystem::MakeCap(c, 0.1f, true).m_Normals[7], Vector3f(0, 1, 0));
    EXPECT_EQ(cylinder.m_Positions[79], c + rim39 + Vector3f(0, 0.3f, 0));
    EXPECT_EQ(cone.m_Positions[78], c + Vector3f(0, 0.2f, 0));
    const Vector3f coneNormal = Vector3f(std::sin(a39), 0.2f / 0.1f, std::cos(a39)).Normalized();
    EXPECT_LT((cone.m_Normals[79] - coneNormal).Length(), 1e-6f);

    // Each coloured copy reaches 1 along its own axis at the cone's tip and
    // keeps within the cone's radius of the axis; normals are of unit length.
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("axis " + std::to_string(k));
        float fReach = -1, fOff = 0;
        for (std::size_t v = 283 * k; v < 283 * (k + 1); ++v) {
            ASSERT_EQ(axes.m_Colors[v], Vector3f(k == 0, k == 1, k == 2));
            ASSERT_NEAR(axes.m_Normals[v].Length(), 1.0f, 1e-5f);
            const Vector3f& p = axes.m_Positions[v];
            ASSERT_GE(p[k], -1e-6f) << "the arrow points along +"
                                    << "xyz"[k];
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
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "vis", "Color", scene.Colour());
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "vis", "Depth", scene.DepthTarget());
        ExpectNothingBound();

        const std::vector<float> colour = OndoTest::ReadTexture(scene.Colour()), depth = scene.Depth();
        const std::size_t uiTip = scene.PixelOf(axes[k]);
        const Vector3f c = Texel3(colour, uiTip);
        EXPECT_GT(c[k], 0.3f) << "lit";
        EXPECT_EQ(c[(k + 1) % 3] + c[(k + 2) % 3], 0.0f) << c[0] << " " << c[1] << " " << c[2];
        EXPECT_LT(depth[uiTip], 1.0f) << "the arrows write depth";
        // Colour and depth are written together, opaque.
        std::size_t uiDrawn = 0;
        for (std::size_t i = 0; i < depth.size(); ++i) {
            uiDrawn += depth[i] < 1.0f;
            ASSERT_EQ(depth[i] < 1.0f, colour[4 * i + 3] == 1.0f) << "colour where depth is, at " << i;
        }
        EXPECT_GT(uiDrawn, 10u);
    }
}

TEST(CubeMapVisualizer, ASphereMirrorsTheFaceItsReflectedRaysPointAt)
{
    // One colour per face, +x, -x, +y, -y, +z, -z.
    const std::array<Vector3f, 6> faces = {Vector3f(1, 0, 0), Vector3f(0, 1, 1), Vector3f(0, 1, 0),
                                           Vector3f(1, 0, 1), Vector3f(0, 0, 1), Vector3f(1, 1, 0)};
    struct Case {
        const char* szWhat;
        int iLevels;          // of the cube map; one level is made mutable, without mipmaps
        GLint iSamplerFilter; // of a "Sampler State" connected; 0: none
        const char* szError;  // what the run says, or null when it draws
    };
    for (const Case& row : {Case{"mipmaps, default sampler", 3, 0, nullptr},
                            Case{"no mipmaps, sampler without them", 1, GL_LINEAR, nullptr},
                            Case{"no mipmaps, default sampler", 1, 0,
                                 "\"Cube Map\" has no mipmap level 1, but its minification filter "
                                 "GL_NEAREST_MIPMAP_LINEAR"}}) {
        SCOPED_TRACE(row.szWhat);
        Scene scene("OpenGL.CubeMapVisualizer", 64, "Target Color", false);
        scene.m_Harness.Add("Host.Mesh.Sphere", "sphere");
        scene.m_Harness.GetGraph().SetControl("sphere", "Segments", "64");
        scene.m_Harness.GetGraph().SetControl("sphere", "Rings", "32");
        scene.m_Harness.Add("OpenGL.MeshToBuffer", "upload");
        scene.Connect("sphere", "Mesh", "upload", "Mesh");
        for (const char* szBuffer : {"IndexBuffer", "Positions", "Normals"})
            scene.Connect("upload", szBuffer, "vis", szBuffer);
        const Vector3f eye(0, 0, 4);
        *scene.m_Matrices["View-Matrix"] = Host::LookAt(eye, {0, 0, 0}, {0, 1, 0});
        *scene.m_Matrices["Projection-Matrix"] = Host::Perspective(40.0f, 1.0f, 1.0f, 10.0f);
        TextureObjectCube cube;
        glGenTextures(1, &cube.m_uiName);
        glBindTexture(GL_TEXTURE_CUBE_MAP, cube.m_uiName);
        if (row.iLevels > 1) glTexStorage2D(GL_TEXTURE_CUBE_MAP, row.iLevels, GL_RGBA8, 4, 4);
        for (int iFace = 0; iFace < 6; ++iFace)
            for (int iLevel = 0, iSize = 4; iLevel < row.iLevels; ++iLevel, iSize /= 2) {
                std::vector<float> texels;
                for (int i = 0; i < iSize * iSize; ++i)
                    texels.insert(texels.end(), {faces[iFace][0], faces[iFace][1], faces[iFace][2], 1});
                const GLenum eFace = GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + iFace);
                if (row.iLevels > 1)
                    glTexSubImage2D(eFace, iLevel, 0, 0, iSize, iSize, GL_RGBA, GL_FLOAT, texels.data());
                else
                    glTexImage2D(eFace, 0, GL_RGBA8, iSize, iSize, 0, GL_RGBA, GL_FLOAT, texels.data());
            }
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        *scene.m_pCube = scene.Own(cube);
        GLuint uiSampler = 0;
        if (row.iSamplerFilter) {
            glGenSamplers(1, &uiSampler);
            glSamplerParameteri(uiSampler, GL_TEXTURE_MIN_FILTER, row.iSamplerFilter);
            scene.Value<GLuint>("Test.SamplerFeed", "Sampler State") = uiSampler;
        }
        const std::string strError = scene.RunError();
        glDeleteSamplers(1, &uiSampler);
        ExpectNothingBound();
        if (row.szError) {
            EXPECT_NE(strError.find("vis"), std::string::npos) << strError;
            EXPECT_NE(strError.find(row.szError), std::string::npos) << strError;
            continue;
        }
        ASSERT_EQ(strError, "(the run went on)");
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "vis", "Depth", scene.DepthTarget());
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "vis", "Color", scene.Colour());
        EXPECT_EQ(OndoTest::SamplerOnUnit0(), 0u);
        // Points of the unit sphere facing the eye, kept off its outline: the
        // reflected ray's largest component names the face, where it is
        // clearly the largest.
        const std::vector<float> colour = OndoTest::ReadTexture(scene.Colour());
        std::set<int> seen;
        for (float fTheta = 0; fTheta < 0.95f; fTheta += 0.05f)
            for (float fPhi = 0; fPhi < 6.28f; fPhi += 0.3f) {
                const Vector3f n(std::sin(fTheta) * std::cos(fPhi), std::sin(fTheta) * std::sin(fPhi),
                                 std::cos(fTheta));
                const Vector3f in = (n - eye).Normalized(), r = in - n * (2 * n.Dot(in));
                std::array<float, 3> a = {std::abs(r[0]), std::abs(r[1]), std::abs(r[2])};
                const int iAxis = int(std::max_element(a.begin(), a.end()) - a.begin());
                std::sort(a.begin(), a.end());
                if (a[2] < 1.5f * a[1]) continue;
                const int iFace = 2 * iAxis + (r[iAxis] < 0);
                seen.insert(iFace);
                ASSERT_EQ(Texel3(colour, scene.PixelOf(n)), faces[std::size_t(iFace)])
                    << "at theta " << fTheta << " phi " << fPhi;
            }
        EXPECT_EQ(seen, (std::set<int>{0, 1, 2, 3, 4})) << "the four side faces and the one behind the eye";
    }
}

TEST(Visualisers, BadInputsAreRefusedByNameBeforeAnythingIsBound)
{
    // Each visualiser has what it draws with, and then one input is spoilt.
    std::vector<TextureObject2D> textures;
    const auto fnColour = [&](int iWidth, GLenum eFormat) {
        return [&textures, iWidth, eFormat](Scene& scene) {
            scene.m_Harness.Feed("vis", "Target Color",
                                 textures.emplace_back(OndoTest::MakeTexture(iWidth, 8, eFormat)));
        };
    };
    const std::uint32_t indices[3] = {0, 1, 3};
    for (const auto& [szType, fnSpoil, szMessage] : std::vector<
             std::tuple<const char*, std::function<void(Scene&)>, const char*>>{{"OpenGL.BufferAsPoints",
                                                                                 [](Scene& scene) {
                                                                                     scene.m_Fed["Buffer"]->reset();
                                                                                 },
                                                                                 "\"Buffer\" carries no buffer"},
                                                                                {"OpenGL.BufferAsPoints",
                                                                                 [](Scene& scene) {
                                                                                     scene.m_Matrices["View-Matrix"]
                                                                                         ->reset();
                                                                                 },
                                                                                 "\"View-Matrix\" carries no matrix"},
                                                                                {"OpenGL.BufferAsPoints",
                                                                                 [](Scene& scene) {
                                                                                     scene.m_Harness.Set(
                                                                                         "vis", "PointSize", "nan");
                                                                                 },
                                                                                 "\"PointSize\" is not a number"},
                                                                                {"OpenGL.ShowCoordinateSystem",
                                                                                 fnColour(4, GL_RGBA8),
                                                                                 "\"Target Color\" is 4 x 8 texels, "
                                                                                 "but \"Target Depth\" is 8 x 8"},
                                                                                {"OpenGL.ShowCoordinateSystem",
                                                                                 fnColour(8, GL_RGBA32UI),
                                                                                 "\"Target Color\" is a GL_RGBA32UI "
                                                                                 "texture of unsigned"},
                                                                                {"OpenGL.CubeMapVisualizer",
                                                                                 [&](Scene& scene) {
                                                                                     scene.Buffer("IndexBuffer",
                                                                                                  indices,
                                                                                                  sizeof(indices));
                                                                                 },
                                                                                 "\"IndexBuffer\" names vertex 3, but "
                                                                                 "the vertex buffers hold 3"},
                                                                                {"OpenGL.CubeMapVisualizer",
                                                                                 [](Scene& scene) {
                                                                                     scene.m_pCube->reset();
                                                                                 },
                                                                                 "\"Cube Map\" carries no texture"},
                                                                                {"OpenGL.CubeMapVisualizer",
                                                                                 [](Scene& scene) {
                                                                                     *scene.m_Matrices["View-Matrix"] =
                                                                                         Matrix44f::FromRows(
                                                                                             {1, 0, 0, 0, 0, 1, 0, 0, 0,
                                                                                              0, 0, 0, 0, 0, 0, 1});
                                                                                 },
                                                                                 "\"View-Matrix\" has no inverse"}}) {
        SCOPED_TRACE(std::string(szType) + ": " + szMessage);
        Scene scene(szType, 8, std::string(szType) == "OpenGL.ShowCoordinateSystem" ? "" : "Target Color");
        fnSpoil(scene);
        const std::string strError = scene.RunError();
        EXPECT_NE(strError.find("vis"), std::string::npos) << "the filter is named: " << strError;
        EXPECT_NE(strError.find(szMessage), std::string::npos) << strError;
        ExpectNothingBound();
    }
    for (TextureObject2D& texture : textures) texture.Release();
}

TEST(Visualisers, SettingsKeepTheirOrderAndReleaseLeavesNoGLObject)
{
    const auto fnCounts = [] {
        return std::array<int, 5>{OndoTest::CountLive(glIsFramebuffer), OndoTest::CountLive(glIsProgram),
                                  OndoTest::CountLive(glIsSampler), OndoTest::CountLive(glIsBuffer),
                                  OndoTest::CountLive(glIsTexture)};
    };
    OndoTest::TestDevice();
    const std::vector<std::string> matrices = {"hMatWorldIn", "hMatViewIn", "hMatProjIn"};
    for (const auto& [strType, keys] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"OpenGL.BufferAsPoints", {"hColor", "hPointSize", "hTextureDepthIn", "hBufferIn", "hDepthOut"}},
             {"OpenGL.ShowCoordinateSystem",
              {"hTextureTargetColor", "hTextureDepthIn", "hDepthOut", "hTextureOutColor"}},
             {"OpenGL.CubeMapVisualizer",
              {"hTextureCubeIn", "hTextureDepthIn", "hIndicesIn", "hSamplerState", "hDepthOut"}}}) {
        SCOPED_TRACE(strType);
        const std::array<int, 5> before = fnCounts();
        {
            // Counted after a run that drew: every object made has been bound.
            Scene scene(strType, 8);
            TiXmlDocument document;
            std::vector<std::string> expected = matrices;
            if (strType != "OpenGL.ShowCoordinateSystem") expected.insert(expected.begin(), "ShaderHelper");
            expected.insert(expected.end(), keys.begin(), keys.end());
            EXPECT_EQ(OndoTest::Keys(*OndoTest::Settings(*scene.m_pItem, document)), expected);
            ASSERT_TRUE(scene.m_Harness.Run());
            EXPECT_GT(fnCounts()[1], before[1]);
        }
        EXPECT_EQ(fnCounts(), before);
    }
}
