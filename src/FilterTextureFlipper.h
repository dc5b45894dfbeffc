#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

namespace Prismvale {

// Alternates between its two input textures from run to run, starting with
// "Texture0" (ping-pong targets, for example).
class FilterTextureFlipper : public Ondo::OpenGL::BaseFilter {
public:
    FilterTextureFlipper(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    Ondo::FlowGraph::PortHandle<TexturePort> hTextureIn0;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureIn1;
    // Which input the next run publishes; lives as long as the instance and
    // is not stored, so a reloaded flipper starts with "Texture0" again.
    bool m_bFlip = true;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
};

} // namespace Prismvale
