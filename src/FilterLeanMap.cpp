#include "src/FilterLeanMap.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterLeanMap> s_Registration("OpenGL.Texture.LeanMap", "src\\FilterLeanMap",
                                                       "For creating a lean map from a normal map",
                                                       "OpenGL;Texture;NormalMap");
} // namespace

// The input is read texel by texel (texelFetch), which no sampler's filter or
// wrap mode changes, so no sampler is bound.
FilterLeanMap::FilterLeanMap(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"LeanMap/LeanMap.comp", {}, SampledComputePass::DefaultSampler::None)
{
}

void FilterLeanMap::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Texture In", false});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hSamplerState, {PortType::Input, "Sampler State", true});
    CreatePort(hTextureOut, {PortType::Output, "LeanMap", false});
}

void FilterLeanMap::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hSamplerState", hSamplerState);
}

void FilterLeanMap::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterLeanMap::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterLeanMap::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (m_Pass.Run(hTextureIn->GetData(), pTarget, nullptr)) hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
