// The deferred renderers: procedural meshes drawn into small G-buffers and
// read back (depth, world positions, normals, distance colours), the refused
// buffers and targets, skipped groups, and release.

#include "ComputeFilterTestSupport.h"

#include "host/Modules/Camera.h"
#include "host/Modules/HostModules.h"

#include <map>

using namespace Ondo;
using namespace Ondo::FlowGraph;
using OndoTest::Texel3;
using OpenGL::BufferObject;
using OpenGL::SimpleMaterial;
using OpenGL::SimpleMaterialGroup;
using OpenGL::TextureObject2D;

namespace {

// Scales about the origin, then translates.
Matrix44f Transform(float fScale, float x, float y, float z)
{
    return Matrix44f::FromRows({fScale, 0, 0, x, 0, fScale, 0, y, 0, 0, fScale, z, 0, 0, 0, 1});
}

// A mesh source, its upload and a renderer fed with camera matrices, a
// material list with a grey "Diffuse" texture, and targets of float texels
// cleared to 0 (depth to 1). The upload output that a test feeds itself is
// left unconnected.
class Scene {
public:
    static constexpr int Width = 36, Height = 28;
    static constexpr float Near = 1.0f, Far = 10.0f, EyeDistance = 3.0f;

    Scene(const std::string& strRenderer, const std::string& strShape, const std::vector<std::string>& surfaces,
          const std::string& strFedByTest = std::string())
    {
        Core& core = m_Harness.GetGraph().GetCore();
        Host::RegisterHostModules(core);
        OndoTest::ValueFeed<Matrix44f>::Register(core, "Test.MatrixFeed");
        OndoTest::ValueFeed<std::vector<SimpleMaterial>>::Register(core, "Test.MaterialsFeed");
        OndoTest::ValueFeed<std::vector<SimpleMaterialGroup>>::Register(core, "Test.GroupsFeed");
        OndoTest::ValueFeed<BufferObject>::Register(core, "Test.BufferFeed");
        OndoTest::ValueFeed<GLuint>::Register(core, "Test.SamplerFeed");
        m_Harness.Add(strShape, "shape");
        m_Harness.Add("OpenGL.MeshToBuffer", "upload");
        m_Harness.Add(strRenderer, "renderer");
        m_Harness.Connect("shape", "Mesh", "upload", "Mesh");
        for (const auto& [strOut, strIn] : std::vector<std::pair<std::string, std::string>>{
                 {"IndexBuffer", "IndexBuffer"}, {"Positions", "Positions"}, {"Normals", "Normals"},
                 {"TextureCoordinates", "TexCoords"}, {"MaterialGroups", "MaterialGroups"}})
            if (strIn != strFedByTest) m_Harness.Connect("upload", strOut, "renderer", strIn);
        Value<Matrix44f>("Test.MatrixFeed", "view", "View-Matrix") = m_View;
        Value<Matrix44f>("Test.MatrixFeed", "projection", "Projection-Matrix") = m_Projection;
        m_pDiffuse =
            std::make_shared<TextureObject2D>(OndoTest::MakeTexture(2, 2, GL_RGBA8, std::vector<float>(16, 0.5f)));
        SimpleMaterial material;
        material.m_Textures = {{nullptr, "Specular"}, {m_pDiffuse, "Diffuse"}};
        m_pMaterials = &Value<std::vector<SimpleMaterial>>("Test.MaterialsFeed", "materials", "Materials");
        *m_pMaterials = {material};

        m_Depth = OndoTest::MakeTexture(Width, Height, GL_DEPTH_COMPONENT32F);
        const float fFar = 1.0f;
        glClearTexImage(m_Depth.m_uiName, 0, GL_DEPTH_COMPONENT, GL_FLOAT, &fFar);
        m_Fed["Depth Target"] = &m_Harness.Feed("renderer", "Depth Target", m_Depth);
        for (const std::string& strSurface : surfaces) {
            TextureObject2D& target = m_Targets[strSurface] =
                OndoTest::MakeTexture(Width, Height, GL_RGBA32F, std::vector<float>(4 * Width * Height, 0.0f));
            m_Fed[strSurface + "-Target"] = &m_Harness.Feed("renderer", strSurface + "-Target", target);
        }
    }
    ~Scene()
    {
        m_pDiffuse->Release();
        m_Depth.Release();
        for (auto& [strSurface, target] : m_Targets) target.Release();
    }

