#include "frame/RenderPass.h"

#include "frame/ImageUnitFormat.h"
#include "frame/ShaderPrograms.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/GFX/LightSource.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/ShaderCompiler.h"
#include "Ondo/OpenGL/Textures.h"

#include <stdexcept>

namespace Prismvale {

namespace {

using Ondo::OpenGL::GLSLShaderPortHooker;
using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

// The colour formats every OpenGL 4.3 implementation must render to. Others
// (three-channel, signed normalised, compressed ones) may leave the
// framebuffer incomplete on one machine and work on the next, so they are
// refused everywhere.
bool IsRequiredColourRenderable(GLenum eFormat)
{
    switch (eFormat) {
    case GL_R8: case GL_RG8: case GL_RGBA8: case GL_SRGB8_ALPHA8:
    case GL_R16: case GL_RG16: case GL_RGBA16:
    case GL_R16F: case GL_RG16F: case GL_RGBA16F:
    case GL_R32F: case GL_RG32F: case GL_RGBA32F:
    case GL_R11F_G11F_B10F: case GL_RGB10_A2: case GL_RGB10_A2UI:
    case GL_R8I: case GL_RG8I: case GL_RGBA8I: case GL_R8UI: case GL_RG8UI: case GL_RGBA8UI:
    case GL_R16I: case GL_RG16I: case GL_RGBA16I: case GL_R16UI: case GL_RG16UI: case GL_RGBA16UI:
    case GL_R32I: case GL_RG32I: case GL_RGBA32I: case GL_R32UI: case GL_RG32UI: case GL_RGBA32UI: return true;
    default: return false;
    }
}

// The kind of values a fragment output of the type writes.
TexelKind OutputKind(GLenum eType)
{
    switch (eType) {
    case GL_INT: case GL_INT_VEC2: case GL_INT_VEC3: case GL_INT_VEC4: return TexelKind::Int;
    case GL_UNSIGNED_INT: case GL_UNSIGNED_INT_VEC2: case GL_UNSIGNED_INT_VEC3: case GL_UNSIGNED_INT_VEC4:
        return TexelKind::UInt;
    default: return TexelKind::Float;
    }
}

// Components of a float attribute type; 0 for the types a mesh buffer of
// floats cannot feed.
GLint Components(GLenum eType)
{
    switch (eType) {
    case GL_FLOAT: return 1;
    case GL_FLOAT_VEC2: return 2;
    case GL_FLOAT_VEC3: return 3;
    case GL_FLOAT_VEC4: return 4;
    default: return 0;
    }
}

std::string SizeText(const Ondo::Vector2i& size) { return std::to_string(size.x()) + " x " + std::to_string(size.y()); }

[[noreturn]] void Refuse(const std::string& strLabel, const std::string& strWhy)
{
    throw std::runtime_error("\"" + strLabel + "\" " + strWhy);
}


// Refuses what RequireColourTarget refuses, and a colour target of another
// size than the depth target.
void CheckColourTarget(const std::string& strLabel, const Ondo::OpenGL::TextureObject2D* pTarget,
                       TexelKind eWritten, const std::string& strDepthLabel, const Ondo::Vector2i& size)
{
    const Ondo::Vector2i targetSize = RequireColourTarget(strLabel, pTarget, eWritten);
    if (targetSize != size)
        Refuse(strLabel, "is " + SizeText(targetSize) + " texels, but \"" + strDepthLabel + "\" is " +
                             SizeText(size) + "; the pass would fill only part of it. Give them one size");
}

} // namespace

Ondo::Vector2i RequireColourTarget(const std::string& strLabel, const Ondo::OpenGL::TextureObject2D* pTarget,
                                   TexelKind eWritten)
{
    if (!pTarget || pTarget->m_uiName == 0) Refuse(strLabel, "carries no texture");
    const GLenum eFormat = Ondo::OpenGL::GetInternalFormat2D(pTarget->m_uiName);
    if (!IsRequiredColourRenderable(eFormat))
        Refuse(strLabel, "is a " + FormatName(eFormat) +
                             " texture, which a colour target cannot be (the GL need not render to it); give "
                             "it a format such as GL_RGBA8, GL_RGBA16F or GL_RGBA32F");
    if (TexelKindOf(eFormat) != eWritten)
        Refuse(strLabel, "is a " + FormatName(eFormat) + " texture of " + TexelKindName(TexelKindOf(eFormat)) +
                             " texels, but the shader writes " + TexelKindName(eWritten) +
                             " values to it; give it a format of that kind");
    return Ondo::OpenGL::GetImageSize2D(pTarget->m_uiName);
}

RenderMatrices RenderMatrices::From(const Ondo::Matrix44f* pWorld, const Ondo::Matrix44f& view,
                                    const Ondo::Matrix44f& projection)
{
    RenderMatrices matrices;
    if (pWorld) matrices.m_World = *pWorld;
    matrices.m_View = view;
    matrices.m_Projection = projection;
    matrices.m_ModelViewProjection = projection * view * matrices.m_World;
    matrices.m_Normal = Ondo::NormalMatrix(matrices.m_World);
    return matrices;
}

const Ondo::Matrix44f& RequireMatrix(const Ondo::Matrix44f* pMatrix, const std::string& strLabel)
{
    if (!pMatrix) Refuse(strLabel, "carries no matrix");
    return *pMatrix;
}

std::optional<Ondo::Vector3f> EyePosition(const Ondo::Matrix44f& m)
{
    const std::optional<Ondo::Matrix44f> inverse = Ondo::Inverse(m);
    if (!inverse || (*inverse)(3, 3) == 0.0f) return std::nullopt;
    const Ondo::Matrix44f& e = *inverse;
    return Ondo::Vector3f(e(0, 3) / e(3, 3), e(1, 3) / e(3, 3), e(2, 3) / e(3, 3));
}

void UploadLight(GLuint uiProgram, const Ondo::GFX::LightSource& light)
{
    const auto fnLocation = [uiProgram](const char* szMember) {
        return glGetUniformLocation(uiProgram, (std::string("LightSources[0].") + szMember).c_str());
    };
    glProgramUniform1i(uiProgram, fnLocation("m_iLightType"), light.m_iLightType);
    glProgramUniform4fv(uiProgram, fnLocation("m_vPosition"), 1, light.m_vPosition.data());
    glProgramUniform4fv(uiProgram, fnLocation("m_vColor"), 1, light.m_vColor.data());
    glProgramUniform3fv(uiProgram, fnLocation("m_vAttenuation"), 1, light.m_vAttenuation.data());
    glProgramUniform1f(uiProgram, fnLocation("m_fSpotCutoff"), light.m_fSpotCutoff);
    glProgramUniform3fv(uiProgram, fnLocation("m_vSpotDirection"), 1, light.m_vSpotDirection.data());
}

RenderPass::RenderPass(Ondo::OpenGL::BaseFilter& owner, std::wstring strVertex, std::wstring strFragment)
    : m_strVertex(std::move(strVertex)), m_strFragment(std::move(strFragment)), m_ShaderHelper(owner)
{
}

std::wstring RenderPass::GetVertexPath() const { return ShaderPath(m_strVertex); }

std::wstring RenderPass::GetFragmentPath() const { return ShaderPath(m_strFragment); }

void RenderPass::Build()
{
    Release();
    glGenFramebuffers(1, &m_uiFBO);
    m_uiProgram = BuildProgram({{GL_VERTEX_SHADER, GetVertexPath()}, {GL_FRAGMENT_SHADER, GetFragmentPath()}});
    m_ShaderHelper.RemoveAllShaderPorts();
    m_ShaderHelper.AddPortsFromShaderFile(m_uiProgram, GetVertexPath(), std::wstring());
    m_ShaderHelper.AddPortsFromShaderFile(m_uiProgram, GetFragmentPath(), std::wstring());
}

void RenderPass::BuildFromText(const std::string& strVertex, const std::string& strFragment)
{
    if (m_uiFBO == 0) glGenFramebuffers(1, &m_uiFBO);
    if (m_uiProgram != 0) {
        // A new program may get the old one's name: its hooks go first.
        m_ShaderHelper.RemoveHooks(m_uiProgram);
        ReleaseProgram(m_uiProgram);
        m_uiProgram = 0;
    }
    std::vector<Ondo::OpenGL::ProgramText> stages{{GL_VERTEX_SHADER, strVertex}};
    if (!strFragment.empty()) stages.push_back({GL_FRAGMENT_SHADER, strFragment});
    m_uiProgram = Ondo::OpenGL::AcquireProgramFromText(stages);
    m_ShaderHelper.RemoveAllShaderPorts();
    m_ShaderHelper.AddPortsFromShaderMemory(m_uiProgram, strVertex, std::wstring());
    m_ShaderHelper.AddPortsFromShaderMemory(m_uiProgram, strFragment, std::wstring());
}

void RenderPass::Release()
{
    if (m_uiFBO != 0) {
        glDeleteFramebuffers(1, &m_uiFBO);
        m_uiFBO = 0;
    }
    if (m_uiProgram != 0) {
        m_ShaderHelper.RemoveHooks(m_uiProgram);
        ReleaseProgram(m_uiProgram);
        m_uiProgram = 0;
    }
}

Ondo::Vector2i RenderPass::CheckTargets(const std::string& strDepthLabel, const Ondo::OpenGL::TextureObject2D* pDepth)
{
    // A program that did not link would draw nothing and raise a GL error
    // only at glUseProgram; the compiler's log has already said why.
    GLint iLinked = GL_FALSE;
    if (m_uiProgram != 0) glGetProgramiv(m_uiProgram, GL_LINK_STATUS, &iLinked);
    if (iLinked != GL_TRUE)
        throw std::runtime_error("the shader program did not build, so nothing can be drawn (the shader log says why)");

    if (!pDepth || pDepth->m_uiName == 0) Refuse(strDepthLabel, "carries no texture");
    const GLenum eDepthFormat = Ondo::OpenGL::GetInternalFormat2D(pDepth->m_uiName);
    if (!Ondo::OpenGL::IsDepthFormat(eDepthFormat))
        Refuse(strDepthLabel, "is a " + FormatName(eDepthFormat) +
                                  " texture, which cannot be a depth target; give it a depth format such as "
                                  "GL_DEPTH_COMPONENT24 or GL_DEPTH_COMPONENT32F");
    const Ondo::Vector2i size = Ondo::OpenGL::GetImageSize2D(pDepth->m_uiName);

    for (const GLSLShaderPortHooker::Hook& hook : m_ShaderHelper.GetHooks()) {
        if (hook.m_uiProgram != m_uiProgram || hook.m_pPort->m_eKind != GLSLShaderPortHooker::Kind::Surface ||
            hook.m_iLocation < 0)
            continue;
        const auto* pPort = hook.m_pPort->m_hPort.IsNone()
                                ? nullptr
                                : dynamic_cast<const TexturePort*>(hook.m_pPort->m_hPort.Get());
        CheckColourTarget(hook.m_pPort->m_strLabel, pPort ? pPort->GetData() : nullptr, OutputKind(hook.m_eType),
                          strDepthLabel, size);
    }
    return size;
}

Ondo::Vector2i RenderPass::CheckTargets(const std::string& strDepthLabel, const Ondo::OpenGL::TextureObject2D* pDepth,
                                        const std::string& strColourLabel,
                                        const Ondo::OpenGL::TextureObject2D* pColour)
{
    const Ondo::Vector2i size = CheckTargets(strDepthLabel, pDepth);
    CheckColourTarget(strColourLabel, pColour, TexelKind::Float, strDepthLabel, size);
    return size;
}

RenderPass::AttributeBuffers RenderPass::CollectAttributeBuffers() const
{
    using BufferPort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::BufferObject>;
    AttributeBuffers buffers;
    std::vector<const GLSLShaderPortHooker::Hook*> hooks;
    for (const GLSLShaderPortHooker::Hook& hook : m_ShaderHelper.GetHooks())
        if (hook.m_uiProgram == m_uiProgram && hook.m_pPort->m_eKind == GLSLShaderPortHooker::Kind::Attribute &&
            hook.m_iLocation >= 0)
            hooks.push_back(&hook);
    // The messages are made first: the inputs point into them.
    buffers.m_Messages.reserve(2 * hooks.size());
    for (const GLSLShaderPortHooker::Hook* pHook : hooks) {
        const std::string& strLabel = pHook->m_pPort->m_strLabel;
        buffers.m_Messages.push_back("\"" + strLabel + "\" carries no buffer");
        buffers.m_Messages.push_back("\"" + strLabel + "\" is an empty buffer");
    }
    for (std::size_t i = 0; i < hooks.size(); ++i) {
        const GLSLShaderPortHooker::Hook& hook = *hooks[i];
        const GLint iComponents = Components(hook.m_eType);
        if (iComponents == 0)
            throw std::runtime_error("\"" + hook.m_pPort->m_strLabel +
                                     "\" feeds an attribute that is not of float components");
        const auto* pPort =
            hook.m_pPort->m_hPort.IsNone() ? nullptr : dynamic_cast<const BufferPort*>(hook.m_pPort->m_hPort.Get());
        buffers.m_Inputs.push_back({pPort ? pPort->GetData() : nullptr, static_cast<GLuint>(hook.m_iLocation),
                                    iComponents, buffers.m_Messages[2 * i].c_str(),
                                    buffers.m_Messages[2 * i + 1].c_str()});
    }
    return buffers;
}

GLuint RenderPass::CheckVertexBuffers(const std::vector<VertexBufferInput>& buffers)
{
    GLuint uiVertices = 0xFFFFFFFFu;
    GLint iBound = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &iBound);
    for (const VertexBufferInput& input : buffers) {
        if (!input.m_pBuffer || input.m_pBuffer->m_uiName == 0) {
            glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(iBound));
            throw std::runtime_error(input.m_szNoName);
        }
        glBindBuffer(GL_ARRAY_BUFFER, input.m_pBuffer->m_uiName);
        GLint iBytes = 0;
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &iBytes);
        if (iBytes <= 0) {
            glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(iBound));
            throw std::runtime_error(input.m_szEmpty);
        }
        const auto uiHeld = static_cast<GLuint>(iBytes) / static_cast<GLuint>(input.m_iComponents * sizeof(float));
        if (uiHeld < uiVertices) uiVertices = uiHeld;
    }
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(iBound));
    return buffers.empty() ? 0 : uiVertices;
}

