#include "Ondo/OpenGL/GLSLShaderPortHooker.h"

#include "Ondo/Core.h"
#include "Ondo/File.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/OpenGL/ShaderCompiler.h"
#include "Ondo/StringConversion.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace Ondo::OpenGL {

using FlowGraph::Port;
using FlowGraph::PortHandle;
using FlowGraph::PortSettings;
using FlowGraph::PortType;
using FlowGraph::SimplePortT;

struct GLSLShaderPortHooker::Annotation {
    std::string strKind; // UNIFORM, ATTRIBUTE or SURFACE
    std::string strVariable;
    std::string strLabel;
    std::string strOutputLabel;
    std::string strWhere; // origin and line, for messages
};

namespace {

using PortMaker = std::unique_ptr<Port> (*)(const PortSettings&);

template <class T>
std::unique_ptr<Port> MakePort(const PortSettings& settings)
{
    return std::make_unique<SimplePortT<T>>(settings);
}

// What a GL variable type turns into.
struct TypeMapping {
    GLSLShaderPortHooker::Kind eKind;
    PortMaker fnMake;
    const std::string* pClassName;
    GLenum eTextureTarget; // textures and images
    GLint iComponents;     // attributes
    GLenum eComponentType; // attributes
};

template <class T>
TypeMapping Value()
{
    return {GLSLShaderPortHooker::Kind::Value, &MakePort<T>, &SimplePortT<T>::s_strClassName, 0, 0, 0};
}

template <class T>
TypeMapping Texture(GLSLShaderPortHooker::Kind eKind, GLenum eTarget)
{
    return {eKind, &MakePort<T>, &SimplePortT<T>::s_strClassName, eTarget, 0, 0};
}

bool MapUniformType(GLenum eType, TypeMapping& mapping)
{
    using Kind = GLSLShaderPortHooker::Kind;
    switch (eType) {
    case GL_FLOAT: mapping = Value<float>(); return true;
    case GL_FLOAT_VEC2: mapping = Value<Vector2f>(); return true;
    case GL_FLOAT_VEC3: mapping = Value<Vector3f>(); return true;
    case GL_FLOAT_VEC4: mapping = Value<Vector4f>(); return true;
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_BOOL: mapping = Value<int>(); return true;
    case GL_INT_VEC2: mapping = Value<Vector2i>(); return true;
    case GL_FLOAT_MAT4: mapping = Value<Matrix44f>(); return true;
    case GL_SAMPLER_2D:
    case GL_SAMPLER_2D_SHADOW:
    case GL_INT_SAMPLER_2D:
    case GL_UNSIGNED_INT_SAMPLER_2D: mapping = Texture<TextureObject2D>(Kind::Texture, GL_TEXTURE_2D); return true;
    case GL_SAMPLER_3D:
    case GL_INT_SAMPLER_3D:
    case GL_UNSIGNED_INT_SAMPLER_3D: mapping = Texture<TextureObject3D>(Kind::Texture, GL_TEXTURE_3D); return true;
    case GL_SAMPLER_CUBE:
    case GL_SAMPLER_CUBE_SHADOW:
    case GL_INT_SAMPLER_CUBE:
    case GL_UNSIGNED_INT_SAMPLER_CUBE:
        mapping = Texture<TextureObjectCube>(Kind::Texture, GL_TEXTURE_CUBE_MAP);
        return true;
    case GL_IMAGE_2D:
    case GL_INT_IMAGE_2D:
    case GL_UNSIGNED_INT_IMAGE_2D: mapping = Texture<TextureObject2D>(Kind::Image, GL_TEXTURE_2D); return true;
    case GL_IMAGE_3D:
    case GL_INT_IMAGE_3D:
    case GL_UNSIGNED_INT_IMAGE_3D: mapping = Texture<TextureObject3D>(Kind::Image, GL_TEXTURE_3D); return true;
    case GL_IMAGE_CUBE:
    case GL_INT_IMAGE_CUBE:
    case GL_UNSIGNED_INT_IMAGE_CUBE:
        mapping = Texture<TextureObjectCube>(Kind::Image, GL_TEXTURE_CUBE_MAP);
        return true;
    default: return false;
    }
}

bool MapAttributeType(GLenum eType, TypeMapping& mapping)
{
    mapping = {GLSLShaderPortHooker::Kind::Attribute, &MakePort<BufferObject>, &SimplePortT<BufferObject>::s_strClassName,
               0, 0, 0};
    switch (eType) {
    case GL_FLOAT: mapping.iComponents = 1; mapping.eComponentType = GL_FLOAT; return true;
    case GL_FLOAT_VEC2: mapping.iComponents = 2; mapping.eComponentType = GL_FLOAT; return true;
    case GL_FLOAT_VEC3: mapping.iComponents = 3; mapping.eComponentType = GL_FLOAT; return true;
    case GL_FLOAT_VEC4: mapping.iComponents = 4; mapping.eComponentType = GL_FLOAT; return true;
    case GL_INT: mapping.iComponents = 1; mapping.eComponentType = GL_INT; return true;
    case GL_INT_VEC2: mapping.iComponents = 2; mapping.eComponentType = GL_INT; return true;
    case GL_INT_VEC3: mapping.iComponents = 3; mapping.eComponentType = GL_INT; return true;
    case GL_INT_VEC4: mapping.iComponents = 4; mapping.eComponentType = GL_INT; return true;
    case GL_UNSIGNED_INT: mapping.iComponents = 1; mapping.eComponentType = GL_UNSIGNED_INT; return true;
    case GL_UNSIGNED_INT_VEC2: mapping.iComponents = 2; mapping.eComponentType = GL_UNSIGNED_INT; return true;
    case GL_UNSIGNED_INT_VEC3: mapping.iComponents = 3; mapping.eComponentType = GL_UNSIGNED_INT; return true;
    case GL_UNSIGNED_INT_VEC4: mapping.iComponents = 4; mapping.eComponentType = GL_UNSIGNED_INT; return true;
    default: return false;
    }
}

std::string Trim(const std::string& strText)
{
    const std::size_t uiStart = strText.find_first_not_of(" \t\r");
    if (uiStart == std::string::npos) return {};
    const std::size_t uiEnd = strText.find_last_not_of(" \t\r");
    return strText.substr(uiStart, uiEnd - uiStart + 1);
}

// The arguments of an annotation: an identifier, then quoted labels. Returns
// an empty string on success, otherwise what is wrong.
std::string ParseArguments(const std::string& strArguments, std::string& strVariable, std::vector<std::string>& labels)
{
    std::size_t uiPos = 0;
    auto skipBlanks = [&] {
        while (uiPos < strArguments.size() && std::isspace(static_cast<unsigned char>(strArguments[uiPos]))) ++uiPos;
    };
    skipBlanks();
    const std::size_t uiStart = uiPos;
    while (uiPos < strArguments.size() &&
           (std::isalnum(static_cast<unsigned char>(strArguments[uiPos])) || strArguments[uiPos] == '_'))
        ++uiPos;
    strVariable = strArguments.substr(uiStart, uiPos - uiStart);
    if (strVariable.empty() || std::isdigit(static_cast<unsigned char>(strVariable[0])))
        return "expected a variable name first";
    while (true) {
        skipBlanks();
        if (uiPos == strArguments.size()) return {};
        if (strArguments[uiPos] != ',') return "expected ',' after " + (labels.empty() ? strVariable : labels.back());
        ++uiPos;
        skipBlanks();
        if (uiPos == strArguments.size() || strArguments[uiPos] != '"') return "expected a label in double quotes";
        const std::size_t uiClose = strArguments.find('"', uiPos + 1);
        if (uiClose == std::string::npos) return "a label has no closing double quote";
        labels.push_back(strArguments.substr(uiPos + 1, uiClose - uiPos - 1));
        if (labels.back().empty()) return "a label is empty";
        uiPos = uiClose + 1;
    }
}

std::string Narrow(const std::wstring& strWide)
{
    try {
        return WideToUtf8(strWide);
    } catch (const std::range_error&) {
        return "(unprintable name)";
    }
}

// The port a handle names, or null (a handle that names nothing yet included).
Port* Resolve(const PortHandle<Port>& hPort) { return hPort.IsNone() ? nullptr : hPort.Get(); }

template <class T>
T* DataOf(Port* pPort)
{
    auto* pTyped = dynamic_cast<SimplePortT<T>*>(pPort);
    return pTyped ? pTyped->GetData() : nullptr;
}

GLuint TextureName(Port* pPort, GLenum eTarget)
{
    const TextureObject* pTexture = nullptr;
    if (eTarget == GL_TEXTURE_2D) pTexture = DataOf<TextureObject2D>(pPort);
    if (eTarget == GL_TEXTURE_3D) pTexture = DataOf<TextureObject3D>(pPort);
    if (eTarget == GL_TEXTURE_CUBE_MAP) pTexture = DataOf<TextureObjectCube>(pPort);
    return pTexture ? pTexture->m_uiName : 0;
}

// The words of a value as the float, int or unsigned components they hold.
template <class T>
std::array<T, 16> WordsAs(const UniformWords& words)
{
    std::array<T, 16> values{};
    static_assert(sizeof(T) == sizeof(GLuint));
    std::memcpy(values.data(), words.data(), sizeof(values));
    return values;
}

void SetInitialUniform(GLuint uiProgram, GLint iLocation, GLenum eType, const UniformWords& initial)
{
    const std::array<GLfloat, 16> floats = WordsAs<GLfloat>(initial);
    const std::array<GLint, 16> ints = WordsAs<GLint>(initial);
    switch (eType) {
    case GL_FLOAT: glProgramUniform1fv(uiProgram, iLocation, 1, floats.data()); break;
    case GL_FLOAT_VEC2: glProgramUniform2fv(uiProgram, iLocation, 1, floats.data()); break;
    case GL_FLOAT_VEC3: glProgramUniform3fv(uiProgram, iLocation, 1, floats.data()); break;
    case GL_FLOAT_VEC4: glProgramUniform4fv(uiProgram, iLocation, 1, floats.data()); break;
    case GL_INT:
    case GL_BOOL: glProgramUniform1iv(uiProgram, iLocation, 1, ints.data()); break;
    case GL_UNSIGNED_INT: glProgramUniform1uiv(uiProgram, iLocation, 1, initial.data()); break;
    case GL_INT_VEC2: glProgramUniform2iv(uiProgram, iLocation, 1, ints.data()); break;
    case GL_FLOAT_MAT4: glProgramUniformMatrix4fv(uiProgram, iLocation, 1, GL_FALSE, floats.data()); break;
    default: break;
    }
}

void SetValueUniform(GLuint uiProgram, GLint iLocation, GLenum eType, Port* pPort, const UniformWords& initial)
{
    if (!pPort || !pPort->GetDataPointer()) {
        SetInitialUniform(uiProgram, iLocation, eType, initial);
        return;
    }
    switch (eType) {
    case GL_FLOAT: glProgramUniform1f(uiProgram, iLocation, *DataOf<float>(pPort)); break;
    case GL_FLOAT_VEC2: glProgramUniform2fv(uiProgram, iLocation, 1, DataOf<Vector2f>(pPort)->data()); break;
    case GL_FLOAT_VEC3: glProgramUniform3fv(uiProgram, iLocation, 1, DataOf<Vector3f>(pPort)->data()); break;
    case GL_FLOAT_VEC4: glProgramUniform4fv(uiProgram, iLocation, 1, DataOf<Vector4f>(pPort)->data()); break;
    case GL_INT:
    case GL_BOOL: glProgramUniform1i(uiProgram, iLocation, *DataOf<int>(pPort)); break;
    case GL_UNSIGNED_INT:
        glProgramUniform1ui(uiProgram, iLocation, static_cast<GLuint>(*DataOf<int>(pPort)));
        break;
    case GL_INT_VEC2: glProgramUniform2iv(uiProgram, iLocation, 1, DataOf<Vector2i>(pPort)->data()); break;
    case GL_FLOAT_MAT4:
        glProgramUniformMatrix4fv(uiProgram, iLocation, 1, GL_FALSE, DataOf<Matrix44f>(pPort)->data());
        break;
    default: break;
    }
}

// The record of one hooked port in a saved graph.
struct SavedPort {
    std::string strLabel;
    std::string strClass;
    PortHandle<Port> hPort;

