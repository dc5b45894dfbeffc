#pragma once

#include "frame/RenderPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <string>

namespace Prismvale {

// Draws an indexed mesh (its vertex buffers are ports its vertex shader
// declares) as a mirror of a cube map: each fragment shows the cube map in
// the direction the eye's ray leaves the surface, so a sphere shows nearly
// the whole cube map from one side. Draws into an existing colour target
// (a surface of the fragment shader) and depth target, with depth testing.
class FilterCubeMapVisualizer : public Ondo::OpenGL::BaseFilter {
public:
    FilterCubeMapVisualizer(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    Ondo::FlowGraph::PortHandle<MatrixPort> hMatWorldIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatViewIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatProjIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureDepthIn;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObjectCube>> hTextureCubeIn;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::BufferObject>> hIndicesIn;
    Ondo::FlowGraph::PortHandle<Ondo::OpenGL::GLuintPort> hSamplerState;
    GLint m_iCameraLocation = -1;
    Ondo::FlowGraph::PortHandle<TexturePort> hDepthOut;
    // The framebuffer, the program and the shader ports.
    RenderPass m_Pass;
    GLuint m_uiDefaultSampler = 0;
};

} // namespace Prismvale