void RenderPass::BindTargets(const Ondo::OpenGL::TextureObject2D& depth, const Ondo::Vector2i& size,
                             const Ondo::OpenGL::TextureObject2D* pColour)
{
    glViewport(0, 0, size.x(), size.y());
    glBindFramebuffer(GL_FRAMEBUFFER, m_uiFBO);
    std::vector<GLenum> drawBuffers = m_ShaderHelper.BindSurfaces(m_uiProgram, m_uiFBO);
    if (pColour) {
        glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, pColour->m_uiName, 0);
        if (drawBuffers.empty()) drawBuffers.push_back(GL_NONE);
        drawBuffers[0] = GL_COLOR_ATTACHMENT0;
    }
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, depth.m_uiName, 0);
    if (drawBuffers.empty())
        glDrawBuffer(GL_NONE);
    else
        glDrawBuffers(static_cast<GLsizei>(drawBuffers.size()), drawBuffers.data());
    glEnable(GL_DEPTH_TEST);
    if (!Ondo::OpenGL::CheckFrameBufferStatus(m_uiFBO, nullptr)) {
        m_ShaderHelper.UnbindSurfaces(m_uiProgram, m_uiFBO);
        glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, 0, 0);
        glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, 0, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        throw std::runtime_error("OpenGL::CheckFrameBufferStatus( m_uiFBO, nullptr )");
    }
}