    void Serialize(FlowGraph::Serialization::Serializer& serializer)
    {
        serializer.Serialize("strLabel", strLabel);
        serializer.Serialize("strClass", strClass);
        serializer.Serialize("hPort", hPort);
    }
};

} // namespace

GLSLShaderPortHooker::GLSLShaderPortHooker(BaseFilter& owner) : m_Owner(owner) { m_Owner.RegisterHooker(this); }

GLSLShaderPortHooker::~GLSLShaderPortHooker() { m_Owner.UnregisterHooker(this); }

void GLSLShaderPortHooker::Report(const std::string& strMessage) const
{
    LoggerInterface* pLogger = m_Owner.GetCore().GetLogger();
    (pLogger ? *pLogger : GetDiagnosticsLogger()).Log(m_Owner.GetName() + ": " + strMessage + "\n");
}

void GLSLShaderPortHooker::AddPortsFromShaderFile(GLuint uiProgram, const std::wstring& strPath,
                                                  const std::wstring& strExtra)
{
    File file;
    file.Load(strPath);
    const std::string strOrigin = Narrow(strPath);
    AddPorts(uiProgram, std::string(file.GetData(), file.GetSize()), strOrigin);
    if (!strExtra.empty()) AddPorts(uiProgram, Narrow(strExtra), strOrigin + " (extra text)");
}

