#pragma once

#include "frame/ComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

namespace Prismvale {

// Reconstructs the view-space position of each texel of a depth texture the
// shader declares, with the frustum taken from the required "Projection
// Matrix" input.
class FilterDepthToViewSpacePos : public Ondo::OpenGL::BaseFilter {
public:
    FilterDepthToViewSpacePos(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;

    Ondo::FlowGraph::PortHandle<TexturePort> hTargetTexture;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
    Ondo::FlowGraph::PortHandle<MatrixPort> hProjectionMatrix;
    HookedComputePass m_Pass;
};

} // namespace Prismvale
