#include "src/FilterShadeBuffer.h"

#include "frame/ComputePass.h"
#include "frame/DescriptorList.h"
#include "frame/ImageUnitFormat.h"
#include "frame/RenderPass.h"
#include "frame/ShaderPrograms.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/OpenGL/Textures.h"

#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterShadeBuffer> s_Registration("OpenGL.ShadeBuffer", "src\\FilterShadeBuffer",
                                                           "For shading a deferred Buffer",
                                                           "OpenGL;Deferred;Shading;");

const wchar_t* const ShaderFile = L"ShadeBuffer/ShadeBuffer.comp";
constexpr float DefaultShininess = 90.0f;
constexpr GLint ShininessLocation = 0;

std::string SizeText(const Ondo::Vector2i& size) { return std::to_string(size.x()) + " x " + std::to_string(size.y()); }
} // namespace

FilterShadeBuffer::FilterShadeBuffer(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName), m_ShaderHelper(*this)
{
}

void FilterShadeBuffer::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hMatWorldIn, {PortType::Input, "World Matrix", true});
    CreatePort(hMatViewMatrixIn, {PortType::Input, "View Matrix", false});
    CreatePort(hInLight, {PortType::Input, "Light Source", false});
    CreatePort(hTargetTexture, {PortType::Input, "TargetTexture", false});
    CreatePort(hShininess, {PortType::Input, "Shininess", true});
    CreatePort(hTextureOut, {PortType::Output, "Shaded", false});
}

void FilterShadeBuffer::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    // The hooker's ports go straight into the filter's own element.
    m_ShaderHelper.Serialize(serializer);
    serializer.Serialize("hMatWorldIn", hMatWorldIn);
    serializer.Serialize("hMatViewMatrixIn", hMatViewMatrixIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hInLight", hInLight);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hShininess", hShininess);
}

void FilterShadeBuffer::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    // Its own program: the light uniforms stay in it between runs.
    m_uiProgram = BuildProgram({{GL_COMPUTE_SHADER, ShaderPath(ShaderFile)}}, std::wstring(), ProgramSharing::Own);
    m_WorkGroupSize = {0, 0, 0};
    GLint iLinked = GL_FALSE;
    glGetProgramiv(m_uiProgram, GL_LINK_STATUS, &iLinked);
    if (iLinked == GL_TRUE) glGetProgramiv(m_uiProgram, GL_COMPUTE_WORK_GROUP_SIZE, m_WorkGroupSize.data());
    m_ShaderHelper.RemoveAllShaderPorts();
    m_ShaderHelper.AddPortsFromShaderFile(m_uiProgram, ShaderPath(ShaderFile), std::wstring());
    // A new program holds no light yet.
    m_bLightDirty = true;
}

void FilterShadeBuffer::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    if (m_uiProgram != 0) {
        m_ShaderHelper.RemoveHooks(m_uiProgram);
        ReleaseProgram(m_uiProgram);
        m_uiProgram = 0;
    }
}

