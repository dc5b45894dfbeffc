#pragma once

#include "frame/SampledComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

namespace Prismvale {

struct CubeFaceStorage;

// Copies one face of a cube map into a 2D target of any size, resampled: the
// face (0 to 5: +X, -X, +Y, -Y, +Z, -Z; indices outside are clamped) is read
// through a 2D view of its level 0, which the filter keeps from one pass to
// the next and makes anew when the face index, the cube map or its storage
// changes. The GL makes views only of immutable textures; a mutable cube
// map's face is copied into a 2D texture of the filter's own each pass
// instead. Rows keep the cube map's order: the face's top row (t = 0) is the
// target's row 0.
class FilterCubeMapFaceCopy : public Ondo::OpenGL::BaseFilter {
public:
    FilterCubeMapFaceCopy(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    void RebuildFaceView(const Ondo::OpenGL::TextureObjectCube& cube, const CubeFaceStorage& storage, int iFace);
    void DeleteFaceView();

    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObjectCube>> hTextureIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTargetTexture;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
    Ondo::FlowGraph::PortHandle<Ondo::OpenGL::GLuintPort> hSamplerState;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<int>> hFaceIndex;
    // The 2D view of one face (or, for a mutable cube map, the texture the
    // face is copied into); 0 while there is none.
    GLuint m_uiFaceView = 0;
    // The face index the view was made for, as read (before clamping).
    GLint m_iFaceOfView = -1;
    // What the view was made of: the cube map, the face it shows, and
    // whether it is a copy that each pass refreshes.
    GLuint m_uiViewSource = 0;
    GLint m_iViewLayer = 0;
    GLint m_iViewFormat = 0;
    GLint m_iViewSize = 0;
    bool m_bViewIsCopy = false;
    SampledComputePass m_Pass;
};

} // namespace Prismvale
