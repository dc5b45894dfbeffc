// Forward and deferred shading: G-buffers and meshes lit with one light and
// read back against a Blinn-Phong reference computed here, the light kept in
// the program between runs, refused inputs and release.

#include "ComputeFilterTestSupport.h"

#include "host/Modules/Camera.h"
#include "host/Modules/HostModules.h"

#include <optional>

using namespace Ondo;
using namespace Ondo::FlowGraph;
using GFX::LightSource;
using OndoTest::Texel3;
using OndoTest::ValueFeed;
using OpenGL::SimpleMaterial;
using OpenGL::SimpleMaterialGroup;
using OpenGL::TextureObject2D;

namespace {

LightSource MakeLight(std::int32_t iType, Vector4f vPosition, float fCutoff = 180.0f,
                      Vector3f vAttenuation = {1, 0, 0})
{
    LightSource light;
    light.m_iLightType = iType;
    light.m_vPosition = vPosition;
    // Dim enough that the brightest texel does not saturate.
    light.m_vColor = {0.5f, 0.45f, 0.4f, 1.0f};
    light.m_vAttenuation = vAttenuation;
    light.m_fSpotCutoff = fCutoff;
    light.m_vSpotDirection = {0, 0, -1};
    return light;
}

const LightSource Directional = MakeLight(LightSource::Directional, {2, 2, 3, 0});
const LightSource Point = MakeLight(LightSource::Point, {4, 4, 6, 2}, 180, {0.5f, 0.1f, 0.02f});
const LightSource Spot = MakeLight(LightSource::Spot, {0, 0, 5, 1}, 8);

// Blinn-Phong with one light as the shaders compute it: emission, then the
// light's colour, attenuated, times ambient, diffuse and specular; nothing
// but emission outside a spot light's cone.
Vector3f Reference(const LightSource& light, const Vector3f& p, const Vector3f& n, const SimpleMaterial& m,
                   const Vector3f& eye)
{
    const Vector3f pos(light.m_vPosition[0], light.m_vPosition[1], light.m_vPosition[2]);
    const Vector3f emission(m.m_vEmission[0], m.m_vEmission[1], m.m_vEmission[2]);
    Vector3f l = pos.Normalized();
    float fAttenuation = 1.0f;
    if (light.m_iLightType != LightSource::Directional) {
        l = pos * (1.0f / light.m_vPosition[3]) - p;
        const float d = l.Length();
        l = l * (1.0f / d);
        fAttenuation = 1.0f / light.m_vAttenuation.Dot({1.0f, d, d * d});
        if (light.m_iLightType == LightSource::Spot &&
            -l.Dot(light.m_vSpotDirection.Normalized()) < std::cos(light.m_fSpotCutoff * 3.14159265f / 180.0f))
            return emission;
    }
    const float fLambert = n.Dot(l);
    const Vector3f h = (l + (eye - p).Normalized()).Normalized();
    const float fSpecular = fLambert > 0.0f ? std::pow(std::max(n.Dot(h), 0.0f), m.m_fShininess) : 0.0f;
    Vector3f colour;
    for (int k = 0; k < 3; ++k)
        colour[k] = std::min(1.0f, emission[k] + fAttenuation * light.m_vColor[k] *
                                                     (m.m_vAmbient[k] + m.m_vDiffuse[k] * std::max(fLambert, 0.0f) +
                                                      m.m_vSpecular[k] * fSpecular));
    return colour;
}

SimpleMaterial MakeMaterial(Vector4f vEmission, Vector4f vAmbient, Vector4f vDiffuse, Vector4f vSpecular,
                            float fShininess)
{
    SimpleMaterial material;
    material.m_vEmission = vEmission;
    material.m_vAmbient = vAmbient;
    material.m_vDiffuse = vDiffuse;
    material.m_vSpecular = vSpecular;
    material.m_fShininess = fShininess;
    return material;
}

// A harness with a shading filter named "shade" and a light feed.
class ShadeScene {
public:
    explicit ShadeScene(const std::string& strFilter)
    {
        Core& core = m_Harness.GetGraph().GetCore();
        Host::RegisterHostModules(core);
        ValueFeed<Matrix44f>::Register(core, "Test.MatrixFeed");
        ValueFeed<LightSource>::Register(core, "Test.LightFeed");
        ValueFeed<std::vector<SimpleMaterial>>::Register(core, "Test.MaterialsFeed");
        ValueFeed<std::vector<SimpleMaterialGroup>>::Register(core, "Test.GroupsFeed");
        ValueFeed<OpenGL::BufferObject>::Register(core, "Test.BufferFeed");
        m_Harness.Add(strFilter, "shade");
        m_pLight = &Feed<LightSource>("Test.LightFeed", "light", "Light Source");
    }
    // A feed of the type connected to an input of "shade", holding a value.
    template <class T>
    ValueFeed<T>& Feed(const std::string& strType, const std::string& strName, const std::string& strInput)
    {
        return OndoTest::FeedValue<T>(m_Harness, strType, strName, "shade", strInput);
    }

