// The deferred renderers: procedural meshes drawn into small G-buffers and
// read back (depth, world positions, normals, distance colours), the refused
// buffers and targets, skipped groups, and release.

#include "ComputeFilterTestSupport.h"

#include "host/Modules/Camera.h"
#include "host/Modules/HostModules.h"

#include "Ondo/FlowGraph/ValuePorts.h"

#include <cstring>
#include <functional>
#include <map>
#include <optional>

using namespace Ondo;
using namespace Ondo::FlowGraph;
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

Vector3f Texel3(const std::vector<float>& rgba, std::size_t i)
{
    return {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]};
}
float Length(const Vector3f& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

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
        Connect("shape", "Mesh", "upload", "Mesh");
        for (const auto& [strOut, strIn] : std::vector<std::pair<std::string, std::string>>{
                 {"IndexBuffer", "IndexBuffer"}, {"Positions", "Positions"}, {"Normals", "Normals"},
                 {"TextureCoordinates", "TexCoords"}, {"MaterialGroups", "MaterialGroups"}})
            if (strIn != strFedByTest) Connect("upload", strOut, "renderer", strIn);
        Value<Matrix44f>("Test.MatrixFeed", "view", "View-Matrix") = m_View;
        Value<Matrix44f>("Test.MatrixFeed", "projection", "Projection-Matrix") = m_Projection;
        m_pDiffuse =
            std::make_shared<TextureObject2D>(OndoTest::MakeTexture(2, 2, GL_RGBA8, std::vector<float>(16, 0.5f)));
        SimpleMaterial material;
        material.m_Textures = {{nullptr, "Specular"}, {m_pDiffuse, "Diffuse"}};
        m_pMaterials = &Value<std::vector<SimpleMaterial>>("Test.MaterialsFeed", "materials", "Materials");
        *m_pMaterials = {material};

        // The depth target, at the far plane everywhere.
        m_Depth = OndoTest::MakeTexture(Width, Height, GL_DEPTH_COMPONENT32F);
        const std::vector<float> ones(std::size_t(Width * Height), 1.0f);
        glBindTexture(GL_TEXTURE_2D, m_Depth.m_uiName);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, Width, Height, GL_DEPTH_COMPONENT, GL_FLOAT, ones.data());
        glBindTexture(GL_TEXTURE_2D, 0);
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

    void Connect(const std::string& strFrom, const std::string& strOut, const std::string& strTo,
                 const std::string& strIn)
    {
        m_Harness.GetGraph().Connect(m_Harness.GetGraph().GetRoot(), strFrom, strOut, strTo, strIn);
    }
    // A feed of the type connected to a renderer input.
    template <class T>
    std::optional<T>& Value(const std::string& strType, const std::string& strName, const std::string& strInput)
    {
        auto& feed = dynamic_cast<OndoTest::ValueFeed<T>&>(m_Harness.Add(strType, strName));
        Connect(strName, "Value", "renderer", strInput);
        return feed.m_Value.emplace(), feed.m_Value;
    }
    std::vector<float> Read(const std::string& strSurface) { return OndoTest::ReadTexture(m_Targets.at(strSurface)); }
    std::vector<float> Depth()
    {
        std::vector<float> values(std::size_t(Width * Height));
        glBindTexture(GL_TEXTURE_2D, m_Depth.m_uiName);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, values.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return values;
    }

    OndoTest::FilterHarness m_Harness;
    const Matrix44f m_View = Host::LookAt({0, 0, EyeDistance}, {0, 0, 0}, {0, 1, 0});
    const Matrix44f m_Projection = Host::Perspective(60.0f, float(Width) / float(Height), Near, Far);
    std::optional<std::vector<SimpleMaterial>>* m_pMaterials = nullptr;
    std::shared_ptr<TextureObject2D> m_pDiffuse;
    TextureObject2D m_Depth;
    std::map<std::string, TextureObject2D> m_Targets;     // by surface
    std::map<std::string, TextureObject2D**> m_Fed; // what each texture input is fed, by label
};

const std::vector<std::string> GBuffer = {"Position", "Normal", "Diffuse"};