void GLSLShaderPortHooker::AddPortsFromShaderMemory(GLuint uiProgram, const std::string& strSource,
                                                    const std::wstring& strExtra)
{
    AddPorts(uiProgram, strSource, "shader text");
    if (!strExtra.empty()) AddPorts(uiProgram, Narrow(strExtra), "shader text (extra text)");
}

void GLSLShaderPortHooker::AddPorts(GLuint uiProgram, const std::string& strSource, const std::string& strOrigin)
{
    std::vector<Annotation> annotations;
    std::istringstream stream(strSource);
    std::string strLine;
    for (int iLine = 1; std::getline(stream, strLine); ++iLine) {
        std::string strText = Trim(strLine);
        if (strText.rfind("#", 0) != 0) continue;
        strText = Trim(strText.substr(1));
        if (strText.rfind("pragma", 0) != 0) continue;
        strText = Trim(strText.substr(6));
        if (strText.rfind("ONDO_PORT_", 0) != 0) continue;

        Annotation annotation;
        annotation.strWhere = strOrigin + ":" + std::to_string(iLine);
        const std::size_t uiOpen = strText.find('(');
        const std::size_t uiClose = strText.rfind(')');
        auto fail = [&](const std::string& strWhy) {
            throw std::runtime_error(annotation.strWhere + ": malformed shader port annotation \"" + Trim(strLine) +
                                     "\": " + strWhy);
        };
        if (uiOpen == std::string::npos || uiClose == std::string::npos || uiClose < uiOpen)
            fail("expected ONDO_PORT_<KIND>(variable,\"label\")");
        annotation.strKind = Trim(strText.substr(10, uiOpen - 10));
        const std::string strAfter = Trim(strText.substr(uiClose + 1));
        if (!strAfter.empty() && strAfter != ";") fail("unexpected text after the closing parenthesis");

        std::vector<std::string> labels;
        const std::string strProblem =
            ParseArguments(strText.substr(uiOpen + 1, uiClose - uiOpen - 1), annotation.strVariable, labels);
        if (!strProblem.empty()) fail(strProblem);
        const std::size_t uiLabels = annotation.strKind == "SURFACE" ? 2u : 1u;
        if (annotation.strKind != "UNIFORM" && annotation.strKind != "ATTRIBUTE" && annotation.strKind != "SURFACE")
            fail("unknown kind ONDO_PORT_" + annotation.strKind + " (UNIFORM, ATTRIBUTE or SURFACE)");
        if (labels.size() != uiLabels)
            fail("ONDO_PORT_" + annotation.strKind + " takes " + std::to_string(uiLabels) + " label" +
                 (uiLabels == 1 ? "" : "s") + ", not " + std::to_string(labels.size()));
        annotation.strLabel = labels[0];
        if (uiLabels == 2) annotation.strOutputLabel = labels[1];
        annotations.push_back(std::move(annotation));
    }
    if (annotations.empty()) return;

    GLint iLinked = GL_FALSE;
    if (uiProgram != 0 && glIsProgram(uiProgram)) glGetProgramiv(uiProgram, GL_LINK_STATUS, &iLinked);
    if (iLinked != GL_TRUE) {
        Report(strOrigin + ": program " + std::to_string(uiProgram) +
               " is not linked, so the ports its shader declares could not be made");
        return;
    }
    for (const Annotation& annotation : annotations) HookAnnotation(uiProgram, annotation);
}

