#include "src/FilterMakeRedCyan.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterMakeRedCyan> s_Registration("OpenGL.MakeRedCyan", "src\\FilterMakeRedCyan",
                                                           "Combine two images to a red/cyan 3D anaglyph image", "OpenGL;Texture;3D;anaglyph;Stereo");
} // namespace

FilterMakeRedCyan::FilterMakeRedCyan(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"MakeRedCyan/MakeRedCyan.comp", HookedComputePass::TargetUnit::NextFree)
{
}

void FilterMakeRedCyan::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Red/Cyan", false});
}

void FilterMakeRedCyan::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterMakeRedCyan::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterMakeRedCyan::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterMakeRedCyan::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (m_Pass.Run(pTarget)) hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