void RenderPass::SetMatrices(const RenderMatrices& matrices)
{
    glProgramUniformMatrix4fv(m_uiProgram, ModelViewProjectionLocation, 1, GL_FALSE,
                              matrices.m_ModelViewProjection.data());
    glProgramUniformMatrix4fv(m_uiProgram, WorldLocation, 1, GL_FALSE, matrices.m_World.data());
    glProgramUniformMatrix3fv(m_uiProgram, NormalMatrixLocation, 1, GL_FALSE, matrices.m_Normal.data());
}

void RenderPass::Use()
{
    glUseProgram(m_uiProgram);
    m_ShaderHelper.BindAttributes(m_uiProgram);
}

void RenderPass::BindVertexBuffers(const std::vector<VertexBufferInput>& buffers)
{
    for (const VertexBufferInput& input : buffers) {
        glBindBuffer(GL_ARRAY_BUFFER, input.m_pBuffer->m_uiName);
        glVertexAttribPointer(input.m_uiLocation, input.m_iComponents, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(input.m_uiLocation);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void RenderPass::Finish(const std::vector<VertexBufferInput>& buffers)
{
    for (auto it = buffers.rbegin(); it != buffers.rend(); ++it) glDisableVertexAttribArray(it->m_uiLocation);
    m_ShaderHelper.UnbindAttributes(m_uiProgram);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glUseProgram(0);
    m_ShaderHelper.UnbindSurfaces(m_uiProgram, m_uiFBO);
    // A colour target the owner gave BindTargets is detached as well.
    glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, 0, 0);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, 0, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

} // namespace Prismvale