void GLSLShaderPortHooker::HookAnnotation(GLuint uiProgram, const Annotation& annotation)
{
    const GLenum eInterface = annotation.strKind == "UNIFORM"     ? GL_UNIFORM
                              : annotation.strKind == "ATTRIBUTE" ? GL_PROGRAM_INPUT
                                                                  : GL_PROGRAM_OUTPUT;
    const GLuint uiIndex = glGetProgramResourceIndex(uiProgram, eInterface, annotation.strVariable.c_str());
    if (uiIndex == GL_INVALID_INDEX) {
        Report(annotation.strWhere + ": \"" + annotation.strVariable + "\" is not an active " +
               (eInterface == GL_UNIFORM ? "uniform" : eInterface == GL_PROGRAM_INPUT ? "input" : "output") +
               " of the program, so it gets no port \"" + annotation.strLabel + "\"");
        return;
    }
    const GLenum properties[] = {GL_TYPE, GL_LOCATION};
    GLint values[2] = {0, -1};
    glGetProgramResourceiv(uiProgram, eInterface, uiIndex, 2, properties, 2, nullptr, values);
    const GLenum eType = static_cast<GLenum>(values[0]);

    TypeMapping mapping{};
    bool bKnown = false;
    if (eInterface == GL_UNIFORM)
        bKnown = MapUniformType(eType, mapping);
    else if (eInterface == GL_PROGRAM_INPUT)
        bKnown = MapAttributeType(eType, mapping);
    else {
        bKnown = true;
        mapping = Texture<TextureObject2D>(Kind::Surface, GL_TEXTURE_2D);
    }
    if (!bKnown) {
        std::ostringstream stream;
        stream << annotation.strWhere << ": \"" << annotation.strVariable << "\" has a type (0x" << std::hex << eType
               << ") that no port can carry, so it gets no port \"" << annotation.strLabel << "\"";
        Report(stream.str());
        return;
    }

    PortInfo& port = AcquirePort(annotation, mapping.eKind, *mapping.pClassName);
    if (!Resolve(port.m_hPort)) port.m_hPort = m_Owner.AddPort(mapping.fnMake({PortType::Input, annotation.strLabel,
                                                                             mapping.eKind == Kind::Value}));
    if (mapping.eKind == Kind::Surface && !Resolve(port.m_hOutput))
        port.m_hOutput = m_Owner.AddPort(mapping.fnMake({PortType::Output, annotation.strOutputLabel, false}));

    m_Hooks.erase(std::remove_if(m_Hooks.begin(), m_Hooks.end(),
                                 [&](const Hook& hook) {
                                     return hook.m_uiProgram == uiProgram &&
                                            hook.m_strVariable == annotation.strVariable;
                                 }),
                  m_Hooks.end());
    Hook hook;
    hook.m_uiProgram = uiProgram;
    hook.m_strVariable = annotation.strVariable;
    hook.m_eType = eType;
    hook.m_iLocation = values[1];
    hook.m_pPort = &port;
    if (mapping.eKind == Kind::Value) hook.m_Initial = GetInitialUniform(uiProgram, hook.m_iLocation, eType);
    m_Hooks.push_back(hook);
}

