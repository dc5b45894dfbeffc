// The screen-space passes: normals from the depth of analytic planes and a
// sphere; FXAA on hard edges, flat and smooth pictures and a smaller input;
// ambient occlusion of a concave corner and of flat planes, its bypass and
// defaults; what the three refuse, the GL state they leave, and release.

#include "ComputeFilterTestSupport.h"

#include "src/FilterFXAA.h"

#include "host/Modules/Camera.h"

#include "Ondo/OpenGL/Device.h"


#include <array>
#include <functional>
#include <sstream>

using namespace Ondo;
using OndoTest::ErrorOf;
using OndoTest::Frustum;
using OndoTest::MatrixText;
using OndoTest::Texel3;
using OpenGL::TextureObject2D;

namespace {

const std::string DepthToNormal = "OpenGL.Texture.DepthToNormal", FXAA = "OpenGL.FXAA", SSAO = "OpenGL.SSAO";

// The view-space ray through the centre of texel (x, y) of a w x h picture
// seen through the projection, scaled to reach z = -1.
Vector3f Ray(const Matrix44f& p, int x, int y, int w, int h)
{
    const float fX = (2.0f * x + 1.0f) / w - 1.0f, fY = (2.0f * y + 1.0f) / h - 1.0f;
    return {(fX + p(0, 2)) / p(0, 0), (fY + p(1, 2)) / p(1, 1), -1.0f};
}

// Where a view-space ray first meets a surface: ray * distance, and the
// surface's normal there.
struct Hit {
    float fDistance;
    Vector3f normal;
};
using Surface = std::function<std::optional<Hit>(const Vector3f& ray)>;

Surface Plane(const Vector3f& point, const Vector3f& normal)
{
    return [point, normal = normal.Normalized()](const Vector3f& ray) -> std::optional<Hit> {
        const float fFacing = normal.Dot(ray);
        if (fFacing >= 0.0f) return std::nullopt;
        const float fDistance = normal.Dot(point) / fFacing;
        if (fDistance <= 0.0f) return std::nullopt;
        return Hit{fDistance, normal};
    };
}

Surface Sphere(const Vector3f& centre, float fRadius)
{
    return [=](const Vector3f& ray) -> std::optional<Hit> {
        const float a = ray.Dot(ray), b = ray.Dot(centre), c = centre.Dot(centre) - fRadius * fRadius;
        const float fDiscriminant = b * b - a * c;
        if (fDiscriminant < 0.0f) return std::nullopt;
        const float fDistance = (b - std::sqrt(fDiscriminant)) / a;
        return Hit{fDistance, (ray * fDistance - centre) * (1.0f / fRadius)};
    };
}

// The nearest hit of several surfaces.
std::optional<Hit> Nearest(const std::vector<Surface>& surfaces, const Vector3f& ray)
{
    std::optional<Hit> nearest;
    for (const Surface& surface : surfaces)
        if (const auto hit = surface(ray); hit && (!nearest || hit->fDistance < nearest->fDistance)) nearest = hit;
    return nearest;
}

// GL state that a pass could leave behind.
std::vector<GLint> StateSnapshot()
{
    std::vector<GLint> state;
    for (const GLenum eQuery : {GL_VIEWPORT, GL_FRAMEBUFFER_BINDING, GL_CURRENT_PROGRAM, GL_ACTIVE_TEXTURE,
                                GL_TEXTURE_BINDING_2D, GL_SAMPLER_BINDING, GL_ARRAY_BUFFER_BINDING}) {
        GLint values[4] = {0, 0, 0, 0};
        glGetIntegerv(eQuery, values);
        state.insert(state.end(), values, values + (eQuery == GL_VIEWPORT ? 4 : 1));
    }
    for (const GLenum eCap : {GL_BLEND, GL_DEPTH_TEST}) state.push_back(glIsEnabled(eCap));
    return state;
}

std::array<GLint, 4> Viewport()
{
    std::array<GLint, 4> viewport{};
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    return viewport;
}

} // namespace