    OndoTest::FilterHarness m_Harness;
    ValueFeed<LightSource>* m_pLight = nullptr;
};

// A G-buffer of the unit sphere seen along -z, filling most of the target,
// shaded into an RGBA8 target cleared to a colour.
class DeferredScene : public ShadeScene {
public:
    static constexpr float Eye = 4.0f;
    inline static const Vector3f Diffuse{0.8f, 0.6f, 0.4f};
    inline static const std::vector<float> Clear{0.2f, 0.3f, 0.4f, 1.0f};

    DeferredScene(int iWidth, int iHeight) : ShadeScene("OpenGL.ShadeBuffer"), m_iWidth(iWidth), m_iHeight(iHeight)
    {
        std::vector<float> position(std::size_t(4 * iWidth * iHeight), 0.0f), normal = position, diffuse = position;
        for (std::size_t i = 0; i < position.size() / 4; ++i) {
            const std::optional<Vector3f> p = Position(i);
            if (!p) continue;
            for (int k = 0; k < 3; ++k) {
                position[4 * i + k] = normal[4 * i + k] = (*p)[k];
                diffuse[4 * i + k] = Diffuse[k];
            }
            position[4 * i + 3] = 1.0f;
            diffuse[4 * i + 3] = 1.0f;
        }
        m_GBuffer = {OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, position),
                     OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, normal),
                     OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA8, diffuse)};
        m_Target = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA8);
        glClearTexImage(m_Target.m_uiName, 0, GL_RGBA, GL_FLOAT, Clear.data());
        const char* labels[] = {"Position", "Normal", "Diffuse"};
        for (int k = 0; k < 3; ++k) m_pFed[k] = &m_Harness.Feed("shade", labels[k], m_GBuffer[k]);
        m_pFedTarget = &m_Harness.Feed("shade", "TargetTexture", m_Target);
        m_pView = &Feed<Matrix44f>("Test.MatrixFeed", "view", "View Matrix");
        m_pView->m_Value = Host::LookAt({0, 0, Eye}, {0, 0, 0}, {0, 1, 0});
    }
    ~DeferredScene()
    {
        for (TextureObject2D& texture : m_GBuffer) texture.Release();
        m_Target.Release();
    }

    // The sphere's point a texel shows, over a square of side 2.4.
    std::optional<Vector3f> Position(std::size_t i) const
    {
        const float u = 2 * (float(i % m_iWidth) + 0.5f) / m_iWidth - 1;
        const float v = 2 * (float(i / m_iWidth) + 0.5f) / m_iHeight - 1;
        const float r2 = 1.44f * (u * u + v * v);
        if (r2 >= 1.0f) return std::nullopt;
        return Vector3f(1.2f * u, 1.2f * v, std::sqrt(1 - r2));
    }

    int m_iWidth, m_iHeight;
    std::vector<TextureObject2D> m_GBuffer; // position, normal, diffuse
    TextureObject2D m_Target;
    TextureObject2D** m_pFed[3] = {};
    TextureObject2D** m_pFedTarget = nullptr;
    ValueFeed<Matrix44f>* m_pView = nullptr;
};

constexpr float Tolerance = 1.5f / 255.0f;

} // namespace