GLSLShaderPortHooker::PortInfo& GLSLShaderPortHooker::AcquirePort(const Annotation& annotation, Kind eKind,
                                                                  const std::string& strClass)
{
    for (const auto& pPort : m_Ports) {
        if (pPort->m_eKind != eKind || pPort->m_strLabel != annotation.strLabel ||
            pPort->m_strOutputLabel != annotation.strOutputLabel)
            continue;
        const Port* pExisting = Resolve(pPort->m_hPort);
        if (pExisting && pExisting->GetNameOfClass() != strClass) continue;
        pPort->m_bTemporary = false;
        return *pPort;
    }
    auto pNew = std::make_unique<PortInfo>();
    pNew->m_eKind = eKind;
    pNew->m_strLabel = annotation.strLabel;
    pNew->m_strOutputLabel = annotation.strOutputLabel;
    m_Ports.push_back(std::move(pNew));
    return *m_Ports.back();
}

void GLSLShaderPortHooker::RemoveAllShaderPorts()
{
    for (const auto& pPort : m_Ports) pPort->m_bTemporary = true;
}

std::size_t GLSLShaderPortHooker::RemoveTemporaryPorts()
{
    std::size_t uiRemoved = 0;
    for (auto it = m_Ports.begin(); it != m_Ports.end();) {
        if (!(*it)->m_bTemporary) {
            ++it;
            continue;
        }
        PortInfo* pPort = it->get();
        m_Hooks.erase(std::remove_if(m_Hooks.begin(), m_Hooks.end(),
                                     [&](const Hook& hook) { return hook.m_pPort == pPort; }),
                      m_Hooks.end());
        if (pPort->m_hPort.GetOwner() == &m_Owner) m_Owner.RemovePort(pPort->m_hPort.GetIndex());
        if (pPort->m_hOutput.GetOwner() == &m_Owner) m_Owner.RemovePort(pPort->m_hOutput.GetIndex());
        it = m_Ports.erase(it);
        ++uiRemoved;
    }
    return uiRemoved;
}

