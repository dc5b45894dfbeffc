#include "src/FilterTextureMultiply.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureMultiply> s_Registration("OpenGL.Texture.Multiply", "src\\FilterTextureMultiply",
                                                               "For multiplying two textures", "OpenGL;Texture;Multiply");
} // namespace

FilterTextureMultiply::FilterTextureMultiply(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"TextureMultiply/TextureMultiply.comp", HookedComputePass::TargetUnit::Two, {}, TargetKinds::Any)
{
}

void FilterTextureMultiply::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Sum", false});
}

void FilterTextureMultiply::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterTextureMultiply::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterTextureMultiply::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterTextureMultiply::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (m_Pass.Run(pTarget)) hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
