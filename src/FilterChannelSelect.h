#pragma once

#include "frame/ComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <array>
#include <string>

namespace Prismvale {

// The compute shader of the channel-selection filters around the lines that
// make up the output colour vCol from the fetched texel vColOrg (each line
// ended by a newline): a fixed header that fetches the texel of the "Color
// In" port at the invocation's coordinates, then the lines, then the store
// into the target.
std::string ChannelSelectionShaderText(const std::string& strBody);

// One pass of a channel-selection filter over its target. Returns false, and
// does nothing, when the target or "Color In" holds no texture (the filter's
// core logger is told); throws, before any GL state changes, when the input
// is smaller than the target (texels fetched beyond it are undefined) or the
// target is one the pass cannot write.
bool RunChannelSelection(Ondo::OpenGL::BaseFilter& filter, HookedComputePass& pass,
                         Ondo::OpenGL::TextureObject2D* pTarget);

// Copies the chosen colour channels of the image on "Color In" into the
// target texture and leaves the others 0. The shader is written from the
// four check boxes and rebuilt at the next pass after one of them changed.
class FilterChannelSelect : public Ondo::OpenGL::BaseFilter {
public:
    FilterChannelSelect(Ondo::Core& core, const std::string& strName);

    // The shader text that keeps the channels R, G, B, A flagged true.
    static std::string ShaderText(const std::array<bool, 4>& keep);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    void Rebuild();

    Ondo::FlowGraph::PortHandle<TexturePort> hTargetTexture;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
    HookedComputePass m_Pass;
    bool m_bRebuild = true;
    std::array<bool, 4> m_abKeepChannel = {true, true, true, true};
};

} // namespace Prismvale
