#pragma once

#include "frame/SampledComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

namespace Prismvale {

// Copies texels exactly: target texel p becomes the input texel p + Offset of
// mipmap level "LoD Level". Integer targets copy integer inputs of the same
// kind.
class FilterTexelCopy : public Ondo::OpenGL::BaseFilter {
public:
    FilterTexelCopy(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    Ondo::FlowGraph::PortHandle<TexturePort> hTextureIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTargetTexture;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::Vector2i>> hOffset;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<int>> hLoDLevel;
    Ondo::FlowGraph::PortHandle<Ondo::OpenGL::GLuintPort> hSamplerState;
    SampledComputePass m_Pass;
};

} // namespace Prismvale