Ondo::Vector2i FilterShadeBuffer::CheckTextures(const Ondo::OpenGL::TextureObject2D* pTarget)
{
    // A program that did not link, or one whose work groups are not the
    // 16 x 16 tiles the dispatch counts with, would leave texels unshaded.
    if (m_WorkGroupSize != std::array<GLint, 3>{16, 16, 1})
        throw std::runtime_error("the compute shader did not build with 16 x 16 x 1 work groups, so nothing can be "
                                 "shaded (the shader log says why)");
    if (!pTarget || pTarget->m_uiName == 0) throw std::runtime_error("\"TargetTexture\" carries no texture");
    const GLenum eFormat = Ondo::OpenGL::GetInternalFormat2D(pTarget->m_uiName);
    if (eFormat != GL_RGBA8)
        throw std::runtime_error("\"TargetTexture\" is a " + FormatName(eFormat) +
                                 " texture, but the shaded colours are written as GL_RGBA8; give it that format");
    const Ondo::Vector2i size = Ondo::OpenGL::GetImageSize2D(pTarget->m_uiName);

    using Kind = Ondo::OpenGL::GLSLShaderPortHooker::Kind;
    for (const Ondo::OpenGL::GLSLShaderPortHooker::Hook& hook : m_ShaderHelper.GetHooks()) {
        if (hook.m_uiProgram != m_uiProgram || hook.m_pPort->m_eKind != Kind::Texture) continue;
        const std::string& strLabel = hook.m_pPort->m_strLabel;
        const auto* pPort =
            hook.m_pPort->m_hPort.IsNone() ? nullptr : dynamic_cast<const TexturePort*>(hook.m_pPort->m_hPort.Get());
        const Ondo::OpenGL::TextureObject2D* pTexture = pPort ? pPort->GetData() : nullptr;
        if (!pTexture || pTexture->m_uiName == 0) throw std::runtime_error("\"" + strLabel + "\" carries no texture");
        const GLenum eInput = Ondo::OpenGL::GetInternalFormat2D(pTexture->m_uiName);
        if (TexelKindOf(eInput) != TexelKind::Float)
            throw std::runtime_error("\"" + strLabel + "\" is a " + FormatName(eInput) + " texture of " +
                                     TexelKindName(TexelKindOf(eInput)) +
                                     " texels, but the shader reads float texels; give it a float or normalised "
                                     "format such as GL_RGBA16F");
        // Texels outside a smaller G-buffer would read as "nothing drawn".
        const Ondo::Vector2i inputSize = Ondo::OpenGL::GetImageSize2D(pTexture->m_uiName);
        if (inputSize != size)
            throw std::runtime_error("\"" + strLabel + "\" is " + SizeText(inputSize) +
                                     " texels, but \"TargetTexture\" is " + SizeText(size) +
                                     "; the G-buffer and the target are read texel for texel. Give them one size");
    }
    return size;
}

void FilterShadeBuffer::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes.
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const Ondo::Vector2i size = CheckTextures(pTarget);
    const Ondo::GFX::LightSource* pLight = hInLight->GetData();
    if (!pLight) throw std::runtime_error("\"Light Source\" carries no light");
    const Ondo::Matrix44f* pWorld = hMatWorldIn->GetData();
    const Ondo::Matrix44f& view = RequireMatrix(hMatViewMatrixIn->GetData(), "View Matrix");
    // The eye in the space of the G-buffer's positions.
    const std::optional<Ondo::Vector3f> eye = EyePosition(pWorld ? view * *pWorld : view);
    if (!eye) throw std::runtime_error("\"View Matrix\" times \"World Matrix\" has no inverse, so there is no eye");
    const float* pShininess = hShininess->GetData();

    glProgramUniform3fv(m_uiProgram, glGetUniformLocation(m_uiProgram, "CameraPosition"), 1, eye->data());
    glProgramUniform1f(m_uiProgram, ShininessLocation, pShininess ? *pShininess : DefaultShininess);
    glUseProgram(m_uiProgram);
    m_ShaderHelper.UpdateUniformVariables(m_uiProgram, 0);
    if (hInLight->HasChanged() || m_bLightDirty) UploadLight(m_uiProgram, *pLight);

    glActiveTexture(GL_TEXTURE3);
    glBindImageTexture(3, pTarget->m_uiName, 0, GL_FALSE, 0, GL_WRITE_ONLY, GL_RGBA8);
    glDispatchCompute(GroupCount16(size.x()), GroupCount16(size.y()), 1);
    glUseProgram(0);
    glBindImageTexture(3, 0, 0, GL_FALSE, 0, GL_WRITE_ONLY, GL_RGBA8);
    glActiveTexture(GL_TEXTURE0);
    MakeImageStoresVisible();
    m_ShaderHelper.SetOutputs();

    hTextureOut->SetData(pTarget, true);
    m_bLightDirty = false;
}

} // namespace Prismvale
