#pragma once

#include <GL/glew.h>

#include <array>
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

namespace Ondo::OpenGL {

// Programs shared by every filter that builds the same shader text in the
// same context: linked once, counted, deleted when the last user releases
// it. A thousand instances of one filter then cost one compile, and the
// driver keeps one program hot instead of a thousand. Users share the
// program object, so a user sets every uniform it relies on before each
// use (the port hooker does for its uniforms); a filter that keeps uniform
// values in the program between runs asks for a program of its own.
//
// Each stage file is read (and reported to the shader-file listener) on every
// call, so the text of the file, not its name, decides what is shared: an
// edited file gives a new program. A program that did not compile or link is
// not shared; its failures are reported as ShaderCompiler and CheckProgram
// report them, and its name is returned all the same.
struct ProgramStage {
    GLenum m_eType;
    std::wstring m_strPath;
};
GLuint AcquireProgram(const std::vector<ProgramStage>& stages, const std::wstring& strExtra);
// The same for stages given as text (generated shaders).
struct ProgramText {
    GLenum m_eType;
    std::string m_strSource;
};
GLuint AcquireProgramFromText(const std::vector<ProgramText>& stages);
// Gives up one use of a program made by the two functions above, deleting it
// with its last user; any other program name is deleted at once.
void ReleaseProgram(GLuint uiProgram);
// How many shared programs the current context holds, and how many users
// they have in all.
std::size_t GetNumberOfSharedPrograms();
std::size_t GetNumberOfProgramUsers();

// The value a uniform of the default block had when its program was linked
// (the shader's initialiser, or zeros), as the 32-bit words of its
// components: floats, ints or unsigned ints by the uniform's type, up to a
// mat4. A shared program answers from what it recorded at link time, since
// its users may have set the uniform since; any other program answers with
// what it holds now. Types other than float, vec2-4, mat2-4, int, ivec2-4,
// uint, uvec2-4 and bool give zeros.
using UniformWords = std::array<GLuint, 16>;
UniformWords GetInitialUniform(GLuint uiProgram, GLint iLocation, GLenum eType);

} // namespace Ondo::OpenGL