    // A feed of the type connected to a renderer input.
    template <class T>
    std::optional<T>& Value(const std::string& strType, const std::string& strName, const std::string& strInput)
    {
        return OndoTest::FeedValue<T>(m_Harness, strType, strName, "renderer", strInput).m_Value;
    }
    std::vector<float> Read(const std::string& strSurface) { return OndoTest::ReadTexture(m_Targets.at(strSurface)); }
    std::vector<float> Depth() { return OndoTest::ReadDepth(m_Depth, Width * Height); }

    OndoTest::FilterHarness m_Harness;
    const Matrix44f m_View = Host::LookAt({0, 0, EyeDistance}, {0, 0, 0}, {0, 1, 0});
    const Matrix44f m_Projection = Host::Perspective(60.0f, float(Width) / float(Height), Near, Far);
    std::optional<std::vector<SimpleMaterial>>* m_pMaterials = nullptr;
    std::shared_ptr<TextureObject2D> m_pDiffuse;
    TextureObject2D m_Depth;
    std::map<std::string, TextureObject2D> m_Targets; // by surface
    std::map<std::string, TextureObject2D**> m_Fed;   // what each texture input is fed, by label
};

const std::vector<std::string> GBuffer = {"Position", "Normal", "Diffuse"};

std::size_t Covered(const std::vector<float>& position)
{
    std::size_t uiCount = 0;
    for (std::size_t i = 0; i < position.size() / 4; ++i) uiCount += position[4 * i + 3] == 1.0f;
    return uiCount;
}

} // namespace

