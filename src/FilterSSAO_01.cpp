#include "src/FilterSSAO_01.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterSSAO_01> s_Registration("OpenGL.SSAO_01", "src\\FilterSSAO_01",
                                                       "SSAO Example (not done yet)", "OpenGL;SSAO;AO;Ambient Occlusion;");
} // namespace

FilterSSAO_01::FilterSSAO_01(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"SSAO_01/SSAO_01.comp", HookedComputePass::TargetUnit::Two)
{
}

void FilterSSAO_01::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Ambient Occlusion", false});
}

void FilterSSAO_01::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    // The hooker's state goes into its own element, "ShaderHelper".
    serializer.Serialize("ShaderHelper", m_Pass.GetHooker());
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterSSAO_01::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterSSAO_01::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterSSAO_01::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (m_Pass.Run(pTarget)) hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
