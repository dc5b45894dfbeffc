#pragma once

#include "frame/ComputePass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <string>

namespace Prismvale {

// Spreads one channel of the image on "Color In" over the colour channels of
// the target texture, and over alpha too when asked (otherwise alpha is 1).
// The shader is written from the two controls and rebuilt at the next pass
// after one of them changed.
class FilterTextureChannelSelectToGreyscale : public Ondo::OpenGL::BaseFilter {
public:
    FilterTextureChannelSelectToGreyscale(Ondo::Core& core, const std::string& strName);

    // The shader text for channel iChannel (0 to 3: R, G, B, A); throws
    // std::runtime_error "Invalid" for any other channel.
    static std::string ShaderText(int iChannel, bool bCopyToW);

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
    bool m_bCopyToW = false;
    int m_iChannel = 0;
};

} // namespace Prismvale
