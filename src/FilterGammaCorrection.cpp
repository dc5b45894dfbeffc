#include "src/FilterGammaCorrection.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterGammaCorrection> s_Registration("OpenGL.GammaCorrection",
                                                               "src\\FilterGammaCorrection", "Gamma correction",
                                                               "OpenGL;Gamma Correction;PostProcess;");
} // namespace

FilterGammaCorrection::FilterGammaCorrection(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"GammaCorrection/GammaCorrection.comp", HookedComputePass::TargetUnit::NextFree, {"GammaValue"})
{
}

void FilterGammaCorrection::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    // The gamma input comes first, ahead of the target.
    CreatePort(hGammaIn, {PortType::Input, "Gamma Value", true});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Corrected", false});
}

void FilterGammaCorrection::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hGammaIn", hGammaIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterGammaCorrection::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{ m_Pass.Build(); }

void FilterGammaCorrection::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{ m_Pass.Release(); }

void FilterGammaCorrection::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const float* pGamma = hGammaIn->GetData();
    const float fGamma = pGamma ? *pGamma : 2.2f;
    // The gamma goes in once the target is bound, before the dispatch.
    const auto fnGamma = [&](const ComputeProgram& program) {
        glProgramUniform1f(program.m_uiName, program.Location(0), fGamma);
    };
    if (m_Pass.Run(pTarget, {}, fnGamma))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
