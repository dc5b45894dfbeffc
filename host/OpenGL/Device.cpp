#include "Ondo/OpenGL/Device.h"

#include "host/OpenGL/ProgramCache.h"

#include <GL/glew.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace Ondo::OpenGL {

namespace {

bool HasWord(const char* szList, const char* szWord)
{
    if (!szList) return false;
    const std::size_t uiLength = std::strlen(szWord);
    for (const char* p = szList; (p = std::strstr(p, szWord)) != nullptr; p += uiLength) {
        const bool bStarts = p == szList || p[-1] == ' ';
        const bool bEnds = p[uiLength] == ' ' || p[uiLength] == '\0';
        if (bStarts && bEnds) return true;
    }
    return false;
}

std::string ErrorName(EGLint iError)
{
    switch (iError) {
    case EGL_SUCCESS: return "EGL_SUCCESS";
    case EGL_NOT_INITIALIZED: return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS: return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC: return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE: return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG: return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT: return "EGL_BAD_CONTEXT";
    case EGL_BAD_DISPLAY: return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH: return "EGL_BAD_MATCH";
    case EGL_BAD_PARAMETER: return "EGL_BAD_PARAMETER";
    case EGL_BAD_SURFACE: return "EGL_BAD_SURFACE";
    default: {
        std::ostringstream stream;
        stream << "EGL error 0x" << std::hex << iError;
        return stream.str();
    }
    }
}

struct Attempt {
    EGLDisplay display = EGL_NO_DISPLAY;
    std::string strName;
};

// The headless platform: an EGL context, with a 1x1 off-screen surface where
// the display cannot make a context current without one.
class EGLPlatform : public ContextPlatform {
public:
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
    std::string strName;

    ~EGLPlatform() override
    {
        if (context == EGL_NO_CONTEXT) return;
        if (eglGetCurrentContext() == context) eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        eglDestroyContext(display, context);
        // The display is left initialised: EGL hands every caller the same
        // display for a platform, and other contexts may still live on it.
    }

    void MakeCurrent() override
    {
        if (eglGetCurrentContext() == context) return;
        if (!eglMakeCurrent(display, surface, surface, context))
            throw std::runtime_error("Could not make the OpenGL context current (" + ErrorName(eglGetError()) + ")");
    }
    bool IsCurrent() const override { return eglGetCurrentContext() == context; }
    void DoneCurrent() override
    {
        if (IsCurrent()) eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    bool SetSwapInterval(int iInterval) override
    {
        MakeCurrent();
        return eglSwapInterval(display, iInterval) == EGL_TRUE;
    }
    bool HasSwapControl() const override { return surface != EGL_NO_SURFACE; }
    std::string GetName() const override { return strName; }
};

} // namespace

struct Context::Impl {
    std::unique_ptr<ContextPlatform> pPlatform;
    std::string strPlatform;
    std::string strVersion;
    std::string strRenderer;
};

namespace {

// Makes a 4.3 core context on an initialised display and makes it current.
// Returns an empty string on success, or why it failed.
std::string MakeContext(EGLDisplay display, EGLPlatform& platform)
{
    if (!eglBindAPI(EGL_OPENGL_API)) return "desktop OpenGL is not offered (" + ErrorName(eglGetError()) + ")";

    const char* szExtensions = eglQueryString(display, EGL_EXTENSIONS);
    const bool bNoConfig = HasWord(szExtensions, "EGL_KHR_no_config_context") ||
                           HasWord(szExtensions, "EGL_MESA_configless_context");
    const bool bSurfaceless = HasWord(szExtensions, "EGL_KHR_surfaceless_context");

    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!bNoConfig || !bSurfaceless) {
        const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                           EGL_NONE};
        EGLint iCount = 0;
        if (!eglChooseConfig(display, configAttributes, &config, 1, &iCount) || iCount < 1)
            return "no OpenGL configuration with off-screen buffers";
    }

    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        4,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) return "no OpenGL 4.3 core context (" + ErrorName(eglGetError()) + ")";

    EGLSurface surface = EGL_NO_SURFACE;
    if (!bSurfaceless) {
        const EGLint surfaceAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
        if (surface == EGL_NO_SURFACE) {
            const std::string strError = ErrorName(eglGetError());
            eglDestroyContext(display, context);
            return "no off-screen surface (" + strError + ")";
        }
    }
    if (!eglMakeCurrent(display, surface, surface, context)) {
        const std::string strError = ErrorName(eglGetError());
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        eglDestroyContext(display, context);
        return "the context could not be made current (" + strError + ")";
    }
    platform.display = display;
    platform.context = context;
    platform.surface = surface;
    return {};
}