void GLSLShaderPortHooker::RemoveHooks(GLuint uiProgram)
{
    m_Hooks.erase(std::remove_if(m_Hooks.begin(), m_Hooks.end(),
                                 [&](const Hook& hook) { return hook.m_uiProgram == uiProgram; }),
                  m_Hooks.end());
}

int GLSLShaderPortHooker::UpdateUniformVariables(GLuint uiProgram, int iFirstUnit)
{
    int iUnit = iFirstUnit;
    for (const Hook& hook : m_Hooks) {
        if (hook.m_uiProgram != uiProgram) continue;
        Port* pPort = Resolve(hook.m_pPort->m_hPort);
        TypeMapping mapping{};
        switch (hook.m_pPort->m_eKind) {
        case Kind::Value: SetValueUniform(uiProgram, hook.m_iLocation, hook.m_eType, pPort, hook.m_Initial); break;
        case Kind::Texture: {
            MapUniformType(hook.m_eType, mapping);
            glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(iUnit));
            glBindTexture(mapping.eTextureTarget, TextureName(pPort, mapping.eTextureTarget));
            // The texture's own parameters apply, whatever sampler a filter
            // left on this unit.
            glBindSampler(static_cast<GLuint>(iUnit), 0);
            glProgramUniform1i(uiProgram, hook.m_iLocation, iUnit);
            ++iUnit;
            break;
        }
        case Kind::Image: {
            MapUniformType(hook.m_eType, mapping);
            const GLuint uiTexture = TextureName(pPort, mapping.eTextureTarget);
            GLint iFormat = GL_RGBA8;
            if (uiTexture != 0) {
                glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(iUnit));
                glBindTexture(mapping.eTextureTarget, uiTexture);
                glGetTexLevelParameteriv(mapping.eTextureTarget == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X
                                                                                       : mapping.eTextureTarget,
                                         0, GL_TEXTURE_INTERNAL_FORMAT, &iFormat);
            }
            const GLboolean bLayered = mapping.eTextureTarget == GL_TEXTURE_2D ? GL_FALSE : GL_TRUE;
            glBindImageTexture(static_cast<GLuint>(iUnit), uiTexture, 0, bLayered, 0, GL_READ_WRITE,
                               static_cast<GLenum>(iFormat));
            glProgramUniform1i(uiProgram, hook.m_iLocation, iUnit);
            ++iUnit;
            break;
        }
        case Kind::Attribute:
        case Kind::Surface: break;
        }
    }
    return iUnit;
}