// The depth of each scene is written as an OpenGL perspective projection
// writes it (32-bit float depth, 1 where nothing is), and the normal of
// every texel is compared with the surface's own. Tolerances: 0.002 per
// component on a plane (what float depth keeps of 1 / 500 of the depth
// range between neighbours), 0.03 on the sphere, whose curvature the
// one-sided differences see; on every texel that shows the sphere, even at
// the rim, the normal is of unit length and faces the camera.
TEST(DepthToNormal, GivesTheViewSpaceNormalsOfAnalyticSurfaces)
{
    constexpr int W = 32, H = 24;
    const Matrix44f perspective = Host::Perspective(50.0f, float(W) / H, 1.0f, 20.0f);
    const struct {
        const char* szName;
        Matrix44f projection;
        Surface surface;
        float fTolerance;
    } cases[] = {{"tilted plane", perspective, Plane({0, 0, -5}, {0.3f, -0.4f, 1}), 0.002f},
                 {"tilted plane, off-centre frustum", Frustum(-0.2f, 0.6f, -0.5f, 0.1f, 1, 20),
                  Plane({0, 0, -5}, {-0.5f, 0.2f, 1}), 0.002f},
                 {"sphere", perspective, Sphere({0.3f, -0.2f, -6}, 1.8f), 0.03f}};
    for (const auto& scene : cases) {
        SCOPED_TRACE(scene.szName);
        std::vector<float> depths(W * H, 1.0f);
        std::vector<std::optional<Hit>> hits(W * H);
        for (int i = 0; i < W * H; ++i) {
            const Vector3f ray = Ray(scene.projection, i % W, i / W, W, H);
            if (!(hits[i] = scene.surface(ray))) continue;
            const float z = -hits[i]->fDistance, p10 = scene.projection(2, 2), p14 = scene.projection(2, 3);
            depths[i] = 0.5f * (p10 * z + p14) / -z + 0.5f;
        }
        TextureObject2D depth = OndoTest::MakeTexture(W, H, GL_DEPTH_COMPONENT32F);
        glTextureSubImage2D(depth.m_uiName, 0, 0, 0, W, H, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
        TextureObject2D target = OndoTest::MakeTexture(W, H, GL_RGBA32F, std::vector<float>(4 * W * H, 0.0f));
        OndoTest::FilterHarness harness;
        harness.Add(DepthToNormal, "N");
        harness.Feed("N", "Depth Texture", depth);
        harness.Feed("N", "Target Texture", target);
        harness.Set("N", "Projection Matrix", MatrixText(scene.projection));
        glDisable(GL_DEPTH_TEST);
        ASSERT_TRUE(harness.Run()) << ::testing::PrintToString(harness.GetLogger().GetMessages());
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "the pass leaves depth testing on";
        OndoTest::ExpectOutputIsTarget(harness, "N", "ViewSpace Normal", target);

        const std::vector<float> normals = OndoTest::ReadTexture(target);
        int iCompared = 0;
        for (int i = 0; i < W * H; ++i) {
            if (!hits[i]) continue;
            const int x = i % W, y = i / W;
            const Vector3f n = Texel3(normals, i), position = Ray(scene.projection, x, y, W, H) * hits[i]->fDistance;
            ASSERT_NEAR(n.Length(), 1.0f, 1e-3f) << "texel " << x << "," << y;
            ASSERT_LT(n.Dot(position), 0.0f) << "texel " << x << "," << y << " faces away from the camera";
            EXPECT_EQ(normals[4 * i + 3], 1.0f);
            // The texels within two of the sphere's rim see a slope too steep
            // for differences between texels to follow.
            const bool bInside = x > 1 && y > 1 && x + 2 < W && y + 2 < H && hits[i - 2] && hits[i + 2] &&
                                 hits[i - 2 * W] && hits[i + 2 * W];
            if (!bInside && scene.fTolerance > 0.002f) continue;
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(n[c], hits[i]->normal[c], scene.fTolerance) << "texel " << x << "," << y << " axis " << c;
            ++iCompared;
        }
        EXPECT_GT(iCompared, W * H / 8) << "texels compared";
        depth.Release();
        target.Release();
    }
}

TEST(FXAA, RefusesAContextWithoutAnisotropicFiltering)
{
    const std::string strMessage =
        "FXAA requires support for anisotropic filtering. You don't have that (GL_EXT_texture_filter_anisotropic)!";
    EXPECT_EQ(ErrorOf([] { Prismvale::FilterFXAA::RequireAnisotropicFiltering(false); }), strMessage);
    EXPECT_EQ(ErrorOf([] { Prismvale::FilterFXAA::RequireAnisotropicFiltering(true); }), "");
    // The test context answers the real question one way or the other.
    OndoTest::FilterHarness harness;
    const std::string strError = ErrorOf([&] { harness.Add(FXAA, "F"); });
    if (OpenGL::HasExtension("GL_EXT_texture_filter_anisotropic"))
        EXPECT_EQ(strError, "");
    else
        EXPECT_NE(strError.find(strMessage), std::string::npos) << strError;
}

// Pictures of 32 x 24 texels in RGBA8. A hard edge across the picture, at a
// shallow slope and at a steep one (the two search directions), becomes a
// ramp: texels next to it take values between the two sides, texels two or
// more away from it stay exactly as they were. A flat picture stays exactly
// the same, a smooth one within 2/255 (below the contrast FXAA acts on). On
// every picture, wavy ones too, no texel moves farther than FXAA can move it.
TEST(FXAA, SoftensHardEdgesAndKeepsFlatAndSmoothPictures)
{
    constexpr int W = 32, H = 24;
    // The same 8-bit value, read back as a float (only float rounding apart).
    constexpr float Exact = 1e-6f;
    using Picture = std::function<float(float x, float y)>;
    // Signed distance of a texel from each edge, in texels along y or x.
    const Picture shallow = [](float x, float y) { return y - (0.4f * x + 5.0f); };
    const Picture steep = [](float x, float y) { return x - (0.4f * y + 9.0f); };
    const struct {
        const char* szName;
        Picture fnValue;
        Picture fnEdgeDistance;
        float fTolerance;
    } cases[] = {
        {"shallow edge", [&](float x, float y) { return shallow(x, y) > 0 ? 1.0f : 0.0f; }, shallow, Exact},
        {"steep edge", [&](float x, float y) { return steep(x, y) > 0 ? 0.9f : 0.1f; }, steep, Exact},
        {"flat", [](float, float) { return 0.6f; }, nullptr, Exact},
        {"smooth", [](float x, float y) { return 0.5f + 0.2f * std::sin(0.12f * x) * std::cos(0.1f * y); }, nullptr,
         2.0f / 255},
        // Contrast above the thresholds everywhere: only the bound below applies.
        {"waves", [](float x, float y) { return 0.5f + 0.25f * std::sin(0.3f * x) * std::cos(0.25f * y); }, nullptr,
         -1.0f}};
    for (const auto& picture : cases) {
        SCOPED_TRACE(picture.szName);
        std::vector<float> texels;
        for (int i = 0; i < W * H; ++i) {
            const float v = OndoTest::Unorm8(picture.fnValue(float(i % W), float(i / W)));
            texels.insert(texels.end(), {v, v, v, 1.0f});
        }
        TextureObject2D input = OndoTest::MakeTexture(W, H, GL_RGBA8, texels);
        TextureObject2D target = OndoTest::MakeTexture(W, H, GL_RGBA8);
        OndoTest::FilterHarness harness;
        harness.Add(FXAA, "F");
        harness.Feed("F", "Input Texture", input);
        harness.Feed("F", "Target Texture", target);
        ASSERT_TRUE(harness.Run());
        const std::vector<float> result = OndoTest::ReadTexture(target);
        input.Release();
        target.Release();
        // Every texel is a bilinear sample moved across an edge by at most
        // 3/4 of a texel: between itself and 3/4 of the way to one of its
        // direct neighbours (the border's neighbour is the texel itself).
        const auto fnAt = [&](int x, int y) { return texels[4 * (std::clamp(y, 0, H - 1) * W + std::clamp(x, 0, W - 1))]; };
        for (int i = 0; i < W * H; ++i) {
            const int x = i % W, y = i / W;
            const float c = texels[4 * i], r = result[4 * i];
            bool bBetween = std::fabs(r - c) <= 1.0f / 255;
            for (const auto& [dx, dy] : {std::pair(1, 0), std::pair(-1, 0), std::pair(0, 1), std::pair(0, -1)}) {
                const float n = fnAt(x + dx, y + dy);
                bBetween |= (r - c) * (n - c) >= 0 && std::fabs(r - c) <= 0.75f * std::fabs(n - c) + 1.0f / 255;
            }
            ASSERT_TRUE(bBetween) << "texel " << x << "," << y << ": " << c << " became " << r;
        }
        if (picture.fTolerance < 0) continue;
        int iSoftened = 0;
        for (int i = 0; i < W * H; ++i) {
            const float fDistance = picture.fnEdgeDistance ? picture.fnEdgeDistance(float(i % W), float(i / W)) : 1e9f;
            if (std::fabs(fDistance) < 2.0f) {
                iSoftened += result[4 * i] > texels[4 * i] + 0.05f || result[4 * i] < texels[4 * i] - 0.05f;
                continue;
            }
            for (int c = 0; c < 4; ++c) {
                ASSERT_NEAR(result[4 * i + c], texels[4 * i + c], picture.fTolerance)
                    << "texel " << i % W << "," << i / W << " channel " << c;
            }
        }
        if (picture.fnEdgeDistance) {
            EXPECT_GE(iSoftened, 12) << "texels along the edge blended";
        }
    }
}

// An input of 8 x 6 texels into a target of 16 x 12: the pass covers the
// lower-left 8 x 6 texels of the target and leaves the rest. It leaves
// depth testing and depth writes on.
TEST(FXAA, TheViewportFollowsTheInput)
{
    const std::array<float, 4> colour = {0.8f, 0.2f, 0.4f, 1.0f}, marker = {0.25f, 0.25f, 0.25f, 0.25f};
    std::vector<float> texels, marks;
    for (int i = 0; i < 8 * 6; ++i) texels.insert(texels.end(), colour.begin(), colour.end());
    for (int i = 0; i < 16 * 12; ++i) marks.insert(marks.end(), marker.begin(), marker.end());
    TextureObject2D input = OndoTest::MakeTexture(8, 6, GL_RGBA8, texels);
    TextureObject2D target = OndoTest::MakeTexture(16, 12, GL_RGBA8, marks);
    OndoTest::FilterHarness harness;
    harness.Add(FXAA, "F");
    harness.Feed("F", "Input Texture", input);
    harness.Feed("F", "Target Texture", target);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 8, 6}));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLboolean bDepthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &bDepthWrites);
    EXPECT_TRUE(bDepthWrites);
    OndoTest::ExpectOutputIsTarget(harness, "F", "Out", target);
    const std::vector<float> result = OndoTest::ReadTexture(target);
    for (int i = 0; i < 16 * 12; ++i) {
        const bool bCovered = i % 16 < 8 && i / 16 < 6;
        for (int c = 0; c < 4; ++c)
            ASSERT_NEAR(result[4 * i + c], OndoTest::Unorm8((bCovered ? colour : marker)[c]), 1e-6f)
                << "texel " << i % 16 << "," << i / 16;
    }
    input.Release();
    target.Release();
}

