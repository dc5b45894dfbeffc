#pragma once

#include "Ondo/OpenGL/Device.h"
#include "Ondo/Vector.h"

#include <memory>
#include <stdexcept>
#include <string>

struct GLFWwindow;

namespace Ondo::Host {

// There is no display to open a window on (no X server, DISPLAY unset).
class NoDisplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A window with an OpenGL 4.3 core context, made with GLFW, used on the main
// thread. GLFW is set up with the first window and stays up until the
// process ends.
class GlfwWindow {
public:
    // Throws NoDisplayError when no display can be reached, and
    // std::runtime_error with GLFW's reason when the window or its context
    // cannot be made.
    GlfwWindow(const std::string& strTitle, int iWidth, int iHeight);
    GlfwWindow(const GlfwWindow&) = delete;
    GlfwWindow& operator=(const GlfwWindow&) = delete;
    ~GlfwWindow();

    GLFWwindow* GetHandle() const { return m_pWindow; }

    // The window's context as an engine context, current on the calling
    // thread: the render device of a graph shown in the window. It must be
    // destroyed before the window.
    std::unique_ptr<OpenGL::Context> CreateContext();

    bool ShouldClose() const;
    void SetTitle(const std::string& strTitle);
    void PollEvents();
    void SwapBuffers();
    // The size of the default framebuffer in pixels.
    Vector2i GetFramebufferSize() const;

private:
    GLFWwindow* m_pWindow = nullptr;
};

} // namespace Ondo::Host