void GLSLShaderPortHooker::BindAttributes(GLuint uiProgram)
{
    for (const Hook& hook : m_Hooks) {
        if (hook.m_uiProgram != uiProgram || hook.m_pPort->m_eKind != Kind::Attribute || hook.m_iLocation < 0) continue;
        const auto uiLocation = static_cast<GLuint>(hook.m_iLocation);
        const BufferObject* pBuffer = DataOf<BufferObject>(Resolve(hook.m_pPort->m_hPort));
        if (!pBuffer || pBuffer->m_uiName == 0) {
            // Without a buffer the attribute reads its current constant value.
            glDisableVertexAttribArray(uiLocation);
            continue;
        }
        TypeMapping mapping{};
        MapAttributeType(hook.m_eType, mapping);
        glBindBuffer(GL_ARRAY_BUFFER, pBuffer->m_uiName);
        if (mapping.eComponentType == GL_FLOAT)
            glVertexAttribPointer(uiLocation, mapping.iComponents, GL_FLOAT, GL_FALSE, 0, nullptr);
        else
            glVertexAttribIPointer(uiLocation, mapping.iComponents, mapping.eComponentType, 0, nullptr);
        glEnableVertexAttribArray(uiLocation);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void GLSLShaderPortHooker::UnbindAttributes(GLuint uiProgram)
{
    for (const Hook& hook : m_Hooks)
        if (hook.m_uiProgram == uiProgram && hook.m_pPort->m_eKind == Kind::Attribute && hook.m_iLocation >= 0)
            glDisableVertexAttribArray(static_cast<GLuint>(hook.m_iLocation));
}

std::vector<GLenum> GLSLShaderPortHooker::BindSurfaces(GLuint uiProgram, GLuint uiFramebuffer)
{
    GLint iMaxAttachments = 0;
    glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &iMaxAttachments);
    glBindFramebuffer(GL_FRAMEBUFFER, uiFramebuffer);
    std::vector<GLenum> drawBuffers;
    for (const Hook& hook : m_Hooks) {
        if (hook.m_uiProgram != uiProgram || hook.m_pPort->m_eKind != Kind::Surface || hook.m_iLocation < 0) continue;
        if (hook.m_iLocation >= iMaxAttachments)
            throw std::runtime_error(m_Owner.GetName() + ": surface \"" + hook.m_pPort->m_strLabel + "\" writes location " +
                                     std::to_string(hook.m_iLocation) + ", but the context has only " +
                                     std::to_string(iMaxAttachments) + " colour attachments");
        const auto uiLocation = static_cast<std::size_t>(hook.m_iLocation);
        if (drawBuffers.size() <= uiLocation) drawBuffers.resize(uiLocation + 1, GL_NONE);
        drawBuffers[uiLocation] = GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(uiLocation);
        glFramebufferTexture(GL_FRAMEBUFFER, drawBuffers[uiLocation],
                             TextureName(Resolve(hook.m_pPort->m_hPort), GL_TEXTURE_2D), 0);
    }
    return drawBuffers;
}

void GLSLShaderPortHooker::UnbindSurfaces(GLuint uiProgram, GLuint uiFramebuffer)
{
    glBindFramebuffer(GL_FRAMEBUFFER, uiFramebuffer);
    for (const Hook& hook : m_Hooks)
        if (hook.m_uiProgram == uiProgram && hook.m_pPort->m_eKind == Kind::Surface && hook.m_iLocation >= 0)
            glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(hook.m_iLocation), 0, 0);
}

void GLSLShaderPortHooker::SetOutputs()
{
    for (const auto& pPort : m_Ports) {
        if (pPort->m_eKind != Kind::Surface) continue;
        auto* pTarget = dynamic_cast<SimplePortT<TextureObject2D>*>(Resolve(pPort->m_hPort));
        auto* pOutput = dynamic_cast<SimplePortT<TextureObject2D>*>(Resolve(pPort->m_hOutput));
        if (pTarget && pOutput && pTarget->GetData()) pOutput->SetData(pTarget->GetData(), true);
    }
}

void GLSLShaderPortHooker::Serialize(FlowGraph::Serialization::Serializer& serializer)
{
    if (!serializer.IsReader()) {
        std::vector<SavedPort> saved;
        for (const auto& pPort : m_Ports) {
            if (pPort->m_bTemporary) continue;
            for (const PortHandle<Port>& hPort : {pPort->m_hPort, pPort->m_hOutput}) {
                const Port* pObject = Resolve(hPort);
                if (pObject) saved.push_back({pObject->GetLabel(), pObject->GetNameOfClass(), hPort});
            }
        }
        serializer.Serialize("ShaderPorts", saved, "Port");
        return;
    }
    if (!serializer.HasNodeElement("ShaderPorts")) return;
    std::vector<SavedPort> saved;
    serializer.Serialize("ShaderPorts", saved, "Port");
    // Before the programs are built there is nothing to compare with.
    if (m_Ports.empty()) return;
    for (const SavedPort& record : saved) {
        bool bDeclared = false;
        for (const auto& pPort : m_Ports)
            for (const PortHandle<Port>& hPort : {pPort->m_hPort, pPort->m_hOutput}) {
                const Port* pObject = Resolve(hPort);
                bDeclared = bDeclared || (pObject && pObject->GetLabel() == record.strLabel &&
                                          pObject->GetNameOfClass() == record.strClass);
            }
        if (!bDeclared)
            Report("the graph names the shader port \"" + record.strLabel + "\" (" + record.strClass +
                   "), which the shaders no longer declare");
    }
}

} // namespace Ondo::OpenGL
