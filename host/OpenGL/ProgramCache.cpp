#include "Ondo/OpenGL/Device.h"
#include "Ondo/OpenGL/ShaderCompiler.h"

#include "host/OpenGL/ProgramCache.h"
#include "host/OpenGL/ShaderFiles.h"

#include "Ondo/File.h"
#include "Ondo/StringConversion.h"

#include <array>
#include <cstring>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace Ondo::OpenGL {

namespace {

struct Shared {
    GLuint m_uiProgram = 0;
    std::size_t m_uiUsers = 0;
};

// The shared programs of one context, by their full text (stage types, file
// names, sources, inserted text), the way back from a program's name, and
// the uniform values each program had when it was linked, by location.
struct ContextPrograms {
    std::unordered_map<std::string, Shared> m_ByText;
    std::unordered_map<GLuint, std::string> m_TextOf;
    std::unordered_map<GLuint, std::unordered_map<GLint, UniformWords>> m_Initial;
};

// Keyed by context: program names are only unique within one. All of this
// runs on the thread whose context is current, as every GL call does.
std::map<const Context*, ContextPrograms>& Programs()
{
    static std::map<const Context*, ContextPrograms> s_Programs;
    return s_Programs;
}

// How a uniform's components are read: 'f'loat, 'i'nt, 'u'nsigned or not
// at all (0), and how many there are.
std::pair<char, int> Components(GLenum eType)
{
    switch (eType) {
    case GL_FLOAT: return {'f', 1};
    case GL_FLOAT_VEC2: return {'f', 2};
    case GL_FLOAT_VEC3: return {'f', 3};
    case GL_FLOAT_VEC4: return {'f', 4};
    case GL_FLOAT_MAT2: return {'f', 4};
    case GL_FLOAT_MAT3: return {'f', 9};
    case GL_FLOAT_MAT4: return {'f', 16};
    case GL_INT:
    case GL_BOOL: return {'i', 1};
    case GL_INT_VEC2: return {'i', 2};
    case GL_INT_VEC3: return {'i', 3};
    case GL_INT_VEC4: return {'i', 4};
    case GL_UNSIGNED_INT: return {'u', 1};
    case GL_UNSIGNED_INT_VEC2: return {'u', 2};
    case GL_UNSIGNED_INT_VEC3: return {'u', 3};
    case GL_UNSIGNED_INT_VEC4: return {'u', 4};
    default: return {0, 0};
    }
}

UniformWords ReadUniform(GLuint uiProgram, GLint iLocation, GLenum eType)
{
    UniformWords words{};
    const auto [cKind, iCount] = Components(eType);
    if (iLocation < 0 || cKind == 0) return words;
    if (cKind == 'u') {
        glGetUniformuiv(uiProgram, iLocation, words.data());
    } else if (cKind == 'i') {
        std::array<GLint, 16> values{};
        glGetUniformiv(uiProgram, iLocation, values.data());
        std::memcpy(words.data(), values.data(), sizeof(GLint) * static_cast<std::size_t>(iCount));
    } else {
        std::array<GLfloat, 16> values{};
        glGetUniformfv(uiProgram, iLocation, values.data());
        std::memcpy(words.data(), values.data(), sizeof(GLfloat) * static_cast<std::size_t>(iCount));
    }
    return words;
}

// The values of every plain uniform of the default block of a program that
// nobody has used yet.
std::unordered_map<GLint, UniformWords> ReadInitialUniforms(GLuint uiProgram)
{
    std::unordered_map<GLint, UniformWords> values;
    GLint iCount = 0;
    glGetProgramInterfaceiv(uiProgram, GL_UNIFORM, GL_ACTIVE_RESOURCES, &iCount);
    for (GLint i = 0; i < iCount; ++i) {
        const GLenum properties[] = {GL_TYPE, GL_LOCATION, GL_BLOCK_INDEX};
        GLint result[3] = {0, -1, -1};
        glGetProgramResourceiv(uiProgram, GL_UNIFORM, static_cast<GLuint>(i), 3, properties, 3, nullptr, result);
        const auto eType = static_cast<GLenum>(result[0]);
        if (result[1] < 0 || result[2] != -1 || Components(eType).first == 0) continue;
        values[result[1]] = ReadUniform(uiProgram, result[1], eType);
    }
    return values;
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
        programs.m_Initial[uiProgram] = ReadInitialUniforms(uiProgram);
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
            programs.m_Initial.erase(uiProgram);
            if (programs.m_TextOf.empty()) Programs().erase(itContext);
        }
    }
    glDeleteProgram(uiProgram);
}

UniformWords GetInitialUniform(GLuint uiProgram, GLint iLocation, GLenum eType)
{
    const auto itContext = Programs().find(Context::GetCurrent());
    if (itContext != Programs().end()) {
        const auto itProgram = itContext->second.m_Initial.find(uiProgram);
        if (itProgram != itContext->second.m_Initial.end()) {
            const auto itValue = itProgram->second.find(iLocation);
            return itValue == itProgram->second.end() ? UniformWords{} : itValue->second;
        }
    }
    return ReadUniform(uiProgram, iLocation, eType);
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
