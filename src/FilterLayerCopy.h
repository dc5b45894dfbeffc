#pragma once

#include "frame/SampledComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

namespace Prismvale {

// Copies one layer of a 3D texture into a 2D target, exactly: target texel p
// becomes the input texel (p + Offset, Layer) of mipmap level "LoD Level".
// The target is written in its own format; integer targets copy integer
// volumes of the same kind.
class FilterLayerCopy : public Ondo::OpenGL::BaseFilter {
public:
    FilterLayerCopy(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using IntPort = Ondo::FlowGraph::SimplePortT<int>;

    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject3D>> hTextureIn;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>> hTargetTexture;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>> hTextureOut;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::Vector2i>> hOffset;
    Ondo::FlowGraph::PortHandle<IntPort> hLayerIndex;
    Ondo::FlowGraph::PortHandle<IntPort> hLoDLevel;
    Ondo::FlowGraph::PortHandle<Ondo::OpenGL::GLuintPort> hSamplerState;
    SampledComputePass m_Pass;
};

} // namespace Prismvale
