// Copies between texture kinds (layer, volume, cube face, five stereo views)
// and the cube-map and volume loaders: every texel against a CPU reference,
// the face-view rules, refusals, and every GL object released.

#include "ComputeFilterTestSupport.h"

#include "host/GFX/ImageIO.h"

#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Textures.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

using Ondo::OpenGL::TextureObject2D;
using Ondo::OpenGL::TextureObject3D;
using Ondo::OpenGL::TextureObjectCube;
using Texels = std::vector<float>;
namespace fs = std::filesystem;

using OndoTest::LiveObjects;

namespace {

// A volume of the given levels, each filled from RGBA floats (integers for
// integer formats), texel (x, y, z) at ((z * h + y) * w + x) * 4.
TextureObject3D MakeVolume(int iW, int iH, int iD, GLenum eFormat, const std::vector<Texels>& levels)
{
    GLuint uiTexture = 0;
    glGenTextures(1, &uiTexture);
    glBindTexture(GL_TEXTURE_3D, uiTexture);
    glTexStorage3D(GL_TEXTURE_3D, static_cast<GLsizei>(levels.size()), eFormat, iW, iH, iD);
    for (std::size_t l = 0; l < levels.size(); ++l) {
        const int w = std::max(1, iW >> l), h = std::max(1, iH >> l), d = std::max(1, iD >> l);
        if (Ondo::OpenGL::IsIntegerFormat(eFormat)) {
            std::vector<GLint> integers(levels[l].begin(), levels[l].end());
            glTexSubImage3D(GL_TEXTURE_3D, static_cast<GLint>(l), 0, 0, 0, w, h, d, GL_RGBA_INTEGER, GL_INT,
                            integers.data());
        } else {
            glTexSubImage3D(GL_TEXTURE_3D, static_cast<GLint>(l), 0, 0, 0, w, h, d, GL_RGBA, GL_FLOAT, levels[l].data());
        }
    }
    glBindTexture(GL_TEXTURE_3D, 0);
    return TextureObject3D(uiTexture);
}

Texels ReadVolume(const TextureObject3D& volume, int iTexels)
{
    Texels texels(static_cast<std::size_t>(iTexels) * 4);
    glBindTexture(GL_TEXTURE_3D, volume.m_uiName);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_FLOAT, texels.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    return texels;
}

// A cube map of RGBA8 faces, face f filled from faces[f] (rows as the GL
// takes them), made with glTexStorage2D or, mutable, with glTexImage2D.
TextureObjectCube MakeCube(int iSize, const std::vector<Texels>& faces, bool bMutable)
{
    GLuint uiCube = 0;
    glGenTextures(1, &uiCube);
    glBindTexture(GL_TEXTURE_CUBE_MAP, uiCube);
    if (!bMutable) glTexStorage2D(GL_TEXTURE_CUBE_MAP, 1, GL_RGBA8, iSize, iSize);
    for (GLenum f = 0; f < 6; ++f) {
        if (bMutable)
            glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGBA8, iSize, iSize, 0, GL_RGBA, GL_FLOAT, faces[f].data());
        else
            glTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, 0, 0, iSize, iSize, GL_RGBA, GL_FLOAT, faces[f].data());
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return TextureObjectCube(uiCube);
}

std::vector<Texels> CubeFaces(int iSize, unsigned int uiSeed)
{
    std::vector<Texels> faces;
    for (unsigned int f = 0; f < 6; ++f) {
        faces.push_back(OndoTest::Pattern(iSize, iSize, uiSeed + f));
        std::transform(faces.back().begin(), faces.back().end(), faces.back().begin(), OndoTest::Unorm8);
    }
    return faces;
}

// Compute invocations of what fn dispatches, where the GL counts them.
std::optional<GLuint64> Invocations(const std::function<void()>& fn)
{
    if (!glewIsSupported("GL_ARB_pipeline_statistics_query")) {
        fn();
        return std::nullopt;
    }
    GLuint uiQuery = 0;
    glGenQueries(1, &uiQuery);
    glBeginQuery(GL_COMPUTE_SHADER_INVOCATIONS_ARB, uiQuery);
    fn();
    glEndQuery(GL_COMPUTE_SHADER_INVOCATIONS_ARB);
    GLuint64 uiCount = 0;
    glGetQueryObjectui64v(uiQuery, GL_QUERY_RESULT, &uiCount);
    glDeleteQueries(1, &uiQuery);
    return uiCount;
}

} // namespace

