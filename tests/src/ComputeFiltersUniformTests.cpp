// The members with a projection matrix: view-space position or linear depth
// from window depth, for symmetric and off-centre frustums, against the
// inverse of the projection on the CPU.

#include "ComputeFilterTestSupport.h"

using Ondo::OpenGL::TextureObject2D;
using OndoTest::Frustum;

TEST(ComputeFiltersUniform, ProjectionMembersReconstructFromDepthForAnyFrustum)
{
    OndoTest::TestDevice();
    const int iWidth = OndoTest::OddWidth, iHeight = OndoTest::OddHeight;
    const float fNear = 0.5f, fFar = 40.0f, fTop = fNear * std::tan(0.45f);
    struct Case { const char* szName; Ondo::Matrix44f projection; };
    const Case projections[] = {
        {"symmetric", Frustum(-1.6f * fTop, 1.6f * fTop, -fTop, fTop, fNear, fFar)},
        {"off-centre", Frustum(-0.3f, 0.5f, -0.15f, 0.35f, fNear, fFar)}};

    // Window depths across [0, 1], both ends at the corner texels.
    std::vector<float> depth(static_cast<std::size_t>(iWidth * iHeight * 4), 0.0f);
    for (int i = 0; i < iWidth * iHeight; ++i)
        depth[static_cast<std::size_t>(i) * 4] = static_cast<float>(i) / static_cast<float>(iWidth * iHeight - 1);
    TextureObject2D depthTexture = OndoTest::MakeTexture(iWidth, iHeight, GL_R32F, depth);

    for (const bool bPosition : {true, false}) {
        const char* szType = bPosition ? "OpenGL.Texture.DepthToViewSpacePosition" : "OpenGL.Texture.LinearizeDepth";
        SCOPED_TRACE(szType);
        std::vector<TextureObject2D> targets;
        for (const OndoTest::TargetFormat& format : OndoTest::TargetFormats())
            targets.push_back(OndoTest::MakeTexture(iWidth, iHeight, format.eFormat));
        OndoTest::FilterHarness harness;
        harness.Add(szType, "D");
        TextureObject2D*& pTarget = harness.Feed("D", "Target Texture", targets[0]);
        harness.Feed("D", "Depth Texture", depthTexture);
        EXPECT_FALSE(harness.Run()) << "the matrix is required";
        EXPECT_EQ(harness.GetLogger().GetMessages(),
                  (std::vector<std::string>{"D: Port \"Projection Matrix\" requires a connection to run.\n"}));

        for (const Case& k : projections) {
            harness.Set("D", "Projection Matrix", OndoTest::MatrixText(k.projection));
            const Ondo::Matrix44f inverse = *Ondo::Inverse(k.projection);
            // The view-space point at the texel centre and window depth: the
            // inverse projection of its normalised device coordinates.
            std::vector<float> expected(depth.size());
            for (std::size_t i = 0; i < depth.size(); i += 4) {
                const float ndc[4] = {(static_cast<float>(i / 4 % iWidth) + 0.5f) / iWidth * 2 - 1,
                                      (static_cast<float>(i / 4 / iWidth) + 0.5f) / iHeight * 2 - 1,
                                      depth[i] * 2 - 1, 1};
                double view[4] = {0, 0, 0, 0};
                for (std::size_t r = 0; r < 4; ++r)
                    for (std::size_t c = 0; c < 4; ++c) view[r] += double(inverse(r, c)) * ndc[c];
                const double z = -view[2] / view[3];
                const double texel[4] = {bPosition ? view[0] / view[3] : z, bPosition ? view[1] / view[3] : z,
                                         bPosition ? -z : z, 1.0};
                std::copy(texel, texel + 4, expected.begin() + static_cast<std::ptrdiff_t>(i));
            }
            // 8-bit targets cannot hold distances; the others can.
            for (std::size_t j = 0; j < targets.size(); ++j) {
                const OndoTest::TargetFormat& format = OndoTest::TargetFormats()[j];
                if (format.eStore == OndoTest::TargetFormat::Norm8) continue;
                SCOPED_TRACE(std::string(k.szName) + " frustum, " + format.szName);
                pTarget = &targets[j];
                ASSERT_TRUE(harness.Run());
                std::vector<float> stored(expected.size());
                for (std::size_t i = 0; i < stored.size(); ++i)
                    stored[i] = format.Stored(static_cast<int>(i % 4), expected[i]);
                OndoTest::ExpectTexels(OndoTest::ReadTexture(targets[j]), stored, format.Tolerance(2e-4f), iWidth);
                OndoTest::ExpectOutputIsTarget(harness, "D", bPosition ? "Viewspace Position" : "Lin. Depth",
                                               targets[j]);
            }
        }
        for (TextureObject2D& target : targets) target.Release();
    }
    depthTexture.Release();
}
