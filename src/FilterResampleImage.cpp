#include "src/FilterResampleImage.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterResampleImage> s_Registration("OpenGL.ResampleImage", "src\\FilterResampleImage",
                                                             "Copy a texture with resampling",
                                                             "OpenGL;Texture;Copy;Resample");
} // namespace

FilterResampleImage::FilterResampleImage(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"ResampleImage/ResampleImage.comp", {"invFrame"},
             SampledComputePass::DefaultSampler::RepeatMipmapped)
{
}

void FilterResampleImage::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Texture In", false});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hSamplerState, {PortType::Input, "Sampler State", true});
    CreatePort(hTextureOut, {PortType::Output, "Resampled", false});
}

void FilterResampleImage::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hSamplerState", hSamplerState);
}

void FilterResampleImage::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterResampleImage::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterResampleImage::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    // The shader maps target texel centres to normalised input coordinates
    // with the size of one target texel.
    const auto fnUniforms = [](const ComputeProgram& program, const Ondo::Vector2i& size) {
        const GLfloat invFrame[2] = {1.0f / static_cast<float>(size.x()), 1.0f / static_cast<float>(size.y())};
        glProgramUniform2fv(program.m_uiName, program.Location(0), 1, invFrame);
    };
    if (m_Pass.Run(hTextureIn->GetData(), pTarget, hSamplerState->GetData(), fnUniforms))
        hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
