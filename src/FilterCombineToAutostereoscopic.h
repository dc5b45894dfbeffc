#pragma once

#include "frame/ComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <array>

namespace Prismvale {

// Interleaves five views of a scene into one image for a five-view
// autostereoscopic display: every colour channel of every target texel comes
// from one of the views, in the slanted pattern told at the top of the
// shader. The views are fixed inputs on texture units 0 to 4; further inputs
// the shader may declare become ports through the hooker.
class FilterCombineToAutostereoscopic : public Ondo::OpenGL::BaseFilter {
public:
    FilterCombineToAutostereoscopic(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    Ondo::FlowGraph::PortHandle<TexturePort> hTex0, hTex1, hTex2, hTex3, hTex4;
    Ondo::FlowGraph::PortHandle<TexturePort> hTargetTexture;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
    HookedComputePass m_Pass;
};

} // namespace Prismvale
