#pragma once

#include "frame/ComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

namespace Prismvale {

// Writes |A - B| x Amplifier into the target texture, texel by texel; the two
// images are ports the shader declares, the amplifier an optional input of
// the filter (1.0 while it holds no value).
class FilterTextureAbsDifference : public Ondo::OpenGL::BaseFilter {
public:
    FilterTextureAbsDifference(Ondo::Core& core, const std::string& strName);

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
    Ondo::FlowGraph::PortHandle<FloatPort> hAmplifier;
    HookedComputePass m_Pass;
};

} // namespace Prismvale
