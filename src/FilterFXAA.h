#pragma once

#include "frame/RenderPass.h"
#include "frame/ScreenPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

namespace Prismvale {

// Fast approximate anti-aliasing of "Input Texture" into "Target Texture":
// one full-screen quad over the input's size, drawn through the filter's
// framebuffer, the input sampled bilinearly (with anisotropic filtering,
// which the filter requires of the context).
class FilterFXAA : public Ondo::OpenGL::BaseFilter {
public:
    FilterFXAA(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

    // Throws the refusal of a context without GL_EXT_texture_filter_anisotropic
    // when bHasExtension is false; InitResources asks it first.
    static void RequireAnisotropicFiltering(bool bHasExtension);

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    // The program, the framebuffer and the shader ports.
    RenderPass m_Pass;
    QuadBuffer m_Quad;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureTargetIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
    GLuint m_uiSampler = 0;
};

} // namespace Prismvale