// GLEW keeps one set of entry points for the process; under EGL, glewInit
// loads them all and then reports GLEW_ERROR_NO_GLX_DISPLAY because there is
// no GLX display, which is harmless once the context answers.
void LoadEntryPoints()
{
    static bool s_bLoaded = false;
    if (s_bLoaded) return;
    glewExperimental = GL_TRUE;
    const GLenum eResult = glewInit();
    if (eResult != GLEW_OK && !(eResult == GLEW_ERROR_NO_GLX_DISPLAY && glGetString(GL_VERSION) != nullptr))
        throw std::runtime_error(std::string("Could not load the OpenGL entry points: ") +
                                 reinterpret_cast<const char*>(glewGetErrorString(eResult)));
    if (!glDispatchCompute || !glGenQueries || !glBindImageTexture)
        throw std::runtime_error("Could not load the OpenGL entry points: OpenGL 4.3 functions are missing");
    s_bLoaded = true;
}

std::vector<Attempt> CollectDisplays(std::vector<std::string>& failures)
{
    const char* szClient = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto fnGetPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!fnGetPlatformDisplay) {
        failures.push_back("EGL offers no platform displays (eglGetPlatformDisplayEXT)");
        return {};
    }

    const char* szChoice = std::getenv("ONDO_GL_PLATFORM");
    const std::string strChoice = szChoice ? szChoice : "";
    const bool bDevices = strChoice.empty() || strChoice == "device";
    const bool bSurfaceless = strChoice.empty() || strChoice == "surfaceless";
    if (!bDevices && !bSurfaceless)
        failures.push_back("ONDO_GL_PLATFORM=\"" + strChoice + "\" names no platform (use device or surfaceless)");

    std::vector<Attempt> attempts;
    if (bDevices) {
        auto fnQueryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        auto fnQueryDeviceString =
            reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
        if (HasWord(szClient, "EGL_EXT_platform_device") && fnQueryDevices && fnQueryDeviceString) {
            EGLDeviceEXT devices[16];
            EGLint iCount = 0;
            if (fnQueryDevices(16, devices, &iCount)) {
                for (EGLint i = 0; i < iCount; ++i) {
                    // Software devices are Mesa's llvmpipe, which the
                    // surfaceless platform offers as well.
                    if (HasWord(fnQueryDeviceString(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software"))
                        continue;
                    Attempt attempt;
                    attempt.display = fnGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                    attempt.strName = "EGL device " + std::to_string(i);
                    attempts.push_back(attempt);
                }
            }
        } else if (strChoice == "device") {
            failures.push_back("EGL offers no device enumeration");
        }
    }
    if (bSurfaceless) {
        if (HasWord(szClient, "EGL_MESA_platform_surfaceless")) {
            Attempt attempt;
            attempt.display = fnGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            attempt.strName = "EGL surfaceless";
            attempts.push_back(attempt);
        } else {
            failures.push_back("EGL surfaceless: the platform is not offered");
        }
    }
    return attempts;
}

// The context this thread made current through Context, so that making it
// current again (once per filter run) costs a comparison, not a query of the
// platform, which is a system call in some GL dispatchers. Contexts are made
// current through Context only; one switched by other means must be made
// current through it again before the engine runs.
thread_local Context* t_pCurrent = nullptr;

} // namespace

std::unique_ptr<Context> Context::CreateHeadless()
{
    // The attempts below make their contexts current as they go.
    t_pCurrent = nullptr;
    std::vector<std::string> failures;
    for (const Attempt& attempt : CollectDisplays(failures)) {
        if (attempt.display == EGL_NO_DISPLAY) {
            failures.push_back(attempt.strName + ": no display (" + ErrorName(eglGetError()) + ")");
            continue;
        }
        EGLint iMajor = 0, iMinor = 0;
        if (!eglInitialize(attempt.display, &iMajor, &iMinor)) {
            failures.push_back(attempt.strName + ": " + ErrorName(eglGetError()) + " on initialisation");
            continue;
        }
        auto pPlatform = std::make_unique<EGLPlatform>();
        const std::string strFailure = MakeContext(attempt.display, *pPlatform);
        if (!strFailure.empty()) {
            failures.push_back(attempt.strName + ": " + strFailure);
            continue;
        }
        const char* szVendor = eglQueryString(attempt.display, EGL_VENDOR);
        pPlatform->strName = attempt.strName + " (" + (szVendor ? szVendor : "unknown vendor") + ")";
        return Adopt(std::move(pPlatform));
    }

    std::string strMessage = "Could not create a headless OpenGL 4.3 core context:";
    if (failures.empty()) failures.push_back("EGL offers no display to try");
    for (const std::string& strFailure : failures) strMessage += "\n  - " + strFailure;
    throw std::runtime_error(strMessage);
}

std::unique_ptr<Context> Context::Adopt(std::unique_ptr<ContextPlatform> pPlatform)
{
    if (!pPlatform) throw std::runtime_error("No platform context to adopt");
    // Whichever context this thread had is not current any more.
    t_pCurrent = nullptr;
    if (!pPlatform->IsCurrent())
        throw std::runtime_error("The context of " + pPlatform->GetName() + " is not current on this thread");
    const char* szVersion = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int iMajor = 0, iMinor = 0;
    if (!szVersion || std::sscanf(szVersion, "%d.%d", &iMajor, &iMinor) != 2 || iMajor * 10 + iMinor < 43)
        throw std::runtime_error(pPlatform->GetName() + " offers OpenGL " + (szVersion ? szVersion : "(no version)") +
                                 ", not 4.3 or later");
    LoadEntryPoints();
    // Core profiles have no vertex array object 0; one bound for the life
    // of the context lets attribute bindings and draws work as they do on
    // a compatibility context.
    GLuint uiVertexArray = 0;
    glGenVertexArrays(1, &uiVertexArray);
    glBindVertexArray(uiVertexArray);
    auto pImpl = std::make_unique<Impl>();
    pImpl->strPlatform = pPlatform->GetName();
    pImpl->strVersion = szVersion;
    pImpl->strRenderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    pImpl->pPlatform = std::move(pPlatform);
    std::unique_ptr<Context> pContext(new Context(std::move(pImpl)));
    t_pCurrent = pContext.get();
    return pContext;
}

Context::Context(std::unique_ptr<Impl> pImpl) : m_pImpl(std::move(pImpl)) {}

// A context that goes takes its programs with it; the thread forgets it.
Context::~Context()
{
    ForgetSharedPrograms(this);
    if (t_pCurrent == this) t_pCurrent = nullptr;
}

void Context::MakeCurrent()
{
    if (t_pCurrent == this) return;
    m_pImpl->pPlatform->MakeCurrent();
    t_pCurrent = this;
}

Context* Context::GetCurrent() { return t_pCurrent; }

bool Context::IsCurrent() const { return m_pImpl->pPlatform->IsCurrent(); }

void Context::DoneCurrent()
{
    m_pImpl->pPlatform->DoneCurrent();
    if (t_pCurrent == this) t_pCurrent = nullptr;
}

const std::string& Context::GetPlatformName() const { return m_pImpl->strPlatform; }

const std::string& Context::GetVersion() const { return m_pImpl->strVersion; }

const std::string& Context::GetRenderer() const { return m_pImpl->strRenderer; }

bool Context::SetSwapInterval(int iInterval) { return m_pImpl->pPlatform->SetSwapInterval(iInterval); }

bool Context::HasSwapControl() const { return m_pImpl->pPlatform->HasSwapControl(); }

Device::Device(std::unique_ptr<Context> pContext) : m_pContext(std::move(pContext))
{
    if (!m_pContext) throw std::runtime_error("A render device needs an OpenGL context");
}

Device::~Device() = default;

bool Device::HasExtension(const std::string& strName) const
{
    m_pContext->MakeCurrent();
    return OpenGL::HasExtension(strName);
}

bool HasExtension(const std::string& strName)
{
    GLint iCount = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &iCount);
    for (GLint i = 0; i < iCount; ++i) {
        const GLubyte* szExtension = glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i));
        if (szExtension && strName == reinterpret_cast<const char*>(szExtension)) return true;
    }
    return false;
}

} // namespace Ondo::OpenGL