TEST(DeferredRenderer, PlaneDepthPositionsAndSampledColourMatchTheCamera)
{
    struct Case {
        std::optional<Matrix44f> world;
        bool bNearestSampler; // or the renderer's default, which filters linearly
    };
    for (const Case& row : {Case{std::nullopt, false}, Case{Transform(1, 0.25f, 0, -1), true}}) {
        SCOPED_TRACE(row.bNearestSampler ? "translated, nearest sampler" : "no world matrix, default sampler");
        Scene scene("OpenGL.Render.Deferred", "Host.Mesh.Plane", GBuffer);
        if (row.world) scene.Value<Matrix44f>("Test.MatrixFeed", "world", "World-Matrix") = row.world;
        // Black on the left half of the texture, white on the right.
        const std::vector<float> texels = {0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1};
        glTextureSubImage2D(scene.m_pDiffuse->m_uiName, 0, 0, 0, 2, 2, GL_RGBA, GL_FLOAT, texels.data());
        GLuint uiSampler = 0;
        if (row.bNearestSampler) {
            glGenSamplers(1, &uiSampler);
            glSamplerParameteri(uiSampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glSamplerParameteri(uiSampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            scene.Value<GLuint>("Test.SamplerFeed", "sampler", "SamplerState") = uiSampler;
        }
        ASSERT_TRUE(scene.m_Harness.Run());
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "renderer", "Depth", scene.m_Depth);
        EXPECT_EQ(scene.m_Harness.Output<TextureObject2D>("renderer", "Normal"), &scene.m_Targets["Normal"]);
        EXPECT_EQ(OndoTest::SamplerOnUnit0(), 0u) << "unit 0 is left without a sampler";

        const Matrix44f world = row.world.value_or(Matrix44f::Identity());
        const Vector3f vOffset(world(0, 3), world(1, 3), world(2, 3));
        const Matrix44f viewProjection = scene.m_Projection * scene.m_View;
        // The plane is perpendicular to the line of sight: one depth everywhere.
        const float fDistance = Scene::EyeDistance - vOffset[2], n = Scene::Near, f = Scene::Far;
        const float fExpectedDepth = ((f + n) / (f - n) - 2 * f * n / ((f - n) * fDistance)) * 0.5f + 0.5f;
        const std::vector<float> position = scene.Read("Position"), normal = scene.Read("Normal"),
                                 diffuse = scene.Read("Diffuse"), depth = scene.Depth();
        int iCovered = 0, iBlended = 0;
        for (int y = 0; y < Scene::Height; ++y)
            for (int x = 0; x < Scene::Width; ++x) {
                const std::size_t i = std::size_t(y * Scene::Width + x);
                if (position[4 * i + 3] != 1.0f) {
                    ASSERT_EQ(depth[i], 1.0f) << "depth written where no position is, at " << x << "," << y;
                    continue;
                }
                ++iCovered;
                iBlended += diffuse[4 * i] > 0.05f && diffuse[4 * i] < 0.95f;
                const Vector3f p = Texel3(position, i);
                const Vector4f clip = viewProjection * Vector4f(p[0], p[1], p[2], 1.0f);
                ASSERT_NEAR((clip[0] / clip[3] * 0.5f + 0.5f) * Scene::Width, x + 0.5f, 0.02f) << "drawn elsewhere";
                ASSERT_NEAR((clip[1] / clip[3] * 0.5f + 0.5f) * Scene::Height, y + 0.5f, 0.02f);
                ASSERT_NEAR(p[2], vOffset[2], 1e-5f);
                ASSERT_LE(std::max(std::abs(p[0] - vOffset[0]), std::abs(p[1] - vOffset[1])), 1.0f + 1e-5f);
                ASSERT_NEAR(depth[i], fExpectedDepth, 1e-5f);
                ASSERT_NEAR(normal[4 * i + 2], 1.0f, 1e-5f);
            }
        // The 2 x 2 plane fills 2 / (2 tan 30 deg fDistance) of the height.
        const float fSide = Scene::Height / (std::tan(3.14159265f / 6) * fDistance);
        EXPECT_NEAR(iCovered, fSide * fSide, 2.5 * fSide);
        if (row.bNearestSampler)
            EXPECT_EQ(iBlended, 0) << "nearest filtering gives black or white";
        else
            EXPECT_GT(iBlended, iCovered / 4) << "linear filtering blends the halves over the middle";
        glDeleteSamplers(1, &uiSampler);
    }
}

TEST(DeferredRenderer, NormalsOfAStretchedSphereAreUnitAndFollowTheSurface)
{
    Scene scene("OpenGL.Render.Deferred", "Host.Mesh.Sphere", GBuffer);
    scene.m_Harness.Set("shape", "Segments", "64");
    scene.m_Harness.Set("shape", "Rings", "32");
    // An ellipsoid with semi-axes (1.2, 0.8, 0.8) around c: the outward normal
    // at p is (p - c) / axes^2, which a world matrix applied to the normals
    // themselves would get wrong.
    const Vector3f c(0.1f, -0.1f, 0.0f), axes(1.2f, 0.8f, 0.8f);
    scene.Value<Matrix44f>("Test.MatrixFeed", "world", "World-Matrix") =
        Transform(1, c[0], c[1], c[2]) * Matrix44f::FromRows({1.2f, 0, 0, 0, 0, 0.8f, 0, 0, 0, 0, 0.8f, 0, 0, 0, 0, 1});
    ASSERT_TRUE(scene.m_Harness.Run());

    const std::vector<float> position = scene.Read("Position"), normal = scene.Read("Normal");
    ASSERT_GT(Covered(position), 200u);
    for (std::size_t i = 0; i < position.size() / 4; ++i) {
        if (position[4 * i + 3] != 1.0f) continue;
        const Vector3f n = Texel3(normal, i), p = Texel3(position, i);
        Vector3f expected;
        for (int k = 0; k < 3; ++k) expected[k] = (p[k] - c[k]) / (axes[k] * axes[k]);
        ASSERT_NEAR(n.Length(), 1.0f, 1e-4f);
        ASSERT_GT(n.Dot(expected.Normalized()), 0.995f) << "normal " << n[0] << " " << n[1] << " " << n[2];
        ASSERT_GT(n[2], 0.0f) << "only the side facing the eye is visible";
    }
}

TEST(DeferredRenderer, GroupsWithoutAUsableDiffuseTextureAreSkippedButDepthIsPublished)
{
    struct Case {
        const char* szWhat;
        std::function<void(SimpleMaterial&)> fnMaterial;
        std::optional<std::uint32_t> uiGroupMaterial; // replaces the uploaded groups
        bool bDraws;
    };
    const auto fnKeep = [](SimpleMaterial&) {};
    long iWhole = 0; // texels of the whole sphere, from the first row
    for (const Case& row : {
             Case{"a Diffuse texture", fnKeep, std::nullopt, true},
             Case{"kind in other case", [](SimpleMaterial& m) { m.m_Textures[1].m_strType = "diffuse"; }, {}, false},
             Case{"empty Diffuse texture", [](SimpleMaterial& m) { m.m_Textures[1].m_pTexture.reset(); }, {}, false},
             Case{"material past the list", fnKeep, 1u, false},
             Case{"material 0 in two groups", fnKeep, 0u, true}}) {
        SCOPED_TRACE(row.szWhat);
        Scene scene("OpenGL.Render.Deferred", "Host.Mesh.Sphere", GBuffer, row.uiGroupMaterial ? "MaterialGroups" : "");
        row.fnMaterial((**scene.m_pMaterials)[0]);
        if (row.uiGroupMaterial) {
            auto& groups = scene.Value<std::vector<SimpleMaterialGroup>>("Test.GroupsFeed", "groups", "MaterialGroups");
            const std::uint32_t uiHalf = 32 * 16 * 3, uiLast = 33 * 17 - 1;
            groups = {{*row.uiGroupMaterial, 0, uiHalf, 0, uiLast, GL_TRIANGLES},
                      {*row.uiGroupMaterial, uiHalf, 2 * 32 * 15 * 3 - uiHalf, 0, uiLast, GL_TRIANGLES}};
        }
        ASSERT_TRUE(scene.m_Harness.Run());
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "renderer", "Depth", scene.m_Depth);
        const std::vector<float> depth = scene.Depth();
        const long iDrawn = std::count_if(depth.begin(), depth.end(), [](float d) { return d < 1.0f; });
        if (iWhole == 0) iWhole = iDrawn;
        // Both halves of a split sphere are drawn, or none.
        EXPECT_EQ(iDrawn, row.bDraws ? iWhole : 0);
        EXPECT_EQ(Covered(scene.Read("Position")), std::size_t(iDrawn));
    }
}

