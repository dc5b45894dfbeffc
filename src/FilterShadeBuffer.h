#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/GFX/LightSource.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GLSLShaderPortHooker.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <array>

namespace Prismvale {

// Lights a G-buffer (surface positions, normals and colours: textures the
// shader declares as ports) with one light, one compute dispatch over the
// target texture, which is written in place and published on "Shaded". The
// light lives in the program's uniforms: uploaded after each build and then
// only when the light port changes.
class FilterShadeBuffer : public Ondo::OpenGL::BaseFilter {
public:
    FilterShadeBuffer(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    // Refuses, naming the port, what the shader cannot shade correctly:
    // a target that is not RGBA8, G-buffer textures that are missing, of
    // integer texels or of another size than the target.
    Ondo::Vector2i CheckTextures(const Ondo::OpenGL::TextureObject2D* pTarget);

    bool m_bLightDirty = true;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatWorldIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatViewMatrixIn;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<float>> hShininess;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::GFX::LightSource>> hInLight;
    Ondo::FlowGraph::PortHandle<TexturePort> hTargetTexture;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
    GLuint m_uiProgram = 0;
    std::array<GLint, 3> m_WorkGroupSize = {0, 0, 0};
    Ondo::OpenGL::GLSLShaderPortHooker m_ShaderHelper;
};

} // namespace Prismvale
