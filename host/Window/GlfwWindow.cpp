#include "host/Window/GlfwWindow.h"

#include <GL/glew.h>

#include <GLFW/glfw3.h>

namespace Ondo::Host {

namespace {

// GLFW reports errors through a callback; the last one explains a failed call.
std::string s_strLastError;

void RememberError(int /*iCode*/, const char* szDescription) { s_strLastError = szDescription ? szDescription : ""; }

std::string TakeLastError()
{
    std::string strError = s_strLastError.empty() ? std::string("no reason given") : s_strLastError;
    s_strLastError.clear();
    return strError;
}

// The window's context as the engine sees it.
class GlfwPlatform : public OpenGL::ContextPlatform {
public:
    explicit GlfwPlatform(GLFWwindow* pWindow) : m_pWindow(pWindow) {}

    void MakeCurrent() override
    {
        if (!IsCurrent()) glfwMakeContextCurrent(m_pWindow);
    }
    bool IsCurrent() const override { return glfwGetCurrentContext() == m_pWindow; }
    void DoneCurrent() override
    {
        if (IsCurrent()) glfwMakeContextCurrent(nullptr);
    }
    // GLFW sets the interval through whichever swap-control extension the
    // platform has, and gives no answer; without one the call does nothing.
    bool SetSwapInterval(int iInterval) override
    {
        MakeCurrent();
        if (!HasSwapControl()) return false;
        glfwSwapInterval(iInterval);
        return true;
    }
    bool HasSwapControl() const override
    {
        return glfwExtensionSupported("GLX_EXT_swap_control") || glfwExtensionSupported("GLX_MESA_swap_control") ||
               glfwExtensionSupported("GLX_SGI_swap_control");
    }
    std::string GetName() const override { return std::string("GLFW window (GLFW ") + glfwGetVersionString() + ")"; }

private:
    GLFWwindow* m_pWindow;
};

} // namespace

GlfwWindow::GlfwWindow(const std::string& strTitle, int iWidth, int iHeight)
{
    glfwSetErrorCallback(RememberError);
    // Set up once and left up for the life of the process, as a headless
    // context leaves its EGL display: closing the X connection makes Mesa
    // unload its GL driver, and what the driver allocated can then no longer
    // be told apart from leaks of our own (a leak checker sees it as memory
    // of an unknown module). glfwInit does nothing once GLFW is up.
    if (!glfwInit()) throw NoDisplayError("no display to open a window on (" + TakeLastError() + ")");
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    m_pWindow = glfwCreateWindow(iWidth, iHeight, strTitle.c_str(), nullptr, nullptr);
    if (!m_pWindow) {
        throw std::runtime_error("Could not open a window with an OpenGL 4.3 core context: " + TakeLastError());
    }
    glfwMakeContextCurrent(m_pWindow);
}

GlfwWindow::~GlfwWindow() { glfwDestroyWindow(m_pWindow); }

std::unique_ptr<OpenGL::Context> GlfwWindow::CreateContext()
{
    glfwMakeContextCurrent(m_pWindow);
    return OpenGL::Context::Adopt(std::make_unique<GlfwPlatform>(m_pWindow));
}

bool GlfwWindow::ShouldClose() const { return glfwWindowShouldClose(m_pWindow) != 0; }

void GlfwWindow::SetTitle(const std::string& strTitle) { glfwSetWindowTitle(m_pWindow, strTitle.c_str()); }

void GlfwWindow::PollEvents() { glfwPollEvents(); }

void GlfwWindow::SwapBuffers() { glfwSwapBuffers(m_pWindow); }

Vector2i GlfwWindow::GetFramebufferSize() const
{
    int iWidth = 0, iHeight = 0;
    glfwGetFramebufferSize(m_pWindow, &iWidth, &iHeight);
    return Vector2i(iWidth, iHeight);
}

} // namespace Ondo::Host
