#pragma once

#include "frame/ComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

namespace Prismvale {

// Writes A x Factor into the target texture, texel by texel; the image is a
// port the shader declares, the factor an optional input of the filter (1.0
// while it holds no value).
class FilterTextureScalarMultiply : public Ondo::OpenGL::BaseFilter {
public:
    FilterTextureScalarMultiply(Ondo::Core& core, const std::string& strName);

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
    Ondo::FlowGraph::PortHandle<FloatPort> hScalarIn;
    HookedComputePass m_Pass;
};

} // namespace Prismvale
