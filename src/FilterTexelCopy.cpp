#include "src/FilterTexelCopy.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTexelCopy> s_Registration("OpenGL.Texture.TexelCopy", "src\\FilterTexelCopy",
                                                         "For copying the texels from one texture to another",
                                                         "OpenGL;Texture;Copy");
} // namespace

FilterTexelCopy::FilterTexelCopy(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"TexelCopy/TexelCopy.comp", {"LodLevel", "Offset"},
             SampledComputePass::DefaultSampler::Standard, TargetKinds::Any)
{
}

void FilterTexelCopy::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Texture In", false});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hSamplerState, {PortType::Input, "Sampler State", true});
    CreatePort(hLoDLevel, {PortType::Input, "LoD Level", true});
    CreatePort(hOffset, {PortType::Input, "Offset", true});
    CreatePort(hTextureOut, {PortType::Output, "Copy", false});
}

void FilterTexelCopy::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hLoDLevel", hLoDLevel);
    serializer.Serialize("hOffset", hOffset);
    serializer.Serialize("hSamplerState", hSamplerState);
}

void FilterTexelCopy::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterTexelCopy::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterTexelCopy::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const int* pLoDLevel = hLoDLevel->GetData();
    const Ondo::Vector2i* pOffset = hOffset->GetData();
    const GLint iLoDLevel = pLoDLevel ? *pLoDLevel : 0;
    const Ondo::Vector2i offset = pOffset ? *pOffset : Ondo::Vector2i(0, 0);
    const auto fnUniforms = [&](const ComputeProgram& program, const Ondo::Vector2i&) {
        glProgramUniform1i(program.m_uiName, program.Location(0), iLoDLevel);
        glProgramUniform2iv(program.m_uiName, program.Location(1), 1, offset.data());
    };
    if (m_Pass.Run(hTextureIn->GetData(), pTarget, hSamplerState->GetData(), fnUniforms))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
