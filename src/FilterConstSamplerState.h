#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GL/glew.h>

namespace Prismvale {

// Publishes one sampler object built from wrap modes and filters chosen in the
// editor, and from level-of-detail limits and a bias kept in the settings. A
// choice in the editor only marks the sampler for rebuilding; the next run
// makes a new sampler and publishes it as changed.
class FilterConstSamplerState : public Ondo::OpenGL::BaseFilter {
public:
    FilterConstSamplerState(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    void BuildSampler();

    Ondo::FlowGraph::PortHandle<Ondo::OpenGL::GLuintPort> hOutSamplerState;
    GLuint m_uiSampler = 0;
    // GL enumerants, kept as signed integers as the settings store them.
    GLint m_eWrapS = GL_REPEAT;
    GLint m_eWrapT = GL_REPEAT;
    GLint m_eWrapR = GL_REPEAT;
    GLint m_eMinFilter = GL_NEAREST_MIPMAP_LINEAR;
    GLint m_eMagFilter = GL_LINEAR;
    float m_fMinLod = -1000.0f;
    float m_fMaxLod = 1000.0f;
    float m_fLodBias = 0.0f;
    bool m_bDirty = true;
};

} // namespace Prismvale