namespace {

// A G-buffer of world-space positions and normals made by casting a ray
// through each texel at planes given in view space (a camera at (1.5, 2, 3)
// looking at (0, 0, -1), so that world and view space differ), and an
// ambient-occlusion pass over a colour texture of float texels, white with
// alpha 0.5 before each run. Where no plane is, the G-buffer holds zeros.
class OcclusionScene {
public:
    static constexpr int W = 40, H = 30;
    static constexpr float FieldOfView = 60.0f;

    explicit OcclusionScene(const std::vector<Surface>& planes, int iColourScale = 1)
        : m_iColourTexels(W * H * iColourScale * iColourScale)
    {
        const Matrix44f toWorld = *Inverse(m_View);
        const Matrix44f projection = Host::Perspective(FieldOfView, float(W) / H, 1.0f, 50.0f);
        std::vector<float> positions(4 * W * H, 0.0f), normals(4 * W * H, 0.0f);
        for (int i = 0; i < W * H; ++i) {
            const Vector3f ray = Ray(projection, i % W, i / W, W, H);
            const auto hit = Nearest(planes, ray);
            if (!hit) continue;
            const Vector3f p = ray * hit->fDistance;
            const Vector4f world = toWorld * Vector4f(p.x(), p.y(), p.z(), 1.0f);
            const Vector4f normal = toWorld * Vector4f(hit->normal.x(), hit->normal.y(), hit->normal.z(), 0.0f);
            std::copy(world.data(), world.data() + 3, &positions[4 * i]);
            std::copy(normal.data(), normal.data() + 3, &normals[4 * i]);
        }
        m_Textures = {OndoTest::MakeTexture(W, H, GL_RGBA32F, positions),
                      OndoTest::MakeTexture(W, H, GL_RGBA32F, normals),
                      OndoTest::MakeTexture(W * iColourScale, H * iColourScale, GL_RGBA32F)};
        OndoTest::ValueFeed<float>::Register(m_Harness.GetGraph().GetCore(), "Test.FloatFeed");
        m_pItem = &m_Harness.Add(SSAO, "S");
        auto& fov = dynamic_cast<OndoTest::ValueFeed<float>&>(m_Harness.Add("Test.FloatFeed", "FOV"));
        m_Harness.Connect("FOV", "Value", "S", "Field of View");
        m_pFieldOfView = &fov.m_Value;
        *m_pFieldOfView = FieldOfView;
        m_Harness.Set("S", "View Matrix", MatrixText(m_View));
        m_Harness.Feed("S", "WorldSpace", m_Textures[0]);
        m_Harness.Feed("S", "Normal", m_Textures[1]);
        m_Harness.Feed("S", "Color", m_Textures[2]);
    }
    ~OcclusionScene()
    {
        for (TextureObject2D& texture : m_Textures) texture.Release();
    }