// The pixel coordinates a world point lands on.
Vector2f Project(const Matrix44f& viewProjection, const Vector3f& p)
{
    const Vector4f clip = viewProjection * Vector4f(p[0], p[1], p[2], 1.0f);
    return {(clip[0] / clip[3] * 0.5f + 0.5f) * Scene::Width, (clip[1] / clip[3] * 0.5f + 0.5f) * Scene::Height};
}

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
        glBindTexture(GL_TEXTURE_2D, scene.m_pDiffuse->m_uiName);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, 2, GL_RGBA, GL_FLOAT, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        GLuint uiSampler = 0;
        if (row.bNearestSampler) {
            glGenSamplers(1, &uiSampler);
            glSamplerParameteri(uiSampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glSamplerParameteri(uiSampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            scene.Value<GLuint>("Test.SamplerFeed", "sampler", "SamplerState") = uiSampler;
        }
        ASSERT_TRUE(scene.m_Harness.Run());

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
                const Vector2f window = Project(viewProjection, p);
                ASSERT_NEAR(window[0], x + 0.5f, 0.02f) << "position drawn at the wrong pixel";
                ASSERT_NEAR(window[1], y + 0.5f, 0.02f);
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
        GLint viewport[4] = {}, iSampler = -1;
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetIntegerv(GL_SAMPLER_BINDING, &iSampler);
        EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, Scene::Width, Scene::Height}));
        EXPECT_EQ(iSampler, 0) << "unit 0 is left without a sampler";
        bool bChanged = false;
        EXPECT_EQ(scene.m_Harness.Output<TextureObject2D>("renderer", "Depth", &bChanged), &scene.m_Depth);
        EXPECT_TRUE(bChanged);
        EXPECT_EQ(scene.m_Harness.Output<TextureObject2D>("renderer", "Normal"), &scene.m_Targets["Normal"]);
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
        ASSERT_NEAR(Length(n), 1.0f, 1e-4f);
        const float fCos = (n[0] * expected[0] + n[1] * expected[1] + n[2] * expected[2]) / Length(expected);
        ASSERT_GT(fCos, 0.995f) << "normal " << n[0] << " " << n[1] << " " << n[2] << " at texel " << i;
        EXPECT_GT(n[2], 0.0f) << "only the side facing the eye is visible";
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
    const std::vector<Case> cases = {
        {"a Diffuse texture", [](SimpleMaterial&) {}, std::nullopt, true},
        {"no textures", [](SimpleMaterial& m) { m.m_Textures.clear(); }, std::nullopt, false},
        {"kind in other case", [](SimpleMaterial& m) { m.m_Textures[1].m_strType = "diffuse"; }, std::nullopt, false},
        {"empty Diffuse texture", [](SimpleMaterial& m) { m.m_Textures[1].m_pTexture.reset(); }, std::nullopt, false},
        {"material -1", [](SimpleMaterial&) {}, 0xFFFFFFFFu, false},
        {"material past the list", [](SimpleMaterial&) {}, 1u, false},
        {"material 0 given again", [](SimpleMaterial&) {}, 0u, true},
    };
    long iWhole = 0; // texels of the whole sphere, from the first row
    for (const Case& row : cases) {
        SCOPED_TRACE(row.szWhat);
        Scene scene("OpenGL.Render.Deferred", "Host.Mesh.Sphere", GBuffer,
                    row.uiGroupMaterial ? "MaterialGroups" : "");
        row.fnMaterial((**scene.m_pMaterials)[0]);
        if (row.uiGroupMaterial) {
            // The sphere's indices drawn in two halves of one group each.
            auto& groups = scene.Value<std::vector<SimpleMaterialGroup>>("Test.GroupsFeed", "groups", "MaterialGroups");
            const std::uint32_t uiHalf = 32 * 16 * 3;
            const std::uint32_t uiLast = 33 * 17 - 1;
            groups = {{*row.uiGroupMaterial, 0, uiHalf, 0, uiLast, GL_TRIANGLES},
                      {*row.uiGroupMaterial, uiHalf, 2 * 32 * 15 * 3 - uiHalf, 0, uiLast, GL_TRIANGLES}};
        }
        ASSERT_TRUE(scene.m_Harness.Run());
        const std::vector<float> depth = scene.Depth();
        const auto uiDrawn = std::count_if(depth.begin(), depth.end(), [](float d) { return d < 1.0f; });
        if (iWhole == 0) iWhole = uiDrawn;
        // Both halves of a split sphere are drawn, or none.
        EXPECT_EQ(uiDrawn, row.bDraws ? iWhole : 0);
        EXPECT_EQ(Covered(scene.Read("Position")), std::size_t(uiDrawn));
        bool bChanged = false;
        EXPECT_EQ(scene.m_Harness.Output<TextureObject2D>("renderer", "Depth", &bChanged), &scene.m_Depth);
        EXPECT_TRUE(bChanged);
    }
}

