#include "frame/ScreenPass.h"

#include "frame/ImageUnitFormat.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/Textures.h"

#include <array>
#include <stdexcept>
#include <vector>

namespace Prismvale {

namespace {

using Ondo::OpenGL::GLSLShaderPortHooker;

std::string SizeText(const Ondo::Vector2i& size) { return std::to_string(size.x()) + " x " + std::to_string(size.y()); }

} // namespace

void RequireLinkedProgram(GLuint uiProgram)
{
    GLint iLinked = GL_FALSE;
    if (uiProgram != 0) glGetProgramiv(uiProgram, GL_LINK_STATUS, &iLinked);
    if (iLinked != GL_TRUE)
        throw std::runtime_error("the shader program did not build, so nothing can be drawn (the shader log says why)");
}

Ondo::Vector2i RequireFloatTexture(const std::string& strLabel, const Ondo::OpenGL::TextureObject2D* pTexture)
{
    if (!pTexture || pTexture->m_uiName == 0) throw std::runtime_error("\"" + strLabel + "\" carries no texture");
    const GLenum eFormat = Ondo::OpenGL::GetInternalFormat2D(pTexture->m_uiName);
    if (TexelKindOf(eFormat) != TexelKind::Float)
        throw std::runtime_error("\"" + strLabel + "\" is a " + FormatName(eFormat) + " texture of " +
                                 TexelKindName(TexelKindOf(eFormat)) +
                                 " texels, but the pass works on float values; give it a float or normalised "
                                 "format such as GL_RGBA8, GL_RGBA16F or GL_RGBA32F");
    return Ondo::OpenGL::GetImageSize2D(pTexture->m_uiName);
}

void RequireHookedTextures(const GLSLShaderPortHooker& hooker, GLuint uiProgram, const Ondo::Vector2i* pSize)
{
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    for (const GLSLShaderPortHooker::Hook& hook : hooker.GetHooks()) {
        if (hook.m_uiProgram != uiProgram || hook.m_pPort->m_eKind != GLSLShaderPortHooker::Kind::Texture) continue;
        const std::string& strLabel = hook.m_pPort->m_strLabel;
        const auto* pPort =
            hook.m_pPort->m_hPort.IsNone() ? nullptr : dynamic_cast<const TexturePort*>(hook.m_pPort->m_hPort.Get());
        const Ondo::Vector2i size = RequireFloatTexture(strLabel, pPort ? pPort->GetData() : nullptr);
        if (pSize && size != *pSize)
            throw std::runtime_error("\"" + strLabel + "\" is " + SizeText(size) + " texels, but the target is " +
                                     SizeText(*pSize) +
                                     "; the pass reads it texel for texel over the target. Give them one size");
    }
}

GLenum BindColourTarget(GLSLShaderPortHooker* pHooker, GLuint uiProgram, GLuint uiFramebuffer,
                        const std::string& strLabel, GLuint uiTarget)
{
    glBindFramebuffer(GL_FRAMEBUFFER, uiFramebuffer);
    std::vector<GLenum> drawBuffers;
    if (pHooker) drawBuffers = pHooker->BindSurfaces(uiProgram, uiFramebuffer);
    const GLenum eAttachment = GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(drawBuffers.size());
    glFramebufferTexture(GL_FRAMEBUFFER, eAttachment, uiTarget, 0);
    drawBuffers.push_back(eAttachment);
    glDrawBuffers(static_cast<GLsizei>(drawBuffers.size()), drawBuffers.data());
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        UnbindColourTarget(pHooker, uiProgram, uiFramebuffer, eAttachment);
        throw std::runtime_error("\"" + strLabel + "\" is a " +
                                 FormatName(Ondo::OpenGL::GetInternalFormat2D(uiTarget)) +
                                 " texture, which the framebuffer cannot render into; give it a format such as "
                                 "GL_RGBA8, GL_RGBA16F or GL_RGBA32F");
    }
    return eAttachment;
}

void UnbindColourTarget(GLSLShaderPortHooker* pHooker, GLuint uiProgram, GLuint uiFramebuffer, GLenum eAttachment)
{
    if (pHooker) pHooker->UnbindSurfaces(uiProgram, uiFramebuffer);
    glFramebufferTexture(GL_FRAMEBUFFER, eAttachment, 0, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void QuadBuffer::Create()
{
    Release();
    static const std::array<float, 8> corners = {-1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f, -1.0f};
    glGenBuffers(1, &m_uiBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_uiBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(corners), corners.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void QuadBuffer::Release()
{
    if (m_uiBuffer == 0) return;
    glDeleteBuffers(1, &m_uiBuffer);
    m_uiBuffer = 0;
}

void QuadBuffer::Draw() const
{
    glEnableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, m_uiBuffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

} // namespace Prismvale