    // The colour texture after one run.
    std::vector<float> Run()
    {
        const float white[4] = {1.0f, 1.0f, 1.0f, 0.5f};
        glClearTexImage(m_Textures[2].m_uiName, 0, GL_RGBA, GL_FLOAT, white);
        EXPECT_TRUE(m_Harness.Run()) << ::testing::PrintToString(m_Harness.GetLogger().GetMessages());
        return OndoTest::ReadTexture(m_Textures[2]);
    }

    const Matrix44f m_View = Host::LookAt({1.5f, 2.0f, 3.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 1.0f, 0.0f});
    const int m_iColourTexels;
    OndoTest::FilterHarness m_Harness;
    std::vector<TextureObject2D> m_Textures; // positions, normals, colour
    FlowGraph::ScopeItem* m_pItem = nullptr;
    std::optional<float>* m_pFieldOfView = nullptr;
};

// In view space: a wall facing the camera 4 units away, a floor 1 unit below
// the eye; together they meet in a concave corner along texel row 8.
const Surface Wall = Plane({0, 0, -4}, {0, 0, 1}), Floor = Plane({0, -1, 0}, {0, 1, 0});

} // namespace

// With the occlusion distance at 1: flat planes, facing the camera or seen
// at a slant, are not darkened by more than 1 %; the texels along the corner
// are darkened on average to 0.85 or below, the wall well above it (farther
// than 1 from the floor) not at all; alpha is kept everywhere. The viewport
// follows the colour texture, here twice the G-buffer's size.
TEST(SSAO, DarkensAConcaveCornerButNoFlatPlane)
{
    const struct {
        const char* szName;
        std::vector<Surface> planes;
    } scenes[] = {{"wall", {Wall}}, {"floor", {Floor}}, {"corner", {Wall, Floor}}};
    for (const auto& scene : scenes) {
        SCOPED_TRACE(scene.szName);
        OcclusionScene occlusion(scene.planes, 2);
        occlusion.m_Harness.GetGraph().SetControl("S", "Max occlusion distance", "1");
        const std::vector<float> result = occlusion.Run();
        constexpr int W = OcclusionScene::W * 2;
        EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, W, OcclusionScene::H * 2}));
        float fCornerSum = 0.0f, fMin = 1.0f;
        int iCorner = 0;
        for (int i = 0; i < occlusion.m_iColourTexels; ++i) {
            ASSERT_EQ(result[4 * i + 3], 0.5f);
            const int iRow = i / W / 2; // in G-buffer texels
            if (scene.planes.size() == 1 || iRow >= 16) fMin = std::min(fMin, result[4 * i]);
            if (std::abs(iRow - 8) <= 1) fCornerSum += result[4 * i], ++iCorner;
        }
        EXPECT_GE(fMin, 0.99f);
        if (scene.planes.size() == 2) {
            EXPECT_LE(fCornerSum / iCorner, 0.85f);
        }
    }
}

