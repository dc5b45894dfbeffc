#include "src/FilterLogLuminance.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterLogLuminance> s_Registration("OpenGL.LogLuminance", "src\\FilterLogLuminance",
                                                            "Compute the log(Intensity) of an image", "OpenGL;Texture;Autoexposure;Log;");
} // namespace

FilterLogLuminance::FilterLogLuminance(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"LogLuminance/LogLuminance.comp", HookedComputePass::TargetUnit::NextFree)
{
}

void FilterLogLuminance::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Negative Image", false});
}

void FilterLogLuminance::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterLogLuminance::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterLogLuminance::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterLogLuminance::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (m_Pass.Run(pTarget)) hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