TEST(CubeAndVolumeCopies, LayerCopyWritesOneLayerOfAnyLevelInTheTargetsOwnFormatAndRefusesMixedIntegers)
{
    OndoTest::TestDevice();
    const auto before = LiveObjects();
    const int iW = 21, iH = 15, iD = 4;
    const std::vector<Texels> levels = {OndoTest::Pattern(iW, iH * iD, 3, -2.0f, 2.0f),
                                        OndoTest::Pattern(iW / 2, iH / 2 * iD / 2, 4, -2.0f, 2.0f)};
    TextureObject3D volume = MakeVolume(iW, iH, iD, GL_RGBA32F, levels);
    // {layer, level, offset}; outside the level, zero.
    struct Case { int iLayer, iLevel, iX, iY; };
    const Case cases[] = {{0, 0, 0, 0}, {2, 0, 3, -2}, {1, 1, -1, 2}, {3, 0, 0, 0}, {4, 0, 0, 0}, {0, 2, 0, 0}};
    for (const OndoTest::TargetFormat& format : OndoTest::TargetFormats()) {
        TextureObject2D target = OndoTest::MakeTexture(OndoTest::OddWidth, OndoTest::OddHeight, format.eFormat);
        OndoTest::FilterHarness harness;
        harness.Add("OpenGL.Texture.LayerCopy", "L");
        harness.Feed("L", "Texture In", volume);
        harness.Feed("L", "Target Texture", target);
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(format.szName) + " layer " + std::to_string(k.iLayer) + " level " +
                         std::to_string(k.iLevel));
            if (&k != cases) {
                harness.Set("L", "Layer", std::to_string(k.iLayer));
                harness.Set("L", "LoD Level", std::to_string(k.iLevel));
                harness.Set("L", "Offset", std::to_string(k.iX) + " " + std::to_string(k.iY));
            }
            ASSERT_TRUE(harness.Run());
            const int w = iW >> k.iLevel, h = iH >> k.iLevel, d = iD >> k.iLevel;
            Texels expected(static_cast<std::size_t>(OndoTest::OddWidth * OndoTest::OddHeight * 4));
            for (int y = 0; y < OndoTest::OddHeight; ++y)
                for (int x = 0; x < OndoTest::OddWidth; ++x)
                    for (int c = 0; c < 4; ++c) {
                        const int sx = x + k.iX, sy = y + k.iY;
                        const bool bInside = k.iLevel < 2 && sx >= 0 && sy >= 0 && sx < w && sy < h && k.iLayer < d;
                        const float f = bInside ? levels[static_cast<std::size_t>(k.iLevel)]
                                                        [static_cast<std::size_t>(((k.iLayer * h + sy) * w + sx) * 4 + c)]
                                                : 0.0f;
                        expected[static_cast<std::size_t>((y * OndoTest::OddWidth + x) * 4 + c)] = format.Stored(c, f);
                    }
            OndoTest::ExpectTexels(OndoTest::ReadTexture(target), expected, format.Tolerance(1e-6f), OndoTest::OddWidth);
            EXPECT_EQ(Ondo::OpenGL::GetInternalFormat2D(target.m_uiName), format.eFormat);
            OndoTest::ExpectOutputIsTarget(harness, "L", "Copy", target);
        }
        target.Release();
    }

    // Signed voxels into a signed target, exactly; unsigned ones into it are refused.
    Texels shorts(static_cast<std::size_t>(5 * 3 * 2 * 4));
    for (std::size_t i = 0; i < shorts.size(); ++i) shorts[i] = static_cast<float>(static_cast<int>(i * 997) % 60000 - 30000);
    TextureObject3D signedVolume = MakeVolume(5, 3, 2, GL_RGBA16I, {shorts});
    TextureObject3D unsignedVolume = MakeVolume(5, 3, 2, GL_R8UI, {Texels(shorts.size(), 7.0f)});
    TextureObject2D integers = OndoTest::MakeTexture(5, 3, GL_RGBA32I);
    OndoTest::FilterHarness harness;
    harness.Add("OpenGL.Texture.LayerCopy", "L");
    TextureObject3D*& pInput = harness.Feed("L", "Texture In", signedVolume);
    harness.Feed("L", "Target Texture", integers);
    harness.Set("L", "Layer", "1");
    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(OndoTest::ReadTexture(integers), Texels(shorts.begin() + 60, shorts.end()));
    pInput = &unsignedVolume;
    const std::string strError = OndoTest::ErrorOf([&] { harness.Run(); });
    EXPECT_NE(strError.find("\"Texture In\" is a GL_R8UI texture of unsigned-integer texels"), std::string::npos)
        << strError;
    for (Ondo::OpenGL::TextureObject* pTexture : std::initializer_list<Ondo::OpenGL::TextureObject*>{&signedVolume, &unsignedVolume, &integers, &volume})
        pTexture->Release();
    harness.GetGraph().DetachDevice();
    EXPECT_EQ(LiveObjects(), before);
}

