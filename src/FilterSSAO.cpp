#include "src/FilterSSAO.h"

#include "frame/DescriptorList.h"
#include "frame/DynamicPorts.h"
#include "frame/RenderPass.h"
#include "frame/ShaderPrograms.h"

#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Instrumenter.h"

#include <cmath>
#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterSSAO> s_Registration("OpenGL.SSAO", "src\\FilterSSAO",
                                                    "Multiplies texture by SSAO contribution", "OpenGL;Deferred;Effects;");

// The program's fixed interface, documented in the shaders.
constexpr GLint MaxDistanceLocation = 0;
constexpr GLint SampleCountLocation = 1;
constexpr GLint TanHalfFovLocation = 2;
constexpr GLint ViewMatrixLocation = 3;
constexpr int MaxSamples = 64;

const wchar_t* const VertexFile = L"SSAO/SSAO.vert";
const wchar_t* const FragmentFile = L"SSAO/SSAO.frag";

// Occluders are looked for within a positive, finite distance.
bool IsMaxDistance(float fDistance) { return fDistance > 0.0f && std::isfinite(fDistance); }

std::string MaxDistanceProblem(float fDistance)
{
    return "is " + std::to_string(fDistance) + ", but occluders are looked for within a positive distance; give it one";
}
} // namespace

FilterSSAO::FilterSSAO(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}

void FilterSSAO::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hFOVIn, {PortType::Input, "Field of View", false});
    CreatePort(hViewMatIn, {PortType::Input, "View Matrix", false});
    CreatePort(hColorIn, {PortType::Input, "Color", false});
    CreatePort(hNormalIn, {PortType::Input, "Normal", false});
    CreatePort(hPositionIn, {PortType::Input, "WorldSpace", false});
    CreatePort(hColorOut, {PortType::Output, "Color Out", false});
}

void FilterSSAO::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("hFOVIn", hFOVIn);
    serializer.Serialize("hViewMatIn", hViewMatIn);
    serializer.Serialize("hColorIn", hColorIn);
    serializer.Serialize("hPositionIn", hPositionIn);
    serializer.Serialize("hNormalIn", hNormalIn);
    serializer.Serialize("hColorOut", hColorOut);
    serializer.Serialize("bBypass", bBypass);
    float fStored = fDMax;
    serializer.Serialize("fDMax", fStored);
    if (serializer.IsReader() && !IsMaxDistance(fStored))
        throw Ondo::ExceptionParsing("\"fDMax\" " + MaxDistanceProblem(fStored));
    fDMax = fStored;
    // Stored sample counts outside the control's range are refused.
    SerializeCount(serializer, "iNumSamples", iNumSamples, MaxSamples);
}

// The settings are read at each run: the controls need no callback.
void FilterSSAO::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    instrumenter.AddText("This is an implementation of SSAO.");
    instrumenter.AddBool("Bypass", &bBypass, {});
    instrumenter.AddFloat("Max occlusion distance", &fDMax, {});
    instrumenter.AddIntSlider("Number of samples", &iNumSamples, 1, MaxSamples, 1, {});
}

void FilterSSAO::InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context)
{
    ReleaseResources(device, context);
    m_uiProgram = BuildProgram({{GL_VERTEX_SHADER, ShaderPath(VertexFile)}, {GL_FRAGMENT_SHADER, ShaderPath(FragmentFile)}});
    m_Quad.Create();
    glGenSamplers(1, &m_uiSampler);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenFramebuffers(1, &m_uiFBO);
}

// The quad buffer goes as well: every object the filter made is deleted.
void FilterSSAO::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    if (m_uiProgram != 0) {
        ReleaseProgram(m_uiProgram);
        m_uiProgram = 0;
    }
    if (m_uiSampler != 0) {
        glDeleteSamplers(1, &m_uiSampler);
        m_uiSampler = 0;
    }
    if (m_uiFBO != 0) {
        glDeleteFramebuffers(1, &m_uiFBO);
        m_uiFBO = 0;
    }
    m_Quad.Release();
}

float FilterSSAO::TanHalfFieldOfView(const float* pDegrees)
{
    if (!pDegrees) return std::tan(0.39269909f);
    if (!(*pDegrees > 0.0f && *pDegrees < 180.0f))
        throw std::runtime_error("\"Field of View\" is " + std::to_string(*pDegrees) +
                                 " degrees; a camera's field of view lies between 0 and 180 degrees");
    return std::tan(*pDegrees * 0.017453292f * 0.5f);
}

void FilterSSAO::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pColour = hColorIn->GetData();
    // Bypassed, the colour passes through and no GL state is touched.
    if (bBypass) {
        hColorOut->SetData(pColour, true);
        return;
    }

    // Everything is checked before the GL state changes.
    RequireLinkedProgram(m_uiProgram);
    const Ondo::Vector2i size = RequireFloatTexture("Color", pColour);
    const Ondo::OpenGL::TextureObject2D* pPosition = hPositionIn->GetData();
    const Ondo::OpenGL::TextureObject2D* pNormal = hNormalIn->GetData();
    RequireFloatTexture("WorldSpace", pPosition);
    RequireFloatTexture("Normal", pNormal);
    if (pColour->m_uiName == pPosition->m_uiName || pColour->m_uiName == pNormal->m_uiName)
        throw std::runtime_error("\"Color\" is the same texture as \"" +
                                 std::string(pColour->m_uiName == pPosition->m_uiName ? "WorldSpace" : "Normal") +
                                 "\", which the pass would read while it blends into it; give it a colour texture "
                                 "of its own");
    const Ondo::Matrix44f& view = RequireMatrix(hViewMatIn->GetData(), "View Matrix");
    const float fTanHalfFov = TanHalfFieldOfView(hFOVIn->GetData());
    // The control takes any number.
    if (!IsMaxDistance(fDMax)) throw std::runtime_error("\"Max occlusion distance\" " + MaxDistanceProblem(fDMax));

    const GLenum eAttachment = BindColourTarget(nullptr, m_uiProgram, m_uiFBO, "Color", pColour->m_uiName);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
    glViewport(0, 0, size.x(), size.y());
    glUseProgram(m_uiProgram);
    // The output multiplies the colour already in the texture; the blend
    // function in force before is put back afterwards.
    GLint blend[4] = {GL_ONE, GL_ZERO, GL_ONE, GL_ZERO};
    glGetIntegerv(GL_BLEND_SRC_RGB, &blend[0]);
    glGetIntegerv(GL_BLEND_DST_RGB, &blend[1]);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &blend[2]);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &blend[3]);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glEnable(GL_BLEND);
    glBindSampler(0, m_uiSampler);
    glBindSampler(1, m_uiSampler);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, pPosition->m_uiName);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, pNormal->m_uiName);
    glUniform1f(MaxDistanceLocation, fDMax);
    glUniform1i(SampleCountLocation, iNumSamples);
    glUniform1f(TanHalfFovLocation, fTanHalfFov);
    glUniformMatrix4fv(ViewMatrixLocation, 1, GL_FALSE, view.data());
    m_Quad.Draw();

    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindSampler(0, 0);
    glBindSampler(1, 0);
    glDisable(GL_BLEND);
    glBlendFuncSeparate(static_cast<GLenum>(blend[0]), static_cast<GLenum>(blend[1]), static_cast<GLenum>(blend[2]),
                        static_cast<GLenum>(blend[3]));
    glUseProgram(0);
    UnbindColourTarget(nullptr, m_uiProgram, m_uiFBO, eAttachment);
    hColorOut->SetData(pColour, true);
}

} // namespace Prismvale
