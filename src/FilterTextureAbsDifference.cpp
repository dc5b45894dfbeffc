#include "src/FilterTextureAbsDifference.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureAbsDifference> s_Registration(
    "OpenGL.Texture.AbsDifference", "src\\FilterTextureAbsDifference",
    "For computing the absolute difference between two images", "OpenGL;Texture;Difference");

// The shader's "Amplifier" uniform.
constexpr GLint AmplifierLocation = 0;
} // namespace

FilterTextureAbsDifference::FilterTextureAbsDifference(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"TextureAbsDifference/TextureAbsDifference.comp", HookedComputePass::TargetUnit::Two)
{
}

void FilterTextureAbsDifference::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hAmplifier, {PortType::Input, "Amplifier", true});
    CreatePort(hTextureOut, {PortType::Output, "Abs Difference", false});
}

void FilterTextureAbsDifference::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hAmplifier", hAmplifier);
}

void FilterTextureAbsDifference::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterTextureAbsDifference::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
}

void FilterTextureAbsDifference::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const float* pAmplifier = hAmplifier->GetData();
    const float fAmplifier = pAmplifier ? *pAmplifier : 1.0f;
    // The amplifier goes in once the target is bound, before the dispatch.
    const auto fnAmplifier = [&](const ComputeProgram& program) {
        glProgramUniform1f(program.m_uiName, AmplifierLocation, fAmplifier);
    };
    if (m_Pass.Run(pTarget, {}, fnAmplifier))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