TEST(DeferredRenderer, BadBuffersAndTargetsAreRefusedByNameBeforeAnythingIsBound)
{
    struct Case {
        const char* szInput; // the renderer input given something wrong
        int iSize;           // buffers: -1 no buffer name, n a buffer of n bytes; targets: the width
        GLenum eFormat;      // of a target; 0 for a buffer
        const char* szMessage;
    };
    constexpr int W = Scene::Width;
    for (const Case& row : {
             Case{"Positions", -1, 0, "Positions: Invalid OpenGL Buffer (is zero)"},
             Case{"Normals", 0, 0, "Normal Buffer is empty"},
             Case{"TexCoords", -1, 0, "Texture Coordinates: Invalid OpenGL Buffer (is zero)"},
             Case{"IndexBuffer", 12, 0, "group 0 draws indices 0 to 2880, but \"IndexBuffer\" holds 3"},
             Case{"TexCoords", 64, 0, "\"MaterialGroups\": group 0 uses vertex 559, but the vertex buffers hold 8"},
             Case{"Normal-Target", W, GL_RGB8, "\"Normal-Target\" is a GL_RGB8 texture, which a colour target"},
             Case{"Diffuse-Target", W, GL_RGBA32UI, "\"Diffuse-Target\" is a GL_RGBA32UI texture of unsigned"},
             Case{"Position-Target", 16, GL_RGBA16F, "\"Position-Target\" is 16 x 28 texels, but \"Depth Target\""},
             Case{"Depth Target", W, GL_RGBA8, "\"Depth Target\" is a GL_RGBA8 texture, which cannot be a depth"}}) {
        SCOPED_TRACE(std::string(row.szInput) + " " + std::to_string(row.iSize));
        Scene scene("OpenGL.Render.Deferred", "Host.Mesh.Sphere", GBuffer, row.eFormat ? "" : row.szInput);
        std::optional<BufferObject>* pBuffer = nullptr;
        TextureObject2D target;
        if (row.eFormat) {
            target = OndoTest::MakeTexture(row.iSize, Scene::Height, row.eFormat);
            *scene.m_Fed.at(row.szInput) = &target;
        } else {
            pBuffer = &scene.Value<BufferObject>("Test.BufferFeed", "buffer", row.szInput);
            if (row.iSize >= 0) {
                glCreateBuffers(1, &(*pBuffer)->m_uiName);
                glNamedBufferData((*pBuffer)->m_uiName, row.iSize, nullptr, GL_STATIC_DRAW);
            }
        }
        OndoTest::ExpectRefusal(scene.m_Harness.RunError(), "renderer", row.szMessage);
        if (pBuffer) (*pBuffer)->Release();
        target.Release();
    }
}