TEST(CubeAndVolumeCopies, TexelCopy3DWritesEveryLayerOnceAndADepthZeroTargetGetsNoDispatchButItsOutput)
{
    OndoTest::TestDevice();
    const auto before = LiveObjects();
    const int iW = 19, iH = 13, iD = 3;
    const Texels texels = OndoTest::Pattern(iW, iH * iD, 8);
    TextureObject3D input = MakeVolume(iW, iH, iD, GL_RGBA32F, {texels});
    TextureObject3D target = MakeVolume(iW, iH, iD, GL_RGBA16F, {Texels(texels.size(), 0.5f)});
    TextureObject3D empty; // name 0: the GL's default volume, of depth 0
    TextureObject3D thin = MakeVolume(16, 16, 1, GL_RGBA8, {Texels(16 * 16 * 4, 0.0f)});
    OndoTest::FilterHarness harness;
    harness.Add("OpenGL.Texture3D.TexelCopy", "V");
    harness.Feed("V", "Texture In", input);
    TextureObject3D*& pTarget = harness.Feed("V", "Target Texture", target);
    harness.Set("V", "Offset", "2 -1");
    ASSERT_TRUE(harness.Run());
    Texels expected(texels.size(), 0.0f);
    for (int z = 0; z < iD; ++z)
        for (int y = 0; y < iH; ++y)
            for (int x = 0; x < iW; ++x)
                for (int c = 0; c < 4; ++c)
                    if (x + 2 < iW && y >= 1)
                        expected[static_cast<std::size_t>(((z * iH + y) * iW + x) * 4 + c)] =
                            texels[static_cast<std::size_t>(((z * iH + y - 1) * iW + x + 2) * 4 + c)];
    OndoTest::ExpectTexels(ReadVolume(target, iW * iH * iD), expected, 1e-3f, iW);
    bool bChanged = false;
    EXPECT_EQ(harness.Output<TextureObject3D>("V", "Copy", &bChanged), &target);

    // Depth 1 is one dispatch of one 16 x 16 group (layer 0); depth 0 none,
    // and still the output.
    harness.Set("V", "Offset", "0 0");
    pTarget = &thin;
    const auto thinCount = Invocations([&] { ASSERT_TRUE(harness.Run()); });
    Texels firstLayer(static_cast<std::size_t>(16 * 16 * 4), 0.0f);
    for (int y = 0; y < iH; ++y)
        for (int x = 0; x < 16; ++x)
            for (int c = 0; c < 4; ++c)
                firstLayer[static_cast<std::size_t>((y * 16 + x) * 4 + c)] =
                    OndoTest::Unorm8(texels[static_cast<std::size_t>((y * iW + x) * 4 + c)]);
    OndoTest::ExpectTexels(ReadVolume(thin, 256), firstLayer, 1e-6f, 16);
    pTarget = &empty;
    const auto emptyCount = Invocations([&] { ASSERT_TRUE(harness.Run()); });
    EXPECT_EQ(harness.Output<TextureObject3D>("V", "Copy", &bChanged), &empty);
    EXPECT_TRUE(bChanged);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    if (thinCount && emptyCount) {
        EXPECT_EQ(*thinCount, 256u);
        EXPECT_EQ(*emptyCount, 0u);
    }
    for (TextureObject3D* pVolume : {&input, &target, &thin}) pVolume->Release();
    harness.GetGraph().DetachDevice();
    EXPECT_EQ(LiveObjects(), before);
}

