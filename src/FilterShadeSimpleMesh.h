#pragma once

#include "frame/RenderPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/GFX/LightSource.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <array>
#include <string>
#include <vector>

namespace Prismvale {

// Draws a mesh uploaded by the mesh upload straight into colour targets,
// lit by one light: one draw per material group with the group's material
// colours (no textures), so it also shades meshes without any. The vertex
// buffers and colour targets are ports the shaders declare; the depth target
// is an input, tested against and written. Nothing is cleared.
class FilterShadeSimpleMesh : public Ondo::OpenGL::BaseFilter {
public:
    FilterShadeSimpleMesh(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    using BufferPort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::BufferObject>;
    using GroupsPort = Ondo::FlowGraph::SimplePortT<std::vector<Ondo::OpenGL::SimpleMaterialGroup>>;
    using MaterialsPort = Ondo::FlowGraph::SimplePortT<std::vector<Ondo::OpenGL::SimpleMaterial>>;

    // Refuses a group whose range reaches past the index buffer or names a
    // vertex the vertex buffers do not hold: it would read memory that is not
    // the mesh's.
    static void CheckGroups(const std::vector<Ondo::OpenGL::SimpleMaterialGroup>& groups, GLuint uiIndexBuffer,
                            GLuint uiVertices);
    void SetMaterial(const Ondo::OpenGL::SimpleMaterial& material);

    Ondo::FlowGraph::PortHandle<MatrixPort> hMatWorldIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatViewIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatProjIn;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::GFX::LightSource>> hInLight;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureDepthIn;
    Ondo::FlowGraph::PortHandle<BufferPort> hIndicesIn;
    Ondo::FlowGraph::PortHandle<GroupsPort> hMaterialGroupIn;
    Ondo::FlowGraph::PortHandle<MaterialsPort> hMaterialsIn;
    // "u_Material." m_vEmission, m_vAmbient, m_vDiffuse, m_vSpecular, m_fShininess.
    std::array<GLint, 5> m_MaterialLocations = {-1, -1, -1, -1, -1};
    GLint m_iCameraLocation = -1;
    Ondo::FlowGraph::PortHandle<TexturePort> hDepthOut;
    // The framebuffer, the program and the shader ports.
    RenderPass m_Pass;
};

} // namespace Prismvale
