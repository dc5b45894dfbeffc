#pragma once

#include "frame/DynamicPorts.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <vector>

namespace Prismvale {

// Creates a chosen number (1 to 16) of empty 3D textures of one size, each in
// a format of its own, and publishes each on an output of its own ("0", "1",
// ...). The textures are made anew when a size input or a setting changes.
class FilterMultiTextureSource3D : public Ondo::OpenGL::BaseFilter {
public:
    static constexpr int MaxTextures = 16;

    FilterMultiTextureSource3D(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using SizePort = Ondo::FlowGraph::SimplePortT<int>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject3D>;
    struct TextureEntry {
        Ondo::OpenGL::TextureObject3D m_Texture;
        GLenum m_eFormat = GL_NONE;
    };

    void RebuildPorts();
    void RebuildTextures();

    int m_iNumberOfTextures = 1;
    Ondo::FlowGraph::PortHandle<SizePort> hWidth;
    Ondo::FlowGraph::PortHandle<SizePort> hHeight;
    Ondo::FlowGraph::PortHandle<SizePort> hDepth;
    std::vector<TextureEntry> m_Textures;
    DynamicPorts<TexturePort> m_DynamicPorts;
    TextureFormatChoices m_TextureTypes;
    bool m_bRebuild = true;
};

} // namespace Prismvale
