#include "support/GLTestEnvironment.h"

#include <memory>

namespace OndoTest {

namespace {
std::unique_ptr<Ondo::OpenGL::Device> s_pDevice;
}

Ondo::OpenGL::Device& TestDevice()
{
    if (!s_pDevice) s_pDevice = std::make_unique<Ondo::OpenGL::Device>(Ondo::OpenGL::Context::CreateHeadless());
    s_pDevice->MakeCurrent();
    return *s_pDevice;
}

bool HasTestDevice() { return s_pDevice != nullptr; }

void GLTestEnvironment::TearDown() { s_pDevice.reset(); }

} // namespace OndoTest