TEST(DeferredRenderer, BadBuffersAndTargetsAreRefusedByNameBeforeAnythingIsBound)
{
    struct Case {
        const char* szInput;   // the renderer input given something wrong
        int iBuffer;           // -1: no buffer name, n: a buffer of n bytes
        const char* szMessage; // the end of the run's error
    };
    const std::vector<Case> buffers = {
        {"Positions", -1, "Positions: Invalid OpenGL Buffer (is zero)"},
        {"Positions", 0, "Position Buffer is empty"},
        {"Normals", -1, "Normals: Invalid OpenGL Buffer (is zero)"},
        {"Normals", 0, "Normal Buffer is empty"},
        {"TexCoords", -1, "Texture Coordinates: Invalid OpenGL Buffer (is zero)"},
        {"TexCoords", 0, "TexCoord Buffer is empty"},
        {"IndexBuffer", 12, "\"MaterialGroups\": group 0 draws indices 0 to 2880, but \"IndexBuffer\" holds 3"},
        {"TexCoords", 64, "\"MaterialGroups\": group 0 uses vertex 559, but the vertex buffers hold 8"},
    };
    for (const Case& row : buffers) {
        SCOPED_TRACE(std::string(row.szInput) + " " + std::to_string(row.iBuffer));
        Scene scene("OpenGL.Render.Deferred", "Host.Mesh.Sphere", GBuffer, row.szInput);
        std::optional<BufferObject>& buffer = scene.Value<BufferObject>("Test.BufferFeed", "buffer", row.szInput);
        if (row.iBuffer >= 0) {
            glGenBuffers(1, &buffer->m_uiName);
            glBindBuffer(GL_ARRAY_BUFFER, buffer->m_uiName);
            glBufferData(GL_ARRAY_BUFFER, row.iBuffer, nullptr, GL_STATIC_DRAW);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        }
        const std::string strError = OndoTest::ErrorOf([&] { scene.m_Harness.Run(); }, "(the run went on)");
        EXPECT_NE(strError.find("renderer"), std::string::npos) << "the filter is named: " << strError;
        EXPECT_EQ(strError.substr(strError.size() - std::min(strError.size(), std::strlen(row.szMessage))),
                  row.szMessage);
        GLint iFramebuffer = -1, iProgram = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &iFramebuffer);
        glGetIntegerv(GL_CURRENT_PROGRAM, &iProgram);
        EXPECT_EQ(std::make_pair(iFramebuffer, iProgram), std::make_pair(0, 0));
        buffer->Release();
    }

    struct TargetCase {
        const char* szInput;
        GLenum eFormat;
        int iWidth;
        const char* szMessage;
    };
    const std::vector<TargetCase> targets = {
        {"Normal-Target", GL_RGB8, Scene::Width, "\"Normal-Target\" is a GL_RGB8 texture, which a colour target"},
        {"Diffuse-Target", GL_RGBA32UI, Scene::Width, "\"Diffuse-Target\" is a GL_RGBA32UI texture of unsigned"},
        {"Position-Target", GL_RGBA16F, 16, "\"Position-Target\" is 16 x 28 texels, but \"Depth Target\" is 36 x 28"},
        {"Depth Target", GL_RGBA8, Scene::Width, "\"Depth Target\" is a GL_RGBA8 texture, which cannot be a depth"},
    };
    for (const TargetCase& row : targets) {
        SCOPED_TRACE(row.szInput);
        Scene scene("OpenGL.Render.Deferred", "Host.Mesh.Sphere", GBuffer);
        TextureObject2D target = OndoTest::MakeTexture(row.iWidth, Scene::Height, row.eFormat);
        *scene.m_Fed.at(row.szInput) = &target;
        const std::string strError = OndoTest::ErrorOf([&] { scene.m_Harness.Run(); }, "(the run went on)");
        EXPECT_NE(strError.find(row.szMessage), std::string::npos) << strError;
        target.Release();
    }
}

