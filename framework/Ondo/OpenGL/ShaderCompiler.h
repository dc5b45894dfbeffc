#pragma once

#include <GL/glew.h>

#include <string>
#include <vector>

namespace Ondo {
class LoggerInterface;
}

namespace Ondo::OpenGL {

// Where the checks below report when they are given no logger. The engine
// points it at its own logger; by default messages go to standard error.
void SetDiagnosticsLogger(LoggerInterface* pLogger);
LoggerInterface& GetDiagnosticsLogger();

// Compiles shader objects from files or from text. The extra text given to
// Create is inserted after the source's #version line (defines, usually).
// Failures are collected, not thrown: Check() reports them.
class ShaderCompiler {
public:
    explicit ShaderCompiler(LoggerInterface* pLogger);
    ShaderCompiler(const ShaderCompiler&) = delete;
    ShaderCompiler& operator=(const ShaderCompiler&) = delete;

    // A compiled (or failed) shader object; 0 when the file cannot be read.
    // The caller owns the object.
    GLuint Create(GLenum eType, const std::wstring& strPath, const std::wstring& strExtra);
    GLuint CreateFromMemory(GLenum eType, const std::string& strSource, const std::wstring& strName);
    // True when every shader made so far compiled. Each failure (with the
    // compiler's log) goes to the logger, or to the diagnostics logger.
    bool Check();

private:
    GLuint Compile(GLenum eType, const std::string& strSource, const std::string& strName);

    LoggerInterface* m_pLogger;
    std::vector<std::string> m_Failures;
};

// True when the program linked; otherwise the link log is reported as above.
bool CheckProgram(GLuint uiProgram, LoggerInterface* pLogger);
// True when the framebuffer is complete; otherwise its status is reported.
bool CheckFrameBufferStatus(GLuint uiFramebuffer, LoggerInterface* pLogger);

// Inserts text after the #version line of a shader source (at the start when
// there is none), keeping line numbers of the rest intact with a #line.
std::string InsertAfterVersion(const std::string& strSource, const std::string& strExtra);

} // namespace Ondo::OpenGL