TEST(CubeAndVolumeCopies, CubeFaceCopyReadsEveryFaceClampsTheIndexAndRemakesItsViewWhenTheFaceOrCubeChanges)
{
    OndoTest::TestDevice();
    const auto before = LiveObjects();
    const int iSize = 18;
    const std::vector<Texels> faces = CubeFaces(iSize, 20), otherFaces = CubeFaces(iSize, 40);
    TextureObjectCube immutable = MakeCube(iSize, faces, false), mutableCube = MakeCube(iSize, otherFaces, true);
    TextureObject2D target = OndoTest::MakeTexture(iSize, iSize, GL_RGBA32F);
    OndoTest::FilterHarness harness;
    harness.Add("OpenGL.CubeMapFaceCopy", "F");
    TextureObjectCube*& pCube = harness.Feed("F", "Texture In", immutable);
    TextureObject2D*& pTarget = harness.Feed("F", "Target Texture", target);
    const auto ExpectFace = [&](const std::vector<Texels>& cube, int iFace, const std::string& strWhy) {
        SCOPED_TRACE(strWhy);
        // Filtered at texel centres through the repeating default sampler:
        // the face's texels within the filter's rounding.
        OndoTest::ExpectTexels(OndoTest::ReadTexture(target), cube[static_cast<std::size_t>(iFace)], 1e-5f, iSize);
    };
    // The view at unit 0 (the pass leaves it bound); a swizzle set on it
    // shows whether the next pass still reads that view.
    const auto SpoilView = [] {
        glActiveTexture(GL_TEXTURE0);
        GLint iView = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &iView);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(iView));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, GL_ZERO);
        glBindTexture(GL_TEXTURE_2D, 0);
    };
    const auto Red = [&] { return OndoTest::ReadTexture(target)[0]; };

    ASSERT_TRUE(harness.Run());
    ExpectFace(faces, 0, "no face index: face 0");
    OndoTest::ExpectOutputIsTarget(harness, "F", "Resampled", target);
    for (const auto& [iIndex, iFace] : {std::pair{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {-3, 0}, {7, 5}}) {
        harness.Set("F", "Face Index", std::to_string(iIndex));
        ASSERT_TRUE(harness.Run());
        ExpectFace(faces, iFace, "index " + std::to_string(iIndex));
    }
    SpoilView();
    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(Red(), 0.0f) << "the same index keeps the view";
    harness.Set("F", "Face Index", "9");
    ASSERT_TRUE(harness.Run());
    ExpectFace(faces, 5, "9 clamps to 5 as 7 did, but the view is made anew");

    // Another cube map, here a mutable one: its face is copied each pass.
    pCube = &mutableCube;
    ASSERT_TRUE(harness.Run());
    ExpectFace(otherFaces, 5, "the new cube map");
    const Texels grey(static_cast<std::size_t>(iSize * iSize * 4), 128.0f / 255);
    glBindTexture(GL_TEXTURE_CUBE_MAP, mutableCube.m_uiName);
    glTexSubImage2D(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, 0, 0, iSize, iSize, GL_RGBA, GL_FLOAT, grey.data());
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    ASSERT_TRUE(harness.Run());
    ExpectFace({grey, grey, grey, grey, grey, grey}, 5, "what was drawn into the face since");
    // Redefined storage of another size: a copy of the new size.
    const std::vector<Texels> small = CubeFaces(4, 60);
    glBindTexture(GL_TEXTURE_CUBE_MAP, mutableCube.m_uiName);
    for (GLenum f = 0; f < 6; ++f)
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_FLOAT, small[f].data());
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    TextureObject2D smallTarget = OndoTest::MakeTexture(4, 4, GL_RGBA8);
    pTarget = &smallTarget;
    ASSERT_TRUE(harness.Run());
    OndoTest::ExpectTexels(OndoTest::ReadTexture(smallTarget), small[5], 1e-5f, 4);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Released and initialised again with the same index: a view again.
    harness.GetGraph().DetachDevice();
    EXPECT_EQ(OndoTest::CountLive(glIsTexture), before[4] + 4) << "only the test's own textures stay";
    harness.GetGraph().AttachDevice(OndoTest::TestDevice());
    pCube = &immutable;
    pTarget = &target;
    ASSERT_TRUE(harness.Run());
    ExpectFace(faces, 5, "after ReleaseResources");
    for (Ondo::OpenGL::TextureObject* pTexture :
         std::initializer_list<Ondo::OpenGL::TextureObject*>{&immutable, &mutableCube, &target, &smallTarget})
        pTexture->Release();
    harness.GetGraph().DetachDevice();
    EXPECT_EQ(LiveObjects(), before);
}

