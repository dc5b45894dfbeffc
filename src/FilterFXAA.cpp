#include "src/FilterFXAA.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/OpenGL/Device.h"
#include "Ondo/OpenGL/Textures.h"

#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterFXAA> s_Registration("OpenGL.FXAA", "src\\FilterFXAA", "FXAA Antialiasing pass",
                                                    "OpenGL;FXAA;Antialiasing;PostProcess");

constexpr GLint ReciprocalFrameLocation = 0;
constexpr float MaxAnisotropy = 4.0f;
} // namespace

FilterFXAA::FilterFXAA(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName), m_Pass(*this, L"FXAA/TinyFxaa.vert", L"FXAA/TinyFxaa.frag")
{
}

void FilterFXAA::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Input Texture", false});
    CreatePort(hTextureTargetIn, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Out", false});
}

void FilterFXAA::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    // The hooker's state goes into its own element, "ShaderHelper".
    serializer.Serialize("ShaderHelper", m_Pass.GetHooker());
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTextureTargetIn", hTextureTargetIn);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterFXAA::RequireAnisotropicFiltering(bool bHasExtension)
{
    if (!bHasExtension)
        throw std::runtime_error(
            "FXAA requires support for anisotropic filtering. You don't have that (GL_EXT_texture_filter_anisotropic)!");
}

void FilterFXAA::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    RequireAnisotropicFiltering(Ondo::OpenGL::HasExtension("GL_EXT_texture_filter_anisotropic"));
    m_Pass.Build();
    if (m_uiSampler == 0) m_uiSampler = Ondo::OpenGL::CreateDefaultSamplerState();
    glSamplerParameterf(m_uiSampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, MaxAnisotropy);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    m_Quad.Create();
}

void FilterFXAA::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
    m_Quad.Release();
    if (m_uiSampler != 0) {
        glDeleteSamplers(1, &m_uiSampler);
        m_uiSampler = 0;
    }
}

void FilterFXAA::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes.
    const GLuint uiProgram = m_Pass.GetProgram();
    RequireLinkedProgram(uiProgram);
    const Ondo::OpenGL::TextureObject2D* pInput = hTextureIn->GetData();
    Ondo::OpenGL::TextureObject2D* pTarget = hTextureTargetIn->GetData();
    // The viewport and the reciprocal frame size follow the input, not the
    // target: a smaller input fills the lower-left part of the target.
    const Ondo::Vector2i size = RequireFloatTexture("Input Texture", pInput);
    RequireFloatTexture("Target Texture", pTarget);
    if (pInput->m_uiName == pTarget->m_uiName)
        throw std::runtime_error("\"Input Texture\" and \"Target Texture\" are the same texture, which the pass "
                                 "would read while it writes it; give it a target of its own");
    RequireHookedTextures(m_Pass.GetHooker(), uiProgram);

    // Unit 0 is the input's; inputs the shaders declare take the units after it.
    m_Pass.GetHooker().UpdateUniformVariables(uiProgram, 1);
    const GLenum eAttachment = BindColourTarget(&m_Pass.GetHooker(), uiProgram, m_Pass.GetFramebuffer(),
                                                "Target Texture", pTarget->m_uiName);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glViewport(0, 0, size.x(), size.y());
    const float reciprocal[2] = {1.0f / static_cast<float>(size.x()), 1.0f / static_cast<float>(size.y())};
    glProgramUniform2fv(uiProgram, ReciprocalFrameLocation, 1, reciprocal);
    glUseProgram(uiProgram);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, pInput->m_uiName);
    glBindSampler(0, m_uiSampler);
    m_Quad.Draw();
    glBindSampler(0, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glUseProgram(0);
    UnbindColourTarget(&m_Pass.GetHooker(), uiProgram, m_Pass.GetFramebuffer(), eAttachment);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    m_Pass.GetHooker().SetOutputs();
    hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
