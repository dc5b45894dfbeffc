// The members with a projection matrix: their uniforms, and view-space
// position or linear depth from window depth against the CPU.

#include "ComputeFilterTestSupport.h"

#include <set>
#include <sstream>

using Ondo::OpenGL::TextureObject2D;

TEST(ComputeFiltersUniform, ProjectionMembersReconstructFromDepth)
{
    OndoTest::TestDevice();
    const int iWidth = OndoTest::OddWidth, iHeight = OndoTest::OddHeight;
    // The GLU projection from fovy, width / height, near and far; its text form row by row.
    const float fFovY = 0.9f, fRatio = 1.6f, fNear = 0.5f, fFar = 40.0f, f = 1.0f / std::tan(fFovY / 2.0f);
    const Ondo::Matrix44f projection = Ondo::Matrix44f::FromRows(
        {f / fRatio, 0, 0, 0, 0, f, 0, 0, 0, 0, (fFar + fNear) / (fNear - fFar), 2 * fFar * fNear / (fNear - fFar), 0,
         0, -1, 0});
    std::ostringstream rows;
    rows.precision(9);
    for (std::size_t i = 0; i < 16; ++i) rows << projection(i / 4, i % 4) << ' ';

    // Window depths across [0, 1], both ends at the corner texels.
    std::vector<float> depth(static_cast<std::size_t>(iWidth * iHeight * 4), 0.0f);
    for (int i = 0; i < iWidth * iHeight; ++i)
        depth[static_cast<std::size_t>(i) * 4] = static_cast<float>(i) / static_cast<float>(iWidth * iHeight - 1);
    TextureObject2D depthTexture = OndoTest::MakeTexture(iWidth, iHeight, GL_R32F, depth);

    for (const bool bPosition : {true, false}) {
        const char* szType = bPosition ? "OpenGL.Texture.DepthToViewSpacePosition" : "OpenGL.Texture.LinearizeDepth";
        SCOPED_TRACE(szType);
        TextureObject2D target =
            OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, std::vector<float>(depth.size(), -7.0f));
        OndoTest::FilterHarness harness;
        std::set<GLuint> before; // the filter's program is the one its creation adds
        for (GLuint uiName = 1; uiName <= 2048; ++uiName)
            if (glIsProgram(uiName)) before.insert(uiName);
        harness.Add(szType, "D");
        GLuint uiProgram = 0;
        for (GLuint uiName = 1; uiName <= 2048; ++uiName)
            if (glIsProgram(uiName) && !before.count(uiName)) uiProgram = uiName;
        ASSERT_NE(uiProgram, 0u);

        harness.Feed("D", "Target Texture", target);
        harness.Feed("D", "Depth Texture", depthTexture);
        EXPECT_FALSE(harness.Run()) << "the matrix is required";
        EXPECT_EQ(harness.GetLogger().GetMessages(),
                  (std::vector<std::string>{"D: Port \"Projection Matrix\" requires a connection to run.\n"}));
        harness.Set("D", "Projection Matrix", rows.str());
        ASSERT_TRUE(harness.Run());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

        // Near and far as built; the frustum's left and top edges at unit distance.
        GLfloat fN = 0, fF = 0, frustum[2] = {0, 0};
        glGetUniformfv(uiProgram, 1, &fN);
        glGetUniformfv(uiProgram, 2, &fF);
        EXPECT_NEAR(fN, fNear, 1e-4f * fNear);
        EXPECT_NEAR(fF, fFar, 1e-4f * fFar);
        if (bPosition) {
            glGetUniformfv(uiProgram, 0, frustum);
            EXPECT_NEAR(frustum[0], -fRatio * std::tan(fFovY / 2.0f), 1e-5f);
            EXPECT_NEAR(frustum[1], std::tan(fFovY / 2.0f), 1e-5f);
        }

        // Linear distance from the window depth; the position by the inverse
        // of the projection at the texel centre.
        std::vector<float> expected(depth.size());
        for (std::size_t i = 0; i < depth.size(); i += 4) {
            const double d = depth[i], n = fNear, fa = fFar, z = 2.0 * n * fa / (fa + n - (2.0 * d - 1.0) * (fa - n));
            const double nx = (static_cast<double>(i / 4 % iWidth) + 0.5) / iWidth * 2.0 - 1.0;
            const double ny = (static_cast<double>(i / 4 / iWidth) + 0.5) / iHeight * 2.0 - 1.0;
            const double texel[4] = {bPosition ? nx * z * fRatio / f : z, bPosition ? ny * z / f : z,
                                     bPosition ? -z : z, 1.0};
            std::copy(texel, texel + 4, expected.begin() + static_cast<std::ptrdiff_t>(i));
        }
        OndoTest::ExpectTexels(OndoTest::ReadTexture(target), expected, 1e-4f, iWidth);
        OndoTest::ExpectOutputIsTarget(harness, "D", bPosition ? "Viewspace Position" : "Lin. Depth", target);
        target.Release();
    }
    depthTexture.Release();
}
