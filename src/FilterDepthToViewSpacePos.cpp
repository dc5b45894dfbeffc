#include "src/FilterDepthToViewSpacePos.h"

#include "src/ProjectionUniforms.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterDepthToViewSpacePos> s_Registration(
    "OpenGL.Texture.DepthToViewSpacePosition", "src\\FilterDepthToViewSpacePos",
    "For reconstructing the viewspace position from the depth buffer", "OpenGL;Texture;Depth;Reconstruct");
} // namespace

FilterDepthToViewSpacePos::FilterDepthToViewSpacePos(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"DepthToViewSpacePos/DepthToViewSpacePos.comp", HookedComputePass::TargetUnit::Two)
{
}

void FilterDepthToViewSpacePos::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hProjectionMatrix, {PortType::Input, "Projection Matrix", false});
    CreatePort(hTextureOut, {PortType::Output, "Viewspace Position", false});
}

void FilterDepthToViewSpacePos::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hProjectionMatrix", hProjectionMatrix);
}

void FilterDepthToViewSpacePos::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterDepthToViewSpacePos::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterDepthToViewSpacePos::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (RunProjectionPass(*this, m_Pass, pTarget, hProjectionMatrix->GetData()))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