TEST(DeferredChromoRenderer, ColoursByDistanceFromTheEyeInTheMeshSpace)
{
    Scene scene("OpenGL.Render.DeferredChromo", "Host.Mesh.Plane", {"Chromo", "Normal"});
    scene.m_Harness.Set("renderer", "Near Distance", "1");
    scene.m_Harness.Set("renderer", "Far Distance", "3");
    // Moved back and scaled by 2: distances are measured in the mesh's own
    // units, so the plane's centre lies (3 + 1.5) / 2 from the eye.
    scene.Value<Matrix44f>("Test.MatrixFeed", "world", "World-Matrix") = Transform(2, 0, 0, -1.5f);
    ASSERT_TRUE(scene.m_Harness.Run());

    const std::vector<float> chromo = scene.Read("Chromo"), normal = scene.Read("Normal");
    const float fNearest = (Scene::EyeDistance + 1.5f) / 2;
    float fMin = 1e9f, fMax = 0;
    std::size_t uiCovered = 0;
    for (std::size_t i = 0; i < chromo.size() / 4; ++i) {
        if (chromo[4 * i + 3] == 0.0f) continue;
        ++uiCovered;
        const float d = normal[4 * i + 3];
        fMin = std::min(fMin, d);
        fMax = std::max(fMax, d);
        // Hue from red at Near Distance through green to blue at Far Distance.
        const float t = std::clamp((d - 1.0f) / 2.0f, 0.0f, 1.0f);
        const Vector3f hue(std::clamp(1 - 2 * t, 0.0f, 1.0f), 1 - std::abs(2 * t - 1),
                           std::clamp(2 * t - 1, 0.0f, 1.0f));
        const Vector3f colour = Texel3(chromo, i);
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(colour[k], hue[k] * 128.0f / 255.0f, 1e-3f) << "texel " << i << " at distance " << d;
    }
    ASSERT_GT(uiCovered, 50u);
    // The plane's centre faces the eye; its corners lie sqrt(2) off the axis.
    EXPECT_NEAR(fMin, fNearest, 0.03f);
    EXPECT_LE(fMax, std::sqrt(fNearest * fNearest + 2.0f) + 1e-3f);
}

TEST(DeferredRenderer, ReleaseLeavesNoFramebufferProgramOrSampler)
{
    const auto fnCounts = OndoTest::LiveObjects;
    const auto before = fnCounts();
    {
        Scene scene("OpenGL.Render.DeferredChromo", "Host.Mesh.Cube", {"Chromo", "Normal"});
        scene.m_Harness.Add("OpenGL.Render.Deferred", "second");
        EXPECT_FALSE(scene.m_Harness.Run()) << "the second renderer waits for its inputs";
        EXPECT_LT(scene.Depth()[Scene::Width * (Scene::Height / 2) + Scene::Width / 2], 1.0f) << "the first one drew";
        EXPECT_GT(fnCounts()[1], before[1]);
    }
    EXPECT_EQ(fnCounts(), before);
}
