#include "src/FilterTextureScalarMultiply.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureScalarMultiply> s_Registration(
    "OpenGL.Texture.ScalarMultiply", "src\\FilterTextureScalarMultiply", "For scaling the values in a texture",
    "OpenGL;Texture;Multiply;Scale");

// The shader's "Scale" uniform.
constexpr GLint ScaleLocation = 0;
} // namespace

FilterTextureScalarMultiply::FilterTextureScalarMultiply(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"TextureScalarMultiply/TextureScalarMultiply.comp", HookedComputePass::TargetUnit::Two)
{
}

void FilterTextureScalarMultiply::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hScalarIn, {PortType::Input, "Factor", true});
    CreatePort(hTextureOut, {PortType::Output, "Product", false});
}

void FilterTextureScalarMultiply::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hScalarIn", hScalarIn);
}

void FilterTextureScalarMultiply::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterTextureScalarMultiply::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
}

void FilterTextureScalarMultiply::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const float* pFactor = hScalarIn->GetData();
    const float fFactor = pFactor ? *pFactor : 1.0f;
    // The factor goes in right after the program is put to use.
    const auto fnFactor = [&](const ComputeProgram& program) {
        glProgramUniform1f(program.m_uiName, ScaleLocation, fFactor);
    };
    if (m_Pass.Run(pTarget, fnFactor))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
