#include "src/FilterNormalizeColors.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterNormalizeColors> s_Registration(
    "OpenGL.NormalizeColors", "src\\FilterNormalizeColors",
    "This is a debugging filter and will convert values between [-1,1] to [0,1] range for display only",
    "OpenGL;Texture;Debug;");
} // namespace

FilterNormalizeColors::FilterNormalizeColors(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"NormalizeColors/NormalizeColors.comp", {}, SampledComputePass::DefaultSampler::Standard)
{
}

void FilterNormalizeColors::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Texture In", false});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hSamplerState, {PortType::Input, "Sampler State", true});
    CreatePort(hTextureOut, {PortType::Output, "Normalized", false});
}

void FilterNormalizeColors::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hSamplerState", hSamplerState);
}

void FilterNormalizeColors::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterNormalizeColors::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterNormalizeColors::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (m_Pass.Run(hTextureIn->GetData(), pTarget, hSamplerState->GetData())) hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
