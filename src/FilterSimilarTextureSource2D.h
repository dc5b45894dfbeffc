#pragma once

#include "frame/DynamicPorts.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <vector>

namespace Prismvale {

// Creates a chosen number (1 to 16) of empty 2D textures of the size and
// format of its input texture and publishes each on an output of its own
// ("0", "1", ...), with the input's texture swizzle. The textures are made
// anew when the input changes and after ReleaseResources.
class FilterSimilarTextureSource2D : public Ondo::OpenGL::BaseFilter {
public:
    static constexpr int MaxTextures = 16;

    FilterSimilarTextureSource2D(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    void RebuildPorts();
    void RebuildTextures(GLuint uiSimilarTo);

    int m_iNumberOfTextures = 1;
    Ondo::FlowGraph::PortHandle<TexturePort> hSimilarTextureIn;
    std::vector<Ondo::OpenGL::TextureObject2D> m_Textures;
    DynamicPorts<TexturePort> m_DynamicPorts;
    bool m_bRebuild = true;
};

} // namespace Prismvale
