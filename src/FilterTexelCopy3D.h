#pragma once

#include "frame/SampledComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

namespace Prismvale {

// Copies a 3D texture into a 3D target, one layer per dispatch: texel p of
// target layer z becomes the input texel (p + Offset, z) of mipmap level
// "LoD Level". The target is written in its own format; integer targets copy
// integer volumes of the same kind.
class FilterTexelCopy3D : public Ondo::OpenGL::BaseFilter {
public:
    FilterTexelCopy3D(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using VolumePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject3D>;

    Ondo::FlowGraph::PortHandle<VolumePort> hTextureIn;
    Ondo::FlowGraph::PortHandle<VolumePort> hTargetTexture;
    Ondo::FlowGraph::PortHandle<VolumePort> hTextureOut;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::Vector2i>> hOffset;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<int>> hLoDLevel;
    Ondo::FlowGraph::PortHandle<Ondo::OpenGL::GLuintPort> hSamplerState;
    SampledComputePass m_Pass;
};

} // namespace Prismvale
