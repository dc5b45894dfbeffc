#pragma once

#include "frame/RenderPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <string>

namespace Prismvale {

// Draws the contents of a buffer of 3-float positions as GL points of one
// colour (red unless "Color" holds one) into an existing colour target (a
// surface its fragment shader declares), tested against and written into an
// existing depth target, so that the points show inside a rendered scene.
class FilterBufferAsPoints : public Ondo::OpenGL::BaseFilter {
public:
    FilterBufferAsPoints(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

    // The size glPointSize is given for a "PointSize" value: the value,
    // raised to the smallest positive normal float, since the GL refuses
    // sizes of 0 and below.
    static float PointSizeFor(float fValue);

private:
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    Ondo::FlowGraph::PortHandle<MatrixPort> hMatWorldIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatViewIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatProjIn;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::Vector3f>> hColor;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<float>> hPointSize;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureDepthIn;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::BufferObject>> hBufferIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hDepthOut;
    // The framebuffer, the program and the shader ports.
    RenderPass m_Pass;
};

} // namespace Prismvale