TEST(CubeAndVolumeCopies, AutostereoInterleavesFiveViewsSubpixelBySubpixelInTheSlantedPattern)
{
    OndoTest::TestDevice();
    const auto before = LiveObjects();
    const int iW = OndoTest::OddWidth, iH = OndoTest::OddHeight;
    std::vector<Texels> views;
    std::vector<TextureObject2D> textures;
    for (int v = 0; v < 5; ++v) {
        // View 3 is twice as large: the texel under each target centre.
        const int iScale = v == 3 ? 2 : 1;
        views.push_back(OndoTest::Pattern(iW * iScale, iH * iScale, 70 + static_cast<unsigned int>(v)));
        std::transform(views.back().begin(), views.back().end(), views.back().begin(), OndoTest::Unorm8);
        textures.push_back(OndoTest::MakeTexture(iW * iScale, iH * iScale, GL_RGBA8, views.back()));
    }
    for (const GLenum eFormat : {GL_RGBA8, GL_RGBA16F}) {
        TextureObject2D target = OndoTest::MakeTexture(iW, iH, eFormat);
        OndoTest::FilterHarness harness;
        harness.Add("OpenGL.Texture.CombineToAutostereoscopic", "S");
        std::vector<TextureObject2D**> feeds;
        for (int v = 0; v < 5; ++v)
            feeds.push_back(&harness.Feed("S", "Texture " + std::to_string(v), textures[static_cast<std::size_t>(v)]));
        harness.Feed("S", "Target Texture", target);
        ASSERT_TRUE(harness.Run());
        Texels expected(static_cast<std::size_t>(iW * iH * 4), 1.0f);
        for (int y = 0; y < iH; ++y)
            for (int x = 0; x < iW; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int v = (3 * x + c + (iH - 1 - y)) % 5, s = v == 3 ? 2 : 1;
                    expected[static_cast<std::size_t>((y * iW + x) * 4 + c)] =
                        views[static_cast<std::size_t>(v)][static_cast<std::size_t>(((s * y + s / 2) * iW * s + s * x + s / 2) * 4 + c)];
                }
        OndoTest::ExpectTexels(OndoTest::ReadTexture(target), expected, 1e-3f, iW);
        OndoTest::ExpectOutputIsTarget(harness, "S", "Combined Image", target);

        // A view without a texture: nothing written, and the log says which.
        TextureObject2D none;
        *feeds[2] = &none;
        harness.GetLogger().Clear();
        harness.Run();
        ASSERT_FALSE(harness.GetLogger().GetMessages().empty());
        EXPECT_EQ(harness.GetLogger().GetMessages().back(), "S: \"Texture 2\" carries no texture; the pass was skipped.\n");
        harness.GetGraph().DetachDevice();
        target.Release();
    }
    for (TextureObject2D& texture : textures) texture.Release();
    EXPECT_EQ(LiveObjects(), before);
}

namespace {

// Loaders made through the registry with their controls, and files to load.
class CubeAndVolumeLoaders : public ::testing::Test {
protected:
    CubeAndVolumeLoaders()
    {
        fs::create_directories(m_Folder);
        Ondo::GFX::RegisterStandardImageReaders(m_Core);
        OndoTest::TestDevice();
    }
    ~CubeAndVolumeLoaders() override { fs::remove_all(m_Folder); }

