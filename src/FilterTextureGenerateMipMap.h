#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

namespace Prismvale {

// Builds the whole mipmap chain of a 2D texture from its level 0 on every run
// and publishes the same texture.
class FilterTextureGenerateMipMap : public Ondo::OpenGL::BaseFilter {
public:
    FilterTextureGenerateMipMap(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    Ondo::FlowGraph::PortHandle<TexturePort> hTextureIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOut;
};

} // namespace Prismvale
