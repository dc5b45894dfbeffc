#include "src/FilterLayerCopy.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterLayerCopy> s_Registration("OpenGL.Texture.LayerCopy", "src\\FilterLayerCopy",
                                                         "For copying the texels from a 3D texture to a 2D texture",
                                                         "OpenGL;Texture;Copy;Layer");
} // namespace

FilterLayerCopy::FilterLayerCopy(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"LayerCopy/LayerCopy.comp", {"Layer", "LodLevel", "Offset"},
             SampledComputePass::DefaultSampler::Standard, TargetKinds::Any)
{
}

void FilterLayerCopy::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Texture In", false});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hSamplerState, {PortType::Input, "Sampler State", true});
    CreatePort(hLayerIndex, {PortType::Input, "Layer", true});
    CreatePort(hLoDLevel, {PortType::Input, "LoD Level", true});
    CreatePort(hOffset, {PortType::Input, "Offset", true});
    CreatePort(hTextureOut, {PortType::Output, "Copy", false});
}

void FilterLayerCopy::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hLayerIndex", hLayerIndex);
    serializer.Serialize("hLoDLevel", hLoDLevel);
    serializer.Serialize("hOffset", hOffset);
    serializer.Serialize("hSamplerState", hSamplerState);
}

void FilterLayerCopy::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterLayerCopy::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterLayerCopy::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const int* pLayer = hLayerIndex->GetData();
    const int* pLoDLevel = hLoDLevel->GetData();
    const Ondo::Vector2i* pOffset = hOffset->GetData();
    const GLint iLayer = pLayer ? *pLayer : 0;
    const GLint iLoDLevel = pLoDLevel ? *pLoDLevel : 0;
    const Ondo::Vector2i offset = pOffset ? *pOffset : Ondo::Vector2i(0, 0);
    const auto fnUniforms = [&](const ComputeProgram& program, const Ondo::Vector2i&) {
        glProgramUniform1i(program.m_uiName, program.Location(0), iLayer);
        glProgramUniform1i(program.m_uiName, program.Location(1), iLoDLevel);
        glProgramUniform2iv(program.m_uiName, program.Location(2), 1, offset.data());
    };
    if (m_Pass.Run(hTextureIn->GetData(), pTarget, hSamplerState->GetData(), fnUniforms))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
