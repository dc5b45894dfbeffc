#include "src/FilterLinearizeDepth.h"

#include "src/ProjectionUniforms.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterLinearizeDepth> s_Registration(
    "OpenGL.Texture.LinearizeDepth", "src\\FilterLinearizeDepth",
    "For linearizing a depth texture", "OpenGL;Texture;Depth");
} // namespace

FilterLinearizeDepth::FilterLinearizeDepth(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"LinearizeDepth/LinearizeDepth.comp", HookedComputePass::TargetUnit::Two)
{
}

void FilterLinearizeDepth::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hProjectionMatrix, {PortType::Input, "Projection Matrix", false});
    CreatePort(hTextureOut, {PortType::Output, "Lin. Depth", false});
}

void FilterLinearizeDepth::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    // The hooker's state lives in its own element.
    serializer.Serialize("ShaderHelper", m_Pass.GetHooker());
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hProjectionMatrix", hProjectionMatrix);
}

void FilterLinearizeDepth::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterLinearizeDepth::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterLinearizeDepth::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (RunProjectionPass(*this, m_Pass, pTarget, hProjectionMatrix->GetData()))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