TEST(ShadeBuffer, SphereMatchesBlinnPhongForEachLightTypeOnAnOddTarget)
{
    struct Case {
        const char* szWhat;
        LightSource light;
        std::optional<float> fShininess; // 90 when unconnected
    };
    // 33 texels across leave a work group covering one column.
    constexpr int Width = 33, Height = 32;
    const Vector3f eye(0, 0, DeferredScene::Eye), toLight = Vector3f(2, 2, 3).Normalized();
    for (const Case& row : {Case{"directional, default shininess", Directional, std::nullopt},
                            Case{"point, attenuated", Point, 30.0f}, Case{"spot, 8 degree cone", Spot, 30.0f}}) {
        SCOPED_TRACE(row.szWhat);
        DeferredScene scene(Width, Height);
        scene.m_pLight->m_Value = row.light;
        if (row.fShininess) scene.m_Harness.Set("shade", "Shininess", std::to_string(*row.fShininess));
        ASSERT_TRUE(scene.m_Harness.Run());
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "shade", "Shaded", scene.m_Target);

        const std::vector<float> shaded = OndoTest::ReadTexture(scene.m_Target);
        const Vector3f& kd = DeferredScene::Diffuse;
        const SimpleMaterial gbuffer = MakeMaterial({0, 0, 0, 1}, {0, 0, 0, 1}, {kd[0], kd[1], kd[2], 1}, {1, 1, 1, 1},
                                                    row.fShininess.value_or(90.0f));
        std::size_t uiPeak = 0, uiLit = 0, uiDark = 0;
        float fPeak = -1;
        for (std::size_t i = 0; i < shaded.size() / 4; ++i) {
            const std::optional<Vector3f> p = scene.Position(i);
            if (!p) {
                for (int k = 0; k < 4; ++k)
                    ASSERT_NEAR(shaded[4 * i + k], DeferredScene::Clear[k], Tolerance) << "background kept, " << i;
                continue;
            }
            const Vector3f expected = Reference(row.light, *p, *p, gbuffer, eye), got = Texel3(shaded, i);
            for (int k = 0; k < 3; ++k)
                ASSERT_NEAR(got[k], expected[k], Tolerance) << "texel " << i << " channel " << k;
            ASSERT_EQ(shaded[4 * i + 3], 1.0f);
            if (got[0] > fPeak) fPeak = got[0], uiPeak = i;
            uiLit += got[0] > 0.05f;
            uiDark += got[0] == 0.0f;
        }
        EXPECT_GT(uiLit, 100u);
        if (row.light.m_iLightType == LightSource::Directional) {
            // Independent of the reference: the highlight sits where the
            // normal meets the half vector, on the light's side.
            const Vector3f peak = *scene.Position(uiPeak);
            EXPECT_GT(peak.Dot((toLight + (eye - peak).Normalized()).Normalized()), 0.99f);
            EXPECT_GT(std::min(peak[0], peak[1]), 0.2f);
        }
        if (row.light.m_iLightType == LightSource::Spot) {
            // An 8 degree cone from 4 above the sphere's top lights a cap of
            // some 200 texels; the rest stays black.
            EXPECT_GT(uiDark, 300u) << "dark outside the cut-off";
        }
    }
}

TEST(ShadeBuffer, LightIsUploadedAfterABuildAndThenOnlyWhenItsPortChanges)
{
    DeferredScene scene(16, 16);
    LightSource light = MakeLight(LightSource::Directional, {0, 0, 1, 0});
    light.m_vColor = {1, 0, 0, 1};
    scene.m_pLight->m_Value = light;
    const auto fnCentre = [&] {
        EXPECT_TRUE(scene.m_Harness.Run());
        const std::vector<float> shaded = OndoTest::ReadTexture(scene.m_Target);
        const std::size_t i = 8 * 16 + 8;
        return std::make_pair(shaded[4 * i] > 0.5f, shaded[4 * i + 1] > 0.3f);
    };
    EXPECT_EQ(fnCentre(), std::make_pair(true, false)) << "the first run uploads the red light";
    scene.m_pLight->m_Value->m_vColor = {0, 1, 0, 1};
    EXPECT_EQ(fnCentre(), std::make_pair(true, false)) << "an unchanged port uploads nothing";
    scene.m_pLight->m_bChanged = true;
    EXPECT_EQ(fnCentre(), std::make_pair(false, true)) << "a changed port uploads the green light";
}