    std::string Path(const std::string& strName) const { return (m_Folder / strName).string(); }
    std::shared_ptr<Ondo::OpenGL::BaseFilter> Make(const std::string& strType, Ondo::Instrumenter& controls)
    {
        auto pLoader = OndoTest::MakeFilter(m_Core, strType, "Loader");
        pLoader->Instrument(controls);
        return pLoader;
    }
    template <class TextureT>
    std::pair<TextureT*, bool> Run(Ondo::OpenGL::BaseFilter& loader, const std::string& strOutput)
    {
        Ondo::FlowGraph::ScopeExecuter executer;
        loader.Execute(executer);
        const Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<TextureT>> hOut(loader.FindPort(strOutput));
        return {hOut->GetData(), hOut->HasChanged()};
    }

    const fs::path m_Folder = fs::temp_directory_path() / ("ondo-cube-volume-" + std::to_string(::getpid()));
    Ondo::Core m_Core;
};

GLint CubeParameter(GLuint uiCube, GLenum eParameter)
{
    GLint iValue = -1;
    glBindTexture(GL_TEXTURE_CUBE_MAP, uiCube);
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, eParameter, &iValue);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return iValue;
}

} // namespace

TEST_F(CubeAndVolumeLoaders, CubeLoaderPublishesOnItsFirstRunKeepsTheFilesLevelsAndReleasesItsCubeMap)
{
    const auto before = LiveObjects();
    Ondo::Instrumenter controls;
    auto pLoader = Make("OpenGL.Texture.LoadCubeMapFromFile", controls);
    controls.SetControl("File name", std::string(ONDO_TEST_DATA) + "/default_ibl_32.ktx");
    pLoader->AttachDevice(OndoTest::TestDevice());
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_CUBE_MAP_SEAMLESS));
    const auto [pCube, bChanged] = Run<TextureObjectCube>(*pLoader, "Cubemap");
    EXPECT_TRUE(bChanged) << "the cube-map loader loads in its first run";
    ASSERT_NE(pCube->m_uiName, 0u);
    glBindTexture(GL_TEXTURE_CUBE_MAP, pCube->m_uiName);
    GLint iFormat = 0, iSize = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_TEXTURE_INTERNAL_FORMAT, &iFormat);
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 1, GL_TEXTURE_WIDTH, &iSize);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    EXPECT_EQ(std::make_tuple(iFormat, iSize, CubeParameter(pCube->m_uiName, GL_TEXTURE_MAX_LEVEL)),
              std::make_tuple(GL_R11F_G11F_B10F, 16, 1))
        << "the file's two prefiltered levels, not a generated chain";
    EXPECT_FALSE(Run<TextureObjectCube>(*pLoader, "Cubemap").second);

    // A new name publishes the new cube map, changed; immutable when asked.
    // Six 3 x 3 face pictures of their own texels each: every texel comes
    // back in its face, +X -X +Y -Y +Z -Z as listed, and with the picture's
    // top row as the face's row t = 0.
    std::vector<std::vector<std::uint8_t>> expected;
    for (int i = 0; i < 6; ++i) {
        Ondo::GFX::ImageData face;
        face.m_iImageFormat = Ondo::GFX::FormatRGBA8;
        face.m_uiWidth = face.m_uiHeight = 3;
        for (int t = 0; t < 3 * 3 * 4; ++t) face.m_Pixels.push_back(static_cast<std::uint8_t>(40 * i + 3 * t + 1));
        Ondo::GFX::WritePNG(Path("f" + std::to_string(i) + ".png"), face);
        expected.emplace_back();
        for (int y = 2; y >= 0; --y) // the image's rows run bottom-up
            expected.back().insert(expected.back().end(), face.m_Pixels.begin() + y * 12,
                                   face.m_Pixels.begin() + (y + 1) * 12);
    }
    std::ofstream(Path("sky.cube")) << "f0.png\nf1.png\nf2.png\nf3.png\nf4.png\nf5.png\n";
    controls.SetControl("Mutable", "false");
    controls.SetControl("File name", Path("sky.cube"));
    const GLuint uiFirst = pCube->m_uiName;
    EXPECT_TRUE(Run<TextureObjectCube>(*pLoader, "Cubemap").second);
    EXPECT_NE(pCube->m_uiName, uiFirst);
    EXPECT_FALSE(glIsTexture(uiFirst)) << "the cube map it replaces is deleted";
    EXPECT_EQ(CubeParameter(pCube->m_uiName, GL_TEXTURE_IMMUTABLE_FORMAT), GL_TRUE);
    EXPECT_EQ(CubeParameter(pCube->m_uiName, GL_TEXTURE_MAX_LEVEL), 1) << "a 3 x 3 face gets its chain";
    glBindTexture(GL_TEXTURE_CUBE_MAP, pCube->m_uiName);
    for (GLenum f = 0; f < 6; ++f) {
        std::vector<std::uint8_t> face(3 * 3 * 4);
        glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGBA, GL_UNSIGNED_BYTE, face.data());
        EXPECT_EQ(face, expected[f]) << "face " << f;
    }
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    pLoader->DetachDevice();
    EXPECT_EQ(LiveObjects(), before);
}

