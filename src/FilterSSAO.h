#pragma once

#include "frame/ScreenPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <cstdint>

namespace Prismvale {

// Screen-space ambient occlusion: darkens the "Color" texture in place by
// the occlusion that a G-buffer's world-space positions and normals show,
// seen through the camera given by "View Matrix" and "Field of View". One
// full-screen quad whose output, 1 where nothing occludes, is multiplied into
// the colour by blending. All inputs are fixed ports; no shader port hooker.
class FilterSSAO : public Ondo::OpenGL::BaseFilter {
public:
    FilterSSAO(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

    // The value of uniform 2: tan(half the field of view), the field of view
    // in degrees, 45 when the port holds none. Throws for a field of view
    // outside (0, 180) degrees, which no camera has.
    static float TanHalfFieldOfView(const float* pDegrees);

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;

    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<float>> hFOVIn;
    Ondo::FlowGraph::PortHandle<MatrixPort> hViewMatIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hColorIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hPositionIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hNormalIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hColorOut;
    GLuint m_uiFBO = 0;
    QuadBuffer m_Quad;
    GLuint m_uiSampler = 0;
    bool bBypass = false;
    float fDMax = 3.5f;
    std::int32_t iNumSamples = 64;
    GLuint m_uiProgram = 0;
};

} // namespace Prismvale