// The settings' defaults as written, the output when bypassed: the colour
// texture object, marked changed and untouched, with no GL state changed.
// With the field of view unconnected the pass sees 45 degrees.
TEST(SSAO, DefaultsBypassAndAnUnsetFieldOfView)
{
    OcclusionScene scene({Wall, Floor});
    TiXmlDocument document;
    TiXmlElement* pRoot = OndoTest::Settings(*scene.m_pItem, document);
    EXPECT_EQ(OndoTest::Keys(*pRoot), (std::vector<std::string>{"hFOVIn", "hViewMatIn", "hColorIn", "hPositionIn",
                                                                "hNormalIn", "hColorOut", "bBypass", "fDMax",
                                                                "iNumSamples"}));
    EXPECT_STREQ(pRoot->FirstChildElement("bBypass")->Attribute("value"), "0");
    EXPECT_STREQ(pRoot->FirstChildElement("fDMax")->Attribute("value"), "3.5");
    EXPECT_STREQ(pRoot->FirstChildElement("iNumSamples")->Attribute("value"), "64");

    std::vector<std::vector<float>> results;
    for (const std::optional<float> fov : {std::optional<float>(), std::optional<float>(45.0f), std::optional(60.0f)}) {
        *scene.m_pFieldOfView = fov;
        results.push_back(scene.Run());
    }
    EXPECT_EQ(results[0], results[1]) << "no field of view is 45 degrees";
    EXPECT_NE(results[0], results[2]);

    scene.m_Harness.GetGraph().SetControl("S", "Bypass", "1");
    glEnable(GL_BLEND);
    glActiveTexture(GL_TEXTURE3);
    glViewport(1, 2, 3, 4);
    const std::vector<GLint> before = StateSnapshot();
    const std::vector<float> bypassed = scene.Run();
    EXPECT_EQ(StateSnapshot(), before);
    glDisable(GL_BLEND);
    glActiveTexture(GL_TEXTURE0);
    std::vector<float> white;
    for (int i = 0; i < scene.m_iColourTexels; ++i) white.insert(white.end(), {1.0f, 1.0f, 1.0f, 0.5f});
    EXPECT_EQ(bypassed, white);
    OndoTest::ExpectOutputIsTarget(scene.m_Harness, "S", "Color Out", scene.m_Textures[2]);
}