TEST(ShadeBuffer, RefusesTargetsAndGBuffersItCannotShadeCorrectly)
{
    struct Case {
        int iFed; // 0 to 2: a G-buffer texture, 3: the target, -1: no view, -2: no light
        GLenum eFormat;
        int iWidth;
        const char* szMessage;
    };
    for (const Case& row : {
             Case{3, GL_RGBA16F, 16, "\"TargetTexture\" is a GL_RGBA16F texture, but the shaded colours are written"},
             Case{1, GL_RGBA16F, 8, "\"Normal\" is 8 x 16 texels, but \"TargetTexture\" is 16 x 16"},
             Case{2, GL_RGBA8UI, 16, "\"Diffuse\" is a GL_RGBA8UI texture of unsigned-integer texels"},
             Case{-1, 0, 0, "\"View Matrix\" carries no matrix"},
             Case{-2, 0, 0, "\"Light Source\" carries no light"}}) {
        SCOPED_TRACE(row.szMessage);
        DeferredScene scene(16, 16);
        TextureObject2D texture;
        if (row.iFed >= 0) {
            texture = OndoTest::MakeTexture(row.iWidth, 16, row.eFormat);
            *(row.iFed == 3 ? scene.m_pFedTarget : scene.m_pFed[row.iFed]) = &texture;
        }
        if (row.iFed == -1) scene.m_pView->m_Value.reset();
        if (row.iFed == -2) scene.m_pLight->m_Value.reset();
        OndoTest::ExpectRefusal(scene.m_Harness.RunError(), "shade", row.szMessage);
        texture.Release();
    }
}

namespace {

// The unit sphere (64 x 32, indices and vertices counted below) uploaded and
// drawn by the forward shader into a 32 x 32 float colour target and a depth
// target at the far plane, seen from 3 along +z.
class ForwardScene : public ShadeScene {
public:
    static constexpr int Size = 32;
    static constexpr std::uint32_t Indices = 64 * 31 * 2 * 3, LastVertex = 65 * 33 - 1;

    explicit ForwardScene(const std::string& strFedByTest = std::string()) : ShadeScene("OpenGL.Shade.SimpleMesh")
    {
        m_Harness.Add("Host.Mesh.Sphere", "shape");
        m_Harness.Set("shape", "Segments", "64");
        m_Harness.Set("shape", "Rings", "32");
        m_Harness.Add("OpenGL.MeshToBuffer", "upload");
        m_Harness.Connect("shape", "Mesh", "upload", "Mesh");
        for (const char* szPort : {"IndexBuffer", "Positions", "Normals", "MaterialGroups"})
            if (strFedByTest != szPort) m_Harness.Connect("upload", szPort, "shade", szPort);
        Feed<Matrix44f>("Test.MatrixFeed", "view", "View-Matrix").m_Value = m_View;
        Feed<Matrix44f>("Test.MatrixFeed", "projection", "Projection-Matrix").m_Value = m_Projection;
        Feed<std::vector<SimpleMaterial>>("Test.MaterialsFeed", "materials", "Materials").m_Value = {Red};
        m_pLight->m_Value = MakeLight(LightSource::Point, {0, 0, 3, 1});
        if (strFedByTest == "MaterialGroups")
            m_pGroups = &Feed<std::vector<SimpleMaterialGroup>>("Test.GroupsFeed", "groups", "MaterialGroups").m_Value;
        else if (!strFedByTest.empty())
            m_pBuffer = &Feed<OpenGL::BufferObject>("Test.BufferFeed", "buffer", strFedByTest).m_Value;

        m_Depth = OndoTest::MakeTexture(Size, Size, GL_DEPTH_COMPONENT32F);
        const float fFar = 1.0f;
        glClearTexImage(m_Depth.m_uiName, 0, GL_DEPTH_COMPONENT, GL_FLOAT, &fFar);
        m_Colour = OndoTest::MakeTexture(Size, Size, GL_RGBA32F, std::vector<float>(4 * Size * Size, 0.0f));
        m_Harness.Feed("shade", "Target Depth", m_Depth);
        m_pFedColour = &m_Harness.Feed("shade", "Colour-Target", m_Colour);
    }
    ~ForwardScene()
    {
        m_Depth.Release();
        m_Colour.Release();
    }

