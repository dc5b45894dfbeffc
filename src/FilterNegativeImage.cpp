#include "src/FilterNegativeImage.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterNegativeImage> s_Registration("OpenGL.NegativeImage", "src\\FilterNegativeImage",
                                                             "Compute the negative image", "OpenGL;Texture;Negative;");
} // namespace

FilterNegativeImage::FilterNegativeImage(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"NegativeImage/NegativeImage.comp", HookedComputePass::TargetUnit::NextFree)
{
}

void FilterNegativeImage::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Negative Image", false});
}

void FilterNegativeImage::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterNegativeImage::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterNegativeImage::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterNegativeImage::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (m_Pass.Run(pTarget)) hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
