#pragma once

#include "frame/RenderPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <string>
#include <vector>

namespace Prismvale {

// Draws a mesh uploaded by the mesh upload into a G-buffer: the colour
// targets are ports that the fragment shader declares, the depth target is
// an input. One draw per material group, with the group's "Diffuse" texture
// on unit 0; groups without one are not drawn. What lands in the G-buffer is
// the shaders' business (ours: world position, world normal, diffuse colour).
// Nothing is cleared: a clearing filter before this one prepares the targets.
class FilterDeferredRenderer : public Ondo::OpenGL::BaseFilter {
public:
    FilterDeferredRenderer(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

protected:
    // For variants that draw the same way with other shader files.
    FilterDeferredRenderer(Ondo::Core& core, const std::string& strName, std::wstring strVertex,
                           std::wstring strFragment);
    // Sets the uniforms a variant adds to the fixed ones; nothing here.
    virtual void SetExtraUniforms(GLuint uiProgram, const RenderMatrices& matrices);

private:
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    using BufferPort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::BufferObject>;
    using GroupsPort = Ondo::FlowGraph::SimplePortT<std::vector<Ondo::OpenGL::SimpleMaterialGroup>>;
    using MaterialsPort = Ondo::FlowGraph::SimplePortT<std::vector<Ondo::OpenGL::SimpleMaterial>>;

    // One draw call: a material group and its "Diffuse" texture.
    struct Draw {
        const Ondo::OpenGL::SimpleMaterialGroup* m_pGroup;
        GLuint m_uiTexture;
    };
    std::vector<Draw> PlanDraws(const std::vector<Ondo::OpenGL::SimpleMaterialGroup>& groups,
                                const std::vector<Ondo::OpenGL::SimpleMaterial>& materials, GLuint uiIndexBuffer,
                                GLuint uiVertices) const;
    void DrawGroups(const std::vector<Draw>& draws, GLuint uiIndexBuffer, GLuint uiSampler);

    Ondo::FlowGraph::PortHandle<MatrixPort> hMatWorldIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatViewIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatProjIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureDepthIn;
    Ondo::FlowGraph::PortHandle<BufferPort> hIndicesIn;
    Ondo::FlowGraph::PortHandle<BufferPort> hPositionsIn;
    Ondo::FlowGraph::PortHandle<BufferPort> hNormalsIn;
    Ondo::FlowGraph::PortHandle<BufferPort> hTexCoords;
    Ondo::FlowGraph::PortHandle<GroupsPort> hMaterialGroupIn;
    Ondo::FlowGraph::PortHandle<MaterialsPort> hMaterialsIn;
    Ondo::FlowGraph::PortHandle<Ondo::OpenGL::GLuintPort> hSamplerStateIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hDepthOut;
    // The framebuffer, the program and the shader ports.
    RenderPass m_Pass;
    GLuint m_uiDefaultSampler = 0;
    GLint m_iSamplerLocation = -1;
};

} // namespace Prismvale
