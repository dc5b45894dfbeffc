#pragma once

#include "frame/ComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

namespace Prismvale {

// Writes RGB^(1 / Gamma) of an image into the target texture, alpha kept; the
// image is a port the shader declares, the gamma an optional input of the
// filter (2.2 while it holds no value). The target is written through the
// first image unit after the shader's own.
class FilterGammaCorrection : public Ondo::OpenGL::BaseFilter {
public:
    FilterGammaCorrection(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    using FloatPort = Ondo::FlowGraph::SimplePortT<float>;

    Ondo::FlowGraph::PortHandle<TexturePort> hTargetTexture;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
    Ondo::FlowGraph::PortHandle<FloatPort> hGammaIn;
    // Addresses the shader's "GammaValue" by its looked-up location.
    HookedComputePass m_Pass;
};

} // namespace Prismvale