// Each refusal names the port, comes before any GL state changed (no
// framebuffer left bound) and leaves no GL error.
TEST(ScreenSpacePasses, RefuseWhatTheyCouldOnlyDrawWrongly)
{
    std::map<std::string, TextureObject2D> textures;
    for (const auto& [strName, eFormat, iSize] : std::vector<std::tuple<std::string, GLenum, int>>{
             {"rgba8", GL_RGBA8, 8}, {"rgba32f", GL_RGBA32F, 8}, {"rgba8ui", GL_RGBA8UI, 8},
             {"depth8", GL_DEPTH_COMPONENT32F, 8}, {"depth16", GL_DEPTH_COMPONENT32F, 16}})
        textures[strName] = OndoTest::MakeTexture(iSize, iSize, eFormat);
    using Inputs = std::vector<std::pair<std::string, std::string>>;
    const struct {
        std::string strType;
        Inputs feeds, literals, controls;
        std::string strMessage;
    } cases[] = {
        {DepthToNormal, {{"Depth Texture", "depth8"}, {"Target Texture", "rgba8"}}, {{"Projection Matrix", "identity"}},
         {}, "\"Target Texture\" is a GL_RGBA8 texture, which cannot hold the signed x, y and z of a normal"},
        {DepthToNormal, {{"Depth Texture", "depth16"}, {"Target Texture", "rgba32f"}},
         {{"Projection Matrix", "identity"}}, {}, "\"Depth Texture\" is 16 x 16 texels, but the target is 8 x 8"},
        {FXAA, {{"Input Texture", "rgba8"}, {"Target Texture", "rgba8"}}, {}, {},
         "\"Input Texture\" and \"Target Texture\" are the same texture"},
        {FXAA, {{"Input Texture", "rgba8ui"}, {"Target Texture", "rgba8"}}, {}, {},
         "\"Input Texture\" is a GL_RGBA8UI texture of unsigned-integer texels"},
        {SSAO, {{"Color", "rgba8ui"}, {"Normal", "rgba32f"}, {"WorldSpace", "rgba32f"}},
         {{"View Matrix", "identity"}, {"Field of View", "60"}}, {}, "\"Color\" is a GL_RGBA8UI texture"},
        {SSAO, {{"Color", "rgba8"}, {"Normal", "rgba32f"}, {"WorldSpace", "rgba32f"}},
         {{"View Matrix", "identity"}, {"Field of View", "200"}}, {}, "\"Field of View\" is 200"},
        {SSAO, {{"Color", "rgba8"}, {"Normal", "rgba32f"}, {"WorldSpace", "rgba32f"}},
         {{"View Matrix", "identity"}, {"Field of View", "60"}}, {{"Max occlusion distance", "-1"}},
         "\"Max occlusion distance\" is -1"},
        {SSAO, {{"Color", "rgba32f"}, {"Normal", "rgba32f"}, {"WorldSpace", "rgba8"}},
         {{"View Matrix", "identity"}, {"Field of View", "60"}}, {}, "\"Color\" is the same texture as \"Normal\""}};
    for (const auto& refusal : cases) {
        SCOPED_TRACE(refusal.strMessage);
        OndoTest::FilterHarness harness;
        harness.Add(refusal.strType, "F");
        for (const auto& [strInput, strTexture] : refusal.feeds) harness.Feed("F", strInput, textures[strTexture]);
        for (const auto& [strInput, strText] : refusal.literals) harness.Set("F", strInput, strText);
        for (const auto& [strLabel, strValue] : refusal.controls) harness.GetGraph().SetControl("F", strLabel, strValue);
        const std::string strError = harness.RunError();
        OndoTest::ExpectRefusal(strError, "F", refusal.strMessage);
        EXPECT_EQ(strError.find("as well"), std::string::npos) << "a GL error besides: " << strError;
    }
    for (auto& [strName, texture] : textures) texture.Release();
}