TEST_F(CubeAndVolumeLoaders, VolumeLoaderKeepsIntegerVoxelsWithoutGLErrorsAndReleasesItsTextureForAFolder)
{
    const auto before = LiveObjects();
    const std::int16_t voxels[3 * 2 * 2] = {-300, 0, 7, 32767, -32768, 12, 1, 2, 3, 4, 5, 6};
    std::ofstream(Path("ct.raw"), std::ios::binary).write(reinterpret_cast<const char*>(voxels), sizeof(voxels));
    std::ofstream(Path("ct.mhd")) << "NDims = 3\nDimSize = 3 2 2\nElementType = MET_SHORT\nElementDataFile = ct.raw\n";
    Ondo::Instrumenter controls;
    auto pLoader = Make("OpenGL.Texture.LoadVolume", controls);
    EXPECT_EQ(controls.FindControl("File name")->m_strFileText.size(), 124u);
    controls.SetControl("File name", Path("ct.mhd"));
    while (glGetError() != GL_NO_ERROR) {
    }
    pLoader->AttachDevice(OndoTest::TestDevice());
    const auto [pVolume, bChanged] = Run<TextureObject3D>(*pLoader, "OutputTexture");
    EXPECT_FALSE(bChanged) << "loaded in InitResources";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "no mipmaps asked of integer voxels";
    ASSERT_NE(pVolume->m_uiName, 0u);
    EXPECT_EQ(Ondo::OpenGL::GetInternalFormat3D(pVolume->m_uiName), static_cast<GLenum>(GL_R16I));
    std::vector<GLint> read(12);
    glBindTexture(GL_TEXTURE_3D, pVolume->m_uiName);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RED_INTEGER, GL_INT, read.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    EXPECT_EQ(read, std::vector<GLint>(voxels, voxels + 12));

    // A real gzip-compressed NIfTI file: 4 x 5 x 7 bytes of 0 and 255.
    controls.SetControl("File name", std::string(ONDO_TEST_DATA) + "/standard.nii.gz");
    EXPECT_TRUE(Run<TextureObject3D>(*pLoader, "OutputTexture").second);
    EXPECT_EQ(Ondo::OpenGL::GetImageSize3D(pVolume->m_uiName), (Ondo::VectorT<int, 3>{4, 5, 7}));
    EXPECT_EQ(Ondo::OpenGL::GetInternalFormat3D(pVolume->m_uiName), static_cast<GLenum>(GL_R8UI));

    // A folder: the volume is released and none is published.
    const GLuint uiLoaded = pVolume->m_uiName;
    controls.SetControl("File name", m_Folder.string());
    EXPECT_TRUE(Run<TextureObject3D>(*pLoader, "OutputTexture").second);
    EXPECT_EQ(pVolume->m_uiName, 0u);
    EXPECT_FALSE(glIsTexture(uiLoaded));
    EXPECT_TRUE(m_Core.GetErrors().empty());
    pLoader->DetachDevice();
    EXPECT_EQ(LiveObjects(), before);
}
