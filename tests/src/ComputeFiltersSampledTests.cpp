// The compute-pass filters that sample a fixed input texture: resampling with
// the own sampler, and texel copies of a chosen level and offset.

#include "ComputeFilterTestSupport.h"

#include <iterator>

using Ondo::OpenGL::TextureObject2D;

TEST(ComputeFiltersSampled, ResampleImageRepeatsAndFiltersBilinearlyAtTargetTexelCentres)
{
    OndoTest::TestDevice();
    // Bilinear lookup at target texel centres with REPEAT at the borders: the
    // own sampler at level 0.
    const auto reference = [](const std::vector<float>& in, int iW, int iH, int iTW, int iTH) {
        std::vector<float> out(static_cast<std::size_t>(iTW * iTH * 4));
        const auto at = [&](int x, int y, int c) {
            return in[static_cast<std::size_t>((((y % iH + iH) % iH) * iW + (x % iW + iW) % iW) * 4 + c)];
        };
        for (int y = 0; y < iTH; ++y)
            for (int x = 0; x < iTW; ++x) {
                const float fx = (x + 0.5f) * iW / iTW - 0.5f, fy = (y + 0.5f) * iH / iTH - 0.5f;
                const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
                const float ax = fx - x0, ay = fy - y0;
                for (int c = 0; c < 4; ++c)
                    out[static_cast<std::size_t>((y * iTW + x) * 4 + c)] =
                        OndoTest::Unorm8((1 - ax) * (1 - ay) * at(x0, y0, c) + ax * (1 - ay) * at(x0 + 1, y0, c) +
                                         (1 - ax) * ay * at(x0, y0 + 1, c) + ax * ay * at(x0 + 1, y0 + 1, c));
            }
        return out;
    };
    // 2x up, the same size, 2x down into RGBA8. The texture unit may quantise
    // interpolation weights, so scaled cases allow 2/255.
    struct Case { int iW, iH, iTW, iTH; float fTolerance; };
    const Case cases[] = {{13, 9, 26, 18, 2.0f / 255}, {13, 9, 13, 9, 0.6f / 255}, {34, 18, 17, 9, 2.0f / 255}};
    std::vector<TextureObject2D> textures;
    textures.reserve(2 * std::size(cases)); // the feeds keep pointers to them
    OndoTest::FilterHarness harness;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& k = cases[i];
        textures.push_back(OndoTest::MakeTexture(k.iW, k.iH, GL_RGBA32F, OndoTest::Pattern(k.iW, k.iH, 7 + i)));
        textures.push_back(OndoTest::MakeTexture(k.iTW, k.iTH, GL_RGBA8));
        harness.Add("OpenGL.ResampleImage", "R" + std::to_string(i));
        harness.Feed("R" + std::to_string(i), "Texture In", textures[2 * i]);
        harness.Feed("R" + std::to_string(i), "Target Texture", textures[2 * i + 1]);
    }
    ASSERT_TRUE(harness.Run());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& k = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        OndoTest::ExpectTexels(OndoTest::ReadTexture(textures[2 * i + 1]),
                               reference(OndoTest::Pattern(k.iW, k.iH, 7 + i), k.iW, k.iH, k.iTW, k.iTH),
                               k.fTolerance, k.iTW);
        OndoTest::ExpectOutputIsTarget(harness, "R" + std::to_string(i), "Resampled", textures[2 * i + 1]);
    }
    // The own sampler, bound by the last pass (enumerants read as floats are exact).
    const std::pair<GLenum, float> parameters[] = {
        {GL_TEXTURE_WRAP_S, GL_REPEAT}, {GL_TEXTURE_WRAP_T, GL_REPEAT}, {GL_TEXTURE_WRAP_R, GL_REPEAT},
        {GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR}, {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
        {GL_TEXTURE_MIN_LOD, -1000.0f}, {GL_TEXTURE_MAX_LOD, 1000.0f}, {GL_TEXTURE_LOD_BIAS, 0.0f}};
    for (const auto& [eName, fValue] : parameters) {
        GLfloat fRead = 1.0f;
        glGetSamplerParameterfv(OndoTest::SamplerOnUnit0(), eName, &fRead);
        EXPECT_EQ(fRead, fValue) << std::hex << eName;
    }
    for (TextureObject2D& texture : textures) texture.Release();
}

TEST(ComputeFiltersSampled, TexelCopyFetchesTheOffsetTexelOfTheChosenLevel)
{
    OndoTest::TestDevice();
    // Two levels of different 8-bit contents, so the copy is exact.
    const int iW = 22, iH = 14, iTW = 17, iTH = 6;
    std::vector<std::vector<float>> levels = {OndoTest::Pattern(iW, iH, 11), OndoTest::Pattern(iW / 2, iH / 2, 12)};
    GLuint uiInput = 0;
    glGenTextures(1, &uiInput);
    glBindTexture(GL_TEXTURE_2D, uiInput);
    glTexStorage2D(GL_TEXTURE_2D, 2, GL_RGBA8, iW, iH);
    for (int iLevel = 0; iLevel < 2; ++iLevel) {
        std::vector<float>& level = levels[static_cast<std::size_t>(iLevel)];
        std::transform(level.begin(), level.end(), level.begin(), OndoTest::Unorm8);
        glTexSubImage2D(GL_TEXTURE_2D, iLevel, 0, 0, iW >> iLevel, iH >> iLevel, GL_RGBA, GL_FLOAT, level.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    TextureObject2D input(uiInput), target = OndoTest::MakeTexture(iTW, iTH, GL_RGBA8);
    OndoTest::FilterHarness harness;
    harness.Add("OpenGL.Texture.TexelCopy", "C");
    harness.Feed("C", "Texture In", input);
    harness.Feed("C", "Target Texture", target);
    // {LoD level, offset}; the first leaves both inputs unconnected: level 0
    // and (0, 0). Texels outside the level come out as zero.
    struct Case { int iLevel, iX, iY; };
    const Case cases[] = {{0, 0, 0}, {1, 2, 1}, {0, -3, 4}, {1, -1, -2}};
    for (const Case& k : cases) {
        const std::string strOffset = std::to_string(k.iX) + " " + std::to_string(k.iY);
        SCOPED_TRACE("level " + std::to_string(k.iLevel) + " offset " + strOffset);
        if (&k != cases) {
            harness.Set("C", "LoD Level", std::to_string(k.iLevel));
            harness.Set("C", "Offset", strOffset);
        }
        ASSERT_TRUE(harness.Run());
        const int iLW = iW >> k.iLevel, iLH = iH >> k.iLevel;
        std::vector<float> expected(static_cast<std::size_t>(iTW * iTH * 4), 0.0f);
        for (int y = 0; y < iTH; ++y)
            for (int x = 0; x < iTW; ++x) {
                const int sx = x + k.iX, sy = y + k.iY;
                if (sx < 0 || sy < 0 || sx >= iLW || sy >= iLH) continue;
                for (std::size_t c = 0; c < 4; ++c)
                    expected[static_cast<std::size_t>(y * iTW + x) * 4 + c] =
                        levels[static_cast<std::size_t>(k.iLevel)][static_cast<std::size_t>(sy * iLW + sx) * 4 + c];
            }
        OndoTest::ExpectTexels(OndoTest::ReadTexture(target), expected, 0.25f / 255, iTW);
        OndoTest::ExpectOutputIsTarget(harness, "C", "Copy", target);
    }
    input.Release();
    target.Release();
}
