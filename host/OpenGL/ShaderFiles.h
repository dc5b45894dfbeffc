#pragma once

#include <GL/glew.h>

#include <functional>
#include <string>

namespace Ondo::OpenGL {

// Which shader files the compiler reads, and for whom: a program that
// reloads shaders when their files change learns here which filters to
// rebuild and how each file was compiled.
struct ShaderFileUse {
    // The item whose code compiled the file (see ShaderUser); null when
    // nobody was named.
    const void* m_pUser = nullptr;
    GLenum m_eStage = 0;
    std::wstring m_strPath;
    // The text inserted after the #version line (defines, usually).
    std::wstring m_strExtra;
};

// Called for every shader file ShaderCompiler::Create reads, on the thread
// that compiles it; an empty function (the default) turns the reports off.
void SetShaderFileListener(std::function<void(const ShaderFileUse&)> fnListener);

// Names the item on whose behalf shaders are compiled while it lives, on the
// calling thread. Scopes nest (a control-flow filter runs the items of its
// scope): the innermost one counts.
class ShaderUser {
public:
    explicit ShaderUser(const void* pUser);
    ~ShaderUser();
    ShaderUser(const ShaderUser&) = delete;
    ShaderUser& operator=(const ShaderUser&) = delete;

    static const void* GetCurrent();

private:
    const void* m_pPrevious;
};

// Reports a file read to the listener (the shader compiler calls this).
void ReportShaderFile(GLenum eStage, const std::wstring& strPath, const std::wstring& strExtra);

} // namespace Ondo::OpenGL
