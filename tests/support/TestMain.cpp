#include "support/GLTestEnvironment.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <iostream>

namespace {

// Every test leaves the shared context without a pending GL error: an error
// left behind would fail whichever test checks glGetError next, far from its
// cause. The test that left one is named and the run fails.
class GLErrorCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        if (!OndoTest::HasTestDevice()) return;
        OndoTest::TestDevice();
        for (GLenum eError = glGetError(); eError != GL_NO_ERROR; eError = glGetError()) {
            std::cerr << "[  GL ERROR] " << test.test_suite_name() << "." << test.name() << " left GL error 0x"
                      << std::hex << eError << std::dec << "\n";
            m_bFailed = true;
        }
    }
    bool m_bFailed = false;
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new OndoTest::GLTestEnvironment);
    auto* pCheck = new GLErrorCheck;
    ::testing::UnitTest::GetInstance()->listeners().Append(pCheck);
    const int iResult = RUN_ALL_TESTS();
    return iResult != 0 || pCheck->m_bFailed ? 1 : 0;
}
