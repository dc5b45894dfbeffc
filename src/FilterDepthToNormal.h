#pragma once

#include "frame/RenderPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

namespace Prismvale {

// Derives view-space normals from a depth texture that the shaders declare,
// with the frustum taken from the required "Projection Matrix": one
// full-screen quad drawn into the target through the filter's framebuffer.
// The normals are signed, so the target is a float texture of three or four
// channels.
class FilterDepthToNormal : public Ondo::OpenGL::BaseFilter {
public:
    FilterDepthToNormal(Ondo::Core& core, const std::string& strName);

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
    // The program, the framebuffer and the shader ports.
    RenderPass m_Pass;
};

} // namespace Prismvale
