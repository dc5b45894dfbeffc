#include "Ondo/OpenGL/ShaderCompiler.h"

#include "host/OpenGL/ShaderFiles.h"

#include "Ondo/Exceptions.h"
#include "Ondo/File.h"
#include "Ondo/Logger.h"
#include "Ondo/StringConversion.h"

#include <iostream>
#include <sstream>

namespace Ondo::OpenGL {

namespace {

LoggerInterface* s_pDiagnosticsLogger = nullptr;

LoggerInterface& Target(LoggerInterface* pLogger) { return pLogger ? *pLogger : GetDiagnosticsLogger(); }

std::string Narrow(const std::wstring& strWide)
{
    try {
        return WideToUtf8(strWide);
    } catch (const std::range_error&) {
        return "(unprintable name)";
    }
}

const char* StageName(GLenum eType)
{
    switch (eType) {
    case GL_VERTEX_SHADER: return "vertex";
    case GL_FRAGMENT_SHADER: return "fragment";
    case GL_GEOMETRY_SHADER: return "geometry";
    case GL_COMPUTE_SHADER: return "compute";
    case GL_TESS_CONTROL_SHADER: return "tessellation control";
    case GL_TESS_EVALUATION_SHADER: return "tessellation evaluation";
    default: return "unknown";
    }
}

std::string InfoLog(GLuint uiObject, bool bProgram)
{
    GLint iLength = 0;
    if (bProgram)
        glGetProgramiv(uiObject, GL_INFO_LOG_LENGTH, &iLength);
    else
        glGetShaderiv(uiObject, GL_INFO_LOG_LENGTH, &iLength);
    if (iLength <= 1) return {};
    std::string strLog(static_cast<std::size_t>(iLength), '\0');
    if (bProgram)
        glGetProgramInfoLog(uiObject, iLength, nullptr, &strLog[0]);
    else
        glGetShaderInfoLog(uiObject, iLength, nullptr, &strLog[0]);
    strLog.resize(strLog.find('\0') == std::string::npos ? strLog.size() : strLog.find('\0'));
    return strLog;
}

} // namespace

void SetDiagnosticsLogger(LoggerInterface* pLogger) { s_pDiagnosticsLogger = pLogger; }

LoggerInterface& GetDiagnosticsLogger()
{
    static StreamLogger s_StandardError(std::cerr);
    return s_pDiagnosticsLogger ? *s_pDiagnosticsLogger : s_StandardError;
}

std::string InsertAfterVersion(const std::string& strSource, const std::string& strExtra)
{
    if (strExtra.empty()) return strSource;
    std::string strInsert = strExtra;
    if (strInsert.back() != '\n') strInsert += '\n';

    const std::size_t uiVersion = strSource.find("#version");
    if (uiVersion == std::string::npos) return strInsert + "#line 1\n" + strSource;
    const std::size_t uiLineEnd = strSource.find('\n', uiVersion);
    if (uiLineEnd == std::string::npos) return strSource + "\n" + strInsert;
    // Line numbers in compiler messages keep pointing into the file.
    std::size_t uiNextLine = 1;
    for (std::size_t i = 0; i <= uiLineEnd; ++i)
        if (strSource[i] == '\n') ++uiNextLine;
    return strSource.substr(0, uiLineEnd + 1) + strInsert + "#line " + std::to_string(uiNextLine) + "\n" +
           strSource.substr(uiLineEnd + 1);
}

ShaderCompiler::ShaderCompiler(LoggerInterface* pLogger) : m_pLogger(pLogger) {}

GLuint ShaderCompiler::Create(GLenum eType, const std::wstring& strPath, const std::wstring& strExtra)
{
    const std::string strName = Narrow(strPath);
    File file;
    try {
        file.Load(strPath);
    } catch (const std::runtime_error& error) {
        m_Failures.push_back(std::string("The ") + StageName(eType) + " shader could not be read: " + error.what());
        return 0;
    }
    ReportShaderFile(eType, strPath, strExtra);
    std::string strExtraText;
    try {
        strExtraText = WideToUtf8(strExtra);
    } catch (const std::range_error& error) {
        m_Failures.push_back("The extra text for " + strName + " is not valid: " + error.what());
    }
    return Compile(eType, InsertAfterVersion(std::string(file.GetData(), file.GetSize()), strExtraText), strName);
}

GLuint ShaderCompiler::CreateFromMemory(GLenum eType, const std::string& strSource, const std::wstring& strName)
{
    return Compile(eType, strSource, strName.empty() ? std::string("(shader text)") : Narrow(strName));
}

GLuint ShaderCompiler::Compile(GLenum eType, const std::string& strSource, const std::string& strName)
{
    const GLuint uiShader = glCreateShader(eType);
    if (uiShader == 0) {
        m_Failures.push_back(std::string("No ") + StageName(eType) + " shader object could be made for " + strName);
        return 0;
    }
    const char* szSource = strSource.c_str();
    glShaderSource(uiShader, 1, &szSource, nullptr);
    glCompileShader(uiShader);
    GLint iCompiled = GL_FALSE;
    glGetShaderiv(uiShader, GL_COMPILE_STATUS, &iCompiled);
    if (iCompiled != GL_TRUE)
        m_Failures.push_back(std::string("The ") + StageName(eType) + " shader " + strName +
                             " did not compile:\n" + InfoLog(uiShader, false));
    return uiShader;
}

bool ShaderCompiler::Check()
{
    for (const std::string& strFailure : m_Failures) Target(m_pLogger).Log(strFailure);
    const bool bAllCompiled = m_Failures.empty();
    m_Failures.clear();
    return bAllCompiled;
}

bool CheckProgram(GLuint uiProgram, LoggerInterface* pLogger)
{
    if (uiProgram == 0 || !glIsProgram(uiProgram)) {
        Target(pLogger).Log("Program " + std::to_string(uiProgram) + " is not a program object");
        return false;
    }
    GLint iLinked = GL_FALSE;
    glGetProgramiv(uiProgram, GL_LINK_STATUS, &iLinked);
    if (iLinked == GL_TRUE) return true;
    Target(pLogger).Log("Program " + std::to_string(uiProgram) + " did not link:\n" + InfoLog(uiProgram, true));
    return false;
}

bool CheckFrameBufferStatus(GLuint uiFramebuffer, LoggerInterface* pLogger)
{
    GLint iPrevious = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &iPrevious);
    glBindFramebuffer(GL_FRAMEBUFFER, uiFramebuffer);
    const GLenum eStatus = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(iPrevious));
    if (eStatus == GL_FRAMEBUFFER_COMPLETE) return true;

    const char* szStatus = "unknown status";
    switch (eStatus) {
    case GL_FRAMEBUFFER_UNDEFINED: szStatus = "GL_FRAMEBUFFER_UNDEFINED"; break;
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT: szStatus = "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT"; break;
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT: szStatus = "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT"; break;
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER: szStatus = "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER"; break;
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER: szStatus = "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER"; break;
    case GL_FRAMEBUFFER_UNSUPPORTED: szStatus = "GL_FRAMEBUFFER_UNSUPPORTED"; break;
    case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE: szStatus = "GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE"; break;
    case GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS: szStatus = "GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS"; break;
    default: break;
    }
    std::ostringstream stream;
    stream << "Framebuffer " << uiFramebuffer << " is incomplete: " << szStatus << " (0x" << std::hex << eStatus << ")";
    Target(pLogger).Log(stream.str());
    return false;
}

} // namespace Ondo::OpenGL