    std::vector<float> Depth() { return OndoTest::ReadDepth(m_Depth, Size * Size); }
    // The world point a texel's depth lies at.
    Vector3f Unproject(int x, int y, float fDepth) const
    {
        const Vector4f ndc((x + 0.5f) / Size * 2 - 1, (y + 0.5f) / Size * 2 - 1, fDepth * 2 - 1, 1);
        const Vector4f p = *Ondo::Inverse(m_Projection * m_View) * ndc;
        return {p[0] / p[3], p[1] / p[3], p[2] / p[3]};
    }

    inline static const SimpleMaterial Red = MakeMaterial({0.05f, 0, 0, 1}, {0.05f, 0.05f, 0.1f, 1},
                                                          {0.6f, 0.3f, 0.2f, 0.5f}, {0.4f, 0.4f, 0.4f, 1}, 16.0f);
    const Matrix44f m_View = Host::LookAt({0, 0, 3}, {0, 0, 0}, {0, 1, 0});
    const Matrix44f m_Projection = Host::Perspective(50.0f, 1.0f, 1.0f, 10.0f);
    std::optional<std::vector<SimpleMaterialGroup>>* m_pGroups = nullptr;
    std::optional<OpenGL::BufferObject>* m_pBuffer = nullptr;
    TextureObject2D m_Depth, m_Colour;
    TextureObject2D** m_pFedColour = nullptr;
};

} // namespace

TEST(ShadeSimpleMesh, SphereMatchesBlinnPhongWithGroupMaterialsOrTheDefault)
{
    struct Case {
        const char* szWhat;
        LightSource light;
        std::optional<std::uint32_t> uiGroupMaterial; // the upload's groups (material 0) when none
        bool bDefault;                                 // drawn with the default material
    };
    const SimpleMaterial fallback = MakeMaterial({0, 0, 0, 1}, {0, 0, 0, 1}, {0.8f, 0.8f, 0.8f, 1}, {1, 1, 1, 1}, 0.4f);
    for (const Case& row : {Case{"directional, material 0", Directional, std::nullopt, false},
                            Case{"point, material -1", Point, 0xFFFFFFFFu, true},
                            Case{"directional, material past the list",
                                 MakeLight(LightSource::Directional, {-1, 1, 2, 0}), 1u, true},
                            Case{"spot, material 0 in two groups", Spot, 0u, false}}) {
        SCOPED_TRACE(row.szWhat);
        ForwardScene scene(row.uiGroupMaterial ? "MaterialGroups" : "");
        scene.m_pLight->m_Value = row.light;
        if (row.uiGroupMaterial) {
            const std::uint32_t uiHalf = 64 * 3 * 20;
            **scene.m_pGroups = {{*row.uiGroupMaterial, 0, uiHalf, 0, ForwardScene::LastVertex, GL_TRIANGLES},
                                 {*row.uiGroupMaterial, uiHalf, ForwardScene::Indices - uiHalf, 0,
                                  ForwardScene::LastVertex, GL_TRIANGLES}};
        }
        ASSERT_TRUE(scene.m_Harness.Run());
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "shade", "Depth", scene.m_Depth);
        EXPECT_EQ(scene.m_Harness.Output<TextureObject2D>("shade", "Colour"), &scene.m_Colour);

        const SimpleMaterial& material = row.bDefault ? fallback : ForwardScene::Red;
        const std::vector<float> colour = OndoTest::ReadTexture(scene.m_Colour), depth = scene.Depth();
        std::size_t uiCovered = 0, uiEmissionOnly = 0;
        for (int i = 0; i < ForwardScene::Size * ForwardScene::Size; ++i) {
            const std::size_t t = std::size_t(i);
            if (depth[t] == 1.0f) {
                ASSERT_EQ(colour[4 * t + 3], 0.0f) << "colour only where depth was written, texel " << i;
                continue;
            }
            ++uiCovered;
            ASSERT_EQ(colour[4 * t + 3], material.m_vDiffuse[3]);
            const Vector3f p = scene.Unproject(i % ForwardScene::Size, i / ForwardScene::Size, depth[t]);
            ASSERT_NEAR(p.Length(), 1.0f, 0.01f) << "the texel lies on the sphere";
            const Vector3f n = p.Normalized(), got = Texel3(colour, t);
            if (n[2] < 0.3f) continue; // near the outline the facets part from the sphere
            const Vector3f expected = Reference(row.light, p, n, material, Vector3f(0, 0, 3));
            for (int k = 0; k < 3; ++k) ASSERT_NEAR(got[k], expected[k], 0.03f) << "texel " << i << " channel " << k;
            uiEmissionOnly += got[0] == material.m_vEmission[0] && got[1] == 0.0f;
        }
        EXPECT_GT(uiCovered, 300u);
        if (row.light.m_iLightType == LightSource::Spot) {
            EXPECT_GT(uiEmissionOnly, 50u) << "only the emission outside the cut-off";
        }
    }
}

