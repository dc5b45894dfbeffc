// The headless context: it must be a real 4.3+ core context that runs compute work.

#include "HostTestSupport.h"
#include "support/GLTestEnvironment.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

TEST(GLContext, IsAnOpenGL43CoreContextWithEntryPoints)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    EXPECT_TRUE(device.GetContext().IsCurrent());
    EXPECT_FALSE(device.GetContext().GetPlatformName().empty());

    GLint iMajor = 0, iMinor = 0, iProfile = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &iMajor);
    glGetIntegerv(GL_MINOR_VERSION, &iMinor);
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &iProfile);
    EXPECT_GE(iMajor * 10 + iMinor, 43) << device.GetContext().GetVersion();
    EXPECT_TRUE(iProfile & GL_CONTEXT_CORE_PROFILE_BIT);
    EXPECT_EQ(device.GetContext().GetVersion(), reinterpret_cast<const char*>(glGetString(GL_VERSION)));

    // Extension queries go through the context's extension list.
    EXPECT_TRUE(device.HasExtension("GL_ARB_compute_shader"));
    EXPECT_FALSE(device.HasExtension("GL_ARB_compute"));
    EXPECT_FALSE(device.HasExtension(""));
}

TEST(GLContext, RunsAComputeDispatchOverAPartialTile)
{
    OndoTest::TestDevice();
    // 17 x 16 texels need two groups of 16 x 16 across; the invocations that
    // fall outside the image must leave nothing behind.
    const int iWidth = 17, iHeight = 16;
    GLuint uiTexture = 0;
    glGenTextures(1, &uiTexture);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_R32F, iWidth, iHeight);

    const GLuint uiProgram = OndoTest::Link({{GL_COMPUTE_SHADER, R"(#version 430
layout(local_size_x = 16, local_size_y = 16) in;
layout(r32f, binding = 2) writeonly uniform image2D imgOut;
uniform float fScale;
void main() {
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgOut)))) return;
    imageStore(imgOut, p, vec4(fScale * float(p.x + 100 * p.y)));
})"}});
    glUseProgram(uiProgram);
    glUniform1f(glGetUniformLocation(uiProgram, "fScale"), 0.5f);
    glBindImageTexture(2, uiTexture, 0, GL_FALSE, 0, GL_WRITE_ONLY, GL_R32F);
    glDispatchCompute((iWidth + 15) / 16, (iHeight + 15) / 16, 1);
    glMemoryBarrier(GL_TEXTURE_UPDATE_BARRIER_BIT);
    glUseProgram(0);

    std::vector<float> texels(static_cast<std::size_t>(iWidth * iHeight), -1.0f);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_FLOAT, texels.data());
    for (int y = 0; y < iHeight; ++y)
        for (int x = 0; x < iWidth; ++x)
            ASSERT_FLOAT_EQ(texels[static_cast<std::size_t>(y * iWidth + x)], 0.5f * static_cast<float>(x + 100 * y))
                << "texel " << x << "," << y;

    glDeleteProgram(uiProgram);
    glDeleteTextures(1, &uiTexture);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(GLContext, NamesEveryAttemptWhenNoContextCanBeMade)
{
    OndoTest::TestDevice();
    setenv("ONDO_GL_PLATFORM", "no-such-platform", 1);
    const std::string strMessage = OndoTest::Thrown([] { Ondo::OpenGL::Context::CreateHeadless(); });
    unsetenv("ONDO_GL_PLATFORM");
    EXPECT_EQ(strMessage.rfind("Could not create a headless OpenGL 4.3 core context:", 0), 0u) << strMessage;
    EXPECT_NE(strMessage.find("ONDO_GL_PLATFORM=\"no-such-platform\""), std::string::npos) << strMessage;
    // The test device is untouched by the failed attempt.
    OndoTest::TestDevice().MakeCurrent();
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
}
