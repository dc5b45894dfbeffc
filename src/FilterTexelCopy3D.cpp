#include "src/FilterTexelCopy3D.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTexelCopy3D> s_Registration("OpenGL.Texture3D.TexelCopy", "src\\FilterTexelCopy3D",
                                                           "For copying the texels from a 3D texture to another 3D texture",
                                                           "OpenGL;Texture;Copy");
} // namespace

FilterTexelCopy3D::FilterTexelCopy3D(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      // The standard sampler, not a mipmapped one: with a mipmapped
      // minification filter a volume without mipmaps is incomplete, and
      // every texel fetched from it is zero.
      m_Pass(*this, L"TexelCopy3D/TexelCopy3D.comp", {"Layer", "LodLevel", "Offset"},
             SampledComputePass::DefaultSampler::Standard, TargetKinds::Any)
{
}

void FilterTexelCopy3D::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Texture In", false});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hSamplerState, {PortType::Input, "Sampler State", true});
    CreatePort(hLoDLevel, {PortType::Input, "LoD Level", true});
    CreatePort(hOffset, {PortType::Input, "Offset", true});
    CreatePort(hTextureOut, {PortType::Output, "Copy", false});
}

void FilterTexelCopy3D::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hLoDLevel", hLoDLevel);
    serializer.Serialize("hOffset", hOffset);
    serializer.Serialize("hSamplerState", hSamplerState);
}

void FilterTexelCopy3D::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterTexelCopy3D::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterTexelCopy3D::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject3D* pTarget = hTargetTexture->GetData();
    const int* pLoDLevel = hLoDLevel->GetData();
    const Ondo::Vector2i* pOffset = hOffset->GetData();
    const GLint iLoDLevel = pLoDLevel ? *pLoDLevel : 0;
    const Ondo::Vector2i offset = pOffset ? *pOffset : Ondo::Vector2i(0, 0);
    const auto fnUniforms = [&](const ComputeProgram& program, const Ondo::Vector2i&) {
        glProgramUniform1i(program.m_uiName, program.Location(1), iLoDLevel);
        glProgramUniform2iv(program.m_uiName, program.Location(2), 1, offset.data());
    };
    const auto fnLayer = [](const ComputeProgram& program, GLint iLayer) {
        glProgramUniform1i(program.m_uiName, program.Location(0), iLayer);
    };
    if (m_Pass.Run(hTextureIn->GetData(), pTarget, hSamplerState->GetData(), fnUniforms, fnLayer))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
