#pragma once

#include <memory>
#include <string>

namespace Ondo::OpenGL {

// What binds a context to a thread and to the surface it draws on. The engine
// makes the headless kind itself (EGL); a program that owns a window hands
// the window's context in through Context::Adopt.
class ContextPlatform {
public:
    virtual ~ContextPlatform() = default;
    virtual void MakeCurrent() = 0;
    virtual bool IsCurrent() const = 0;
    virtual void DoneCurrent() = 0;
    // False when the platform refuses the interval.
    virtual bool SetSwapInterval(int iInterval) = 0;
    virtual bool HasSwapControl() const = 0;
    // How the context was made, e.g. "EGL surfaceless (Mesa Project)".
    virtual std::string GetName() const = 0;
};

// An OpenGL 4.3 core context, current on one thread at a time: a headless
// one, or one a window drew up. Filters see no difference between the two.
// Entry points are loaded through GLEW when the first context is made.
class Context {
public:
    // Makes a headless context and makes it current on the calling thread.
    // Tries, in this order: the EGL devices of hardware drivers (a GPU), then
    // Mesa's surfaceless platform (llvmpipe on machines without a GPU). The
    // environment variable ONDO_GL_PLATFORM set to "device" or "surfaceless"
    // keeps to one of them. Throws std::runtime_error listing what each
    // attempt answered when no context could be made.
    static std::unique_ptr<Context> CreateHeadless();
    // Takes over a context that another platform made (a window's), which
    // must be current on the calling thread, and prepares it as the headless
    // one is prepared. Throws std::runtime_error when it offers no OpenGL 4.3.
    static std::unique_ptr<Context> Adopt(std::unique_ptr<ContextPlatform> pPlatform);

    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context();

    void MakeCurrent();
    bool IsCurrent() const;
    // Releases the context from the calling thread.
    void DoneCurrent();
    // The context made current on the calling thread through this class (by
    // MakeCurrent, CreateHeadless or Adopt), or null.
    static Context* GetCurrent();

    // How the context was made, e.g. "EGL surfaceless (Mesa Project)".
    const std::string& GetPlatformName() const;
    // GL_VERSION and GL_RENDERER of the context.
    const std::string& GetVersion() const;
    const std::string& GetRenderer() const;

    // Sets the swap interval through the platform; false when it refuses.
    bool SetSwapInterval(int iInterval);
    // Whether a swap interval can apply: EGL sets it on the surface bound to
    // the context, so a surfaceless context has no swap to control; a
    // window's context has.
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
