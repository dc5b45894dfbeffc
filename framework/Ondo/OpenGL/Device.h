#pragma once

#include <memory>
#include <string>

namespace Ondo::OpenGL {

// An OpenGL 4.3 core context without a window, current on one thread at a
// time. Entry points are loaded through GLEW when the first context is made.
class Context {
public:
    // Makes a headless context and makes it current on the calling thread.
    // Tries, in this order: the EGL devices of hardware drivers (a GPU), then
    // Mesa's surfaceless platform (llvmpipe on machines without a GPU). The
    // environment variable ONDO_GL_PLATFORM set to "device" or "surfaceless"
    // keeps to one of them. Throws std::runtime_error listing what each
    // attempt answered when no context could be made.
    static std::unique_ptr<Context> CreateHeadless();

    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context();

    void MakeCurrent();
    bool IsCurrent() const;
    // Releases the context from the calling thread.
    void DoneCurrent();

    // How the context was made, e.g. "EGL surfaceless (Mesa Project)".
    const std::string& GetPlatformName() const;
    // GL_VERSION and GL_RENDERER of the context.
    const std::string& GetVersion() const;
    const std::string& GetRenderer() const;

    // Sets the swap interval through EGL; false when the platform refuses.
    bool SetSwapInterval(int iInterval);
    // Whether a swap interval can apply: EGL sets it on the surface bound to
    // the context, so a surfaceless context has no swap to control.
    bool HasSwapControl() const;

    // The platform side, opaque here.
    struct Impl;

private:
    explicit Context(std::unique_ptr<Impl> pImpl);
    std::unique_ptr<Impl> m_pImpl;
};

// The render device that hosts graphs: one context and what it offers.
class Device {
public:
    explicit Device(std::unique_ptr<Context> pContext);
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device();

    Context& GetContext() const { return *m_pContext; }
    void MakeCurrent() { m_pContext->MakeCurrent(); }
    // True when the device's context offers the GL extension.
    bool HasExtension(const std::string& strName) const;

private:
    std::unique_ptr<Context> m_pContext;
};

// True when the context current on the calling thread offers the GL extension.
bool HasExtension(const std::string& strName);

} // namespace Ondo::OpenGL
