#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <string>

namespace Prismvale {

// Reads an image file through the core's image loader and publishes it as a
// 2D texture. The file is read again whenever the file name or one of the two
// upload options is changed in the editor.
class FilterLoadTextureFromFile : public Ondo::OpenGL::BaseFilter {
public:
    FilterLoadTextureFromFile(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    void RequestReload();
    void LoadFile();

    Ondo::FlowGraph::PortHandle<TexturePort> hOutTexture;
    Ondo::OpenGL::TextureObject2D m_Texture;
    std::wstring m_strFileName;
    bool m_bReload = true;
    bool bTextureIsMutable = true;
    bool bCreateMipMaps = true;
};

} // namespace Prismvale