TEST(DeferredChromoRenderer, ColoursByDistanceFromTheEyeInTheMeshSpace)
{
    // Hue from red at Near Distance through green to blue at Far Distance.
    const auto fnHue = [](float d) {
        const float t = std::clamp((d - 1.0f) / 2.0f, 0.0f, 1.0f);
        return Vector3f(std::clamp(1 - 2 * t, 0.0f, 1.0f), 1 - std::abs(2 * t - 1), std::clamp(2 * t - 1, 0.0f, 1.0f));
    };
    for (const float fBack : {0.0f, 1.5f}) {
        SCOPED_TRACE(fBack);
        Scene scene("OpenGL.Render.DeferredChromo", "Host.Mesh.Plane", {"Chromo", "Normal"});
        scene.m_Harness.Set("renderer", "Near Distance", "1");
        scene.m_Harness.Set("renderer", "Far Distance", "3");
        // Scaled by 2 as well: distances are measured in the mesh's own units.
        scene.Value<Matrix44f>("Test.MatrixFeed", "world", "World-Matrix") = Transform(2, 0, 0, -fBack);
        ASSERT_TRUE(scene.m_Harness.Run());

        const std::vector<float> chromo = scene.Read("Chromo"), normal = scene.Read("Normal");
        const float fNearest = (Scene::EyeDistance + fBack) / 2;
        float fMin = 1e9f, fMax = 0;
        std::size_t uiCovered = 0;
        for (std::size_t i = 0; i < chromo.size() / 4; ++i) {
            if (chromo[4 * i + 3] == 0.0f) continue;
            ++uiCovered;
            const float d = normal[4 * i + 3];
            fMin = std::min(fMin, d);
            fMax = std::max(fMax, d);
            const Vector3f hue = fnHue(d) * (128.0f / 255.0f), colour = Texel3(chromo, i);
            for (int k = 0; k < 3; ++k) ASSERT_NEAR(colour[k], hue[k], 1e-3f) << "texel " << i << " at distance " << d;
        }
        ASSERT_GT(uiCovered, 50u);
        // The plane's centre faces the eye; its corners lie sqrt(2) off the axis.
        EXPECT_NEAR(fMin, fNearest, 0.03f);
        EXPECT_LE(fMax, std::sqrt(fNearest * fNearest + 2.0f) + 1e-3f);
    }
}

TEST(DeferredRenderer, ReleaseLeavesNoFramebufferProgramOrSampler)
{
    const auto fnCounts = [] {
        return std::vector<int>{OndoTest::CountLive(glIsFramebuffer), OndoTest::CountLive(glIsProgram),
                                OndoTest::CountLive(glIsSampler), OndoTest::CountLive(glIsBuffer)};
    };
    const std::vector<int> before = fnCounts();
    {
        Scene scene("OpenGL.Render.DeferredChromo", "Host.Mesh.Cube", {"Chromo", "Normal"});
        scene.m_Harness.Add("OpenGL.Render.Deferred", "second");
        EXPECT_FALSE(scene.m_Harness.Run()) << "the second renderer waits for its inputs";
        EXPECT_LT(scene.Depth()[Scene::Width * (Scene::Height / 2) + Scene::Width / 2], 1.0f) << "the first one drew";
        EXPECT_GT(fnCounts()[1], before[1]);
    }
    EXPECT_EQ(fnCounts(), before);
}
