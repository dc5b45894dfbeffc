#pragma once

#include "frame/RenderPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Prismvale {

// Draws the axes of a world matrix as three lit arrows of unit length, red
// along x, green along y and blue along z, into existing colour and depth
// targets with depth testing. The arrow mesh is built once; its two shaders
// are held here as text.
class FilterCoordinateSystem : public Ondo::OpenGL::BaseFilter {
public:
    FilterCoordinateSystem(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

    // Triangles with a position, a normal and (once coloured) a colour per
    // vertex, indexed with 32-bit indices.
    struct Mesh {
        std::vector<Ondo::Vector3f> m_Positions;
        std::vector<Ondo::Vector3f> m_Normals;
        std::vector<Ondo::Vector3f> m_Colors;
        std::vector<std::uint32_t> m_Indices;
        // Appends the other mesh's vertices after ours and its indices moved
        // on by our vertex count.
        void Append(const Mesh& other);
    };
    // The pieces of the arrow, each curved one of 40 segments around the y
    // axis: a disc of radius r at centre c facing up (+y) or down; the open
    // side of a cylinder of radius r and length L from c up; the open side
    // of a cone of base radius r and height h from its base centre c up.
    static Mesh MakeCap(const Ondo::Vector3f& c, float r, bool bUp);
    static Mesh MakeCylinderSide(const Ondo::Vector3f& c, float r, float L);
    static Mesh MakeConeSide(const Ondo::Vector3f& c, float r, float h);
    // A cylinder of radius 0.02 and length 0.97 from the origin, closed at
    // both ends, and a cone of base radius 0.07 from there to the tip at
    // (0, 1, 0), closed at its base: one arrow along +y.
    static Mesh MakeArrow();
    // Three coloured copies of the arrow: x (red), y (green), z (blue).
    static Mesh MakeAxes();

private:
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    Ondo::FlowGraph::PortHandle<MatrixPort> hMatWorldIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatViewIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatProjIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureDepthIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureTargetColor;
    // The arrow mesh on the GPU.
    Ondo::OpenGL::BufferObject m_Positions;
    Ondo::OpenGL::BufferObject m_Normals;
    Ondo::OpenGL::BufferObject m_Colors;
    Ondo::OpenGL::BufferObject m_Indices;
    GLsizei m_iIndexCount = 0;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOutColor;
    Ondo::FlowGraph::PortHandle<TexturePort> hDepthOut;
    // The framebuffer and the program (whose texts declare no ports).
    RenderPass m_Pass;
};

} // namespace Prismvale