TEST(ScreenSpacePasses, ReleaseEveryGLObjectTheyMake)
{
    std::map<std::string, TextureObject2D> textures;
    for (const auto& [strName, eFormat] : std::vector<std::pair<std::string, GLenum>>{
             {"depth", GL_DEPTH_COMPONENT32F}, {"normals", GL_RGBA32F}, {"input", GL_RGBA8}, {"smoothed", GL_RGBA8},
             {"colour", GL_RGBA8}, {"g-normal", GL_RGBA32F}, {"g-position", GL_RGBA32F}})
        textures[strName] = OndoTest::MakeTexture(
            8, 8, eFormat, eFormat == GL_DEPTH_COMPONENT32F ? std::vector<float>() : std::vector<float>(4 * 64, 0.5f));
    const std::array<int, 5> before = OndoTest::LiveObjects();
    {
        OndoTest::FilterHarness harness;
        for (const std::string& strType : {DepthToNormal, FXAA, SSAO}) harness.Add(strType, strType);
        const std::string strProjection = MatrixText(Host::Perspective(50.0f, 1.0f, 1.0f, 20.0f));
        for (const auto& [strFilter, strInput, strTexture] : std::vector<std::array<std::string, 3>>{
                 {DepthToNormal, "Depth Texture", "depth"}, {DepthToNormal, "Target Texture", "normals"},
                 {FXAA, "Input Texture", "input"}, {FXAA, "Target Texture", "smoothed"}, {SSAO, "Color", "colour"},
                 {SSAO, "Normal", "g-normal"}, {SSAO, "WorldSpace", "g-position"}})
            harness.Feed(strFilter, strInput, textures[strTexture]);
        harness.Set(DepthToNormal, "Projection Matrix", strProjection);
        harness.Set(SSAO, "View Matrix", MatrixText(Matrix44f::Identity()));
        harness.Set(SSAO, "Field of View", "60");
        // A framebuffer name counts once it has been bound: after a frame.
        ASSERT_TRUE(harness.Run()) << ::testing::PrintToString(harness.GetLogger().GetMessages());
        // Three programs and framebuffers, the quads of FXAA and SSAO, their samplers.
        EXPECT_EQ(OndoTest::LiveObjects(),
                  (std::array<int, 5>{before[0] + 3, before[1] + 3, before[2] + 2, before[3] + 2, before[4]}));
    }
    EXPECT_EQ(OndoTest::LiveObjects(), before);
    for (auto& [strName, texture] : textures) texture.Release();
}