TEST(ShadeSimpleMesh, RefusesBuffersGroupsAndTargetsByName)
{
    struct Case {
        const char* szFed; // the input given something wrong
        int iBytes;        // buffers: -1 no buffer name, n a buffer of n bytes
        const char* szMessage;
    };
    for (const Case& row : {
             Case{"IndexBuffer", -1, "\"IndexBuffer\" carries no buffer"},
             Case{"Positions", 0, "\"Positions\" is an empty buffer"},
             Case{"Normals", 24, "\"MaterialGroups\": group 0 uses vertex 2143, but the vertex buffers hold 2"},
             Case{"MaterialGroups", 0, "group 1 draws indices 11904 to 11905, but \"IndexBuffer\" holds 11904"},
             Case{"Colour-Target", 0, "\"Colour-Target\" is a GL_RGB8 texture, which a colour target"},
             Case{"Light Source", 0, "\"Light Source\" carries no light"}}) {
        SCOPED_TRACE(row.szMessage);
        const std::string strFed = row.szFed;
        ForwardScene scene(strFed == "Colour-Target" || strFed == "Light Source" ? "" : strFed);
        TextureObject2D target;
        if (scene.m_pBuffer && row.iBytes >= 0) {
            glGenBuffers(1, &(*scene.m_pBuffer)->m_uiName);
            glBindBuffer(GL_ARRAY_BUFFER, (*scene.m_pBuffer)->m_uiName);
            glBufferData(GL_ARRAY_BUFFER, row.iBytes, nullptr, GL_STATIC_DRAW);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        } else if (scene.m_pGroups) {
            **scene.m_pGroups = {{0, 0, ForwardScene::Indices, 0, ForwardScene::LastVertex, GL_TRIANGLES},
                                 {0, ForwardScene::Indices, 1, 0, 0, GL_TRIANGLES}};
        } else if (strFed == "Colour-Target") {
            target = OndoTest::MakeTexture(ForwardScene::Size, ForwardScene::Size, GL_RGB8);
            *scene.m_pFedColour = &target;
        } else if (strFed == "Light Source") {
            scene.m_pLight->m_Value.reset();
        }
        OndoTest::ExpectRefusal(scene.m_Harness.RunError(), "shade", row.szMessage);
        if (scene.m_pBuffer) (*scene.m_pBuffer)->Release();
        target.Release();
    }
}

TEST(Shading, ReleaseLeavesNoProgramOrFramebuffer)
{
    const auto fnCounts = OndoTest::LiveObjects;
    const auto before = fnCounts();
    {
        DeferredScene scene(16, 16);
        scene.m_pLight->m_Value = Point;
        EXPECT_TRUE(scene.m_Harness.Run());
        EXPECT_GT(fnCounts()[1], before[1]);
    }
    EXPECT_EQ(fnCounts(), before);
    {
        ForwardScene scene;
        EXPECT_TRUE(scene.m_Harness.Run());
        EXPECT_GT(fnCounts()[0], before[0]);
    }
    EXPECT_EQ(fnCounts(), before);
}
