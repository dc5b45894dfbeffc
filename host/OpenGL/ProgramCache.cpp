#include "Ondo/OpenGL/Device.h"
#include "Ondo/OpenGL/ShaderCompiler.h"

#include "host/OpenGL/ProgramCache.h"
#include "host/OpenGL/ShaderFiles.h"

#include "Ondo/File.h"
#include "Ondo/StringConversion.h"

#include <map>
#include <stdexcept>
#include <unordered_map>

namespace Ondo::OpenGL {

namespace {

struct Shared {
    GLuint m_uiProgram = 0;
    std::size_t m_uiUsers = 0;
};

// The shared programs of one context, by their full text (stage types, file
// names, sources, inserted text), and the way back from a program's name.
struct ContextPrograms {
    std::unordered_map<std::string, Shared> m_ByText;
    std::unordered_map<GLuint, std::string> m_TextOf;
};

// Keyed by context: program names are only unique within one. All of this
// runs on the thread whose context is current, as every GL call does.
std::map<const Context*, ContextPrograms>& Programs()
{
    static std::map<const Context*, ContextPrograms> s_Programs;
    return s_Programs;
}

bool Linked(GLuint uiProgram)
{
    GLint iLinked = GL_FALSE;
    glGetProgramiv(uiProgram, GL_LINK_STATUS, &iLinked);
    return iLinked == GL_TRUE;
}

// Links the compiled stages into a program and reports failures as the
// compiler and CheckProgram do; shares it under the key when all went well.
GLuint Link(ShaderCompiler& compiler, const std::vector<GLuint>& shaders, const std::string& strKey)
{
    const bool bCompiled = compiler.Check();
    const GLuint uiProgram = glCreateProgram();
    for (const GLuint uiShader : shaders) {
        if (uiShader == 0) continue;
        glAttachShader(uiProgram, uiShader);
        // The program keeps the shader alive while it is attached.
        glDeleteShader(uiShader);
    }
    glLinkProgram(uiProgram);
    CheckProgram(uiProgram, nullptr);
    const Context* pContext = Context::GetCurrent();
    if (bCompiled && !strKey.empty() && pContext && Linked(uiProgram)) {
        ContextPrograms& programs = Programs()[pContext];
        programs.m_ByText[strKey] = {uiProgram, 1};
        programs.m_TextOf[uiProgram] = strKey;
    }
    return uiProgram;
}

// The program shared under the key, with one more user; 0 when none is.
GLuint Reuse(const std::string& strKey)
{
    const auto itContext = Programs().find(Context::GetCurrent());
    if (itContext == Programs().end()) return 0;
    const auto it = itContext->second.m_ByText.find(strKey);
    if (it == itContext->second.m_ByText.end()) return 0;
    ++it->second.m_uiUsers;
    return it->second.m_uiProgram;
}

void AppendPart(std::string& strKey, const std::string& strPart)
{
    strKey += std::to_string(strPart.size());
    strKey += ':';
    strKey += strPart;
}

} // namespace

GLuint AcquireProgram(const std::vector<ProgramStage>& stages, const std::wstring& strExtra)
{
    std::string strExtraText;
    bool bReadable = true;
    try {
        strExtraText = WideToUtf8(strExtra);
    } catch (const std::range_error&) {
        bReadable = false;
    }
    std::vector<std::string> sources;
    std::string strKey;
    for (const ProgramStage& stage : stages) {
        File file;
        try {
            file.Load(stage.m_strPath);
            AppendPart(strKey, std::to_string(stage.m_eType));
            AppendPart(strKey, WideToUtf8(stage.m_strPath));
        } catch (const std::runtime_error&) {
            bReadable = false;
            break;
        }
        sources.emplace_back(file.GetData(), file.GetSize());
        AppendPart(strKey, sources.back());
    }
    // A file that cannot be read, or text that is no UTF-8, is left to the
    // compiler, which reports it; such a program is never shared.
    ShaderCompiler compiler(nullptr);
    std::vector<GLuint> shaders;
    if (!bReadable) {
        for (const ProgramStage& stage : stages) shaders.push_back(compiler.Create(stage.m_eType, stage.m_strPath, strExtra));
        return Link(compiler, shaders, std::string());
    }
    AppendPart(strKey, strExtraText);
    for (const ProgramStage& stage : stages) ReportShaderFile(stage.m_eType, stage.m_strPath, strExtra);
    if (const GLuint uiShared = Reuse(strKey)) return uiShared;
    for (std::size_t i = 0; i < stages.size(); ++i)
        shaders.push_back(compiler.CreateFromMemory(stages[i].m_eType, InsertAfterVersion(sources[i], strExtraText),
                                                    stages[i].m_strPath));
    return Link(compiler, shaders, strKey);
}

GLuint AcquireProgramFromText(const std::vector<ProgramText>& stages)
{
    std::string strKey = "text";
    for (const ProgramText& stage : stages) {
        AppendPart(strKey, std::to_string(stage.m_eType));
        AppendPart(strKey, stage.m_strSource);
    }
    if (const GLuint uiShared = Reuse(strKey)) return uiShared;
    ShaderCompiler compiler(nullptr);
    std::vector<GLuint> shaders;
    for (const ProgramText& stage : stages)
        shaders.push_back(compiler.CreateFromMemory(stage.m_eType, stage.m_strSource, std::wstring()));
    return Link(compiler, shaders, strKey);
}

void ReleaseProgram(GLuint uiProgram)
{
    if (uiProgram == 0) return;
    const auto itContext = Programs().find(Context::GetCurrent());
    if (itContext != Programs().end()) {
        ContextPrograms& programs = itContext->second;
        const auto itText = programs.m_TextOf.find(uiProgram);
        if (itText != programs.m_TextOf.end()) {
            const auto itShared = programs.m_ByText.find(itText->second);
            if (--itShared->second.m_uiUsers > 0) return;
            programs.m_ByText.erase(itShared);
            programs.m_TextOf.erase(itText);
            if (programs.m_TextOf.empty()) Programs().erase(itContext);
        }
    }
    glDeleteProgram(uiProgram);
}

void ForgetSharedPrograms(const Context* pContext) { Programs().erase(pContext); }

std::size_t GetNumberOfSharedPrograms()
{
    const auto it = Programs().find(Context::GetCurrent());
    return it == Programs().end() ? 0 : it->second.m_ByText.size();
}

std::size_t GetNumberOfProgramUsers()
{
    const auto it = Programs().find(Context::GetCurrent());
    if (it == Programs().end()) return 0;
    std::size_t uiUsers = 0;
    for (const auto& entry : it->second.m_ByText) uiUsers += entry.second.m_uiUsers;
    return uiUsers;
}

} // namespace Ondo::OpenGL
