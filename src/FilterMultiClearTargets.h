#pragma once

#include "frame/DynamicPorts.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

namespace Prismvale {

// Clears a chosen number (1 to 20) of 2D textures with one framebuffer clear
// and passes each on: colour textures to the clear colour, depth textures to
// the clear depth. Depth-stencil textures are passed on uncleared. Each
// target has an input "Target<i>" and an output "Clear Target<i>".
class FilterMultiClearTargets : public Ondo::OpenGL::BaseFilter {
public:
    static constexpr int MaxTargets = 20;

    FilterMultiClearTargets(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    void RebuildPorts();
    void ClearTargets();

    int m_iNumOfTargets = 1;
    GLuint m_uiFBO = 0;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::Vector4f>> hInClearColor;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<float>> hInClearDepth;
    DynamicPorts<TexturePort> m_DynamicPortsOut;
    DynamicPorts<TexturePort> m_DynamicPortsIn;
};

} // namespace Prismvale
