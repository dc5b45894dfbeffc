#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/PortHandle.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <string>

namespace Ondo::FlowGraph {
class FilterRegistry;
}

namespace Ondo::Host {

// Writes the texture on its input to an image file each frame (or only when
// the texture changed). "{frame}" in the file name stands for the run's frame
// number, four digits at least, and in a batch over files "{name}" and
// "{stem}" for the current file's name with and without its extension;
// relative names go under the run's output directory. The extension picks the
// file type: ".png" (8 or 16 bits as the texture has them, float textures as
// 8-bit RGBA, opaque RGBA as RGB; "Smallest Files" trades much time for a few
// percent) or ".exr" (32-bit float, as many channels as the texture has).
// The texture is read back through a pixel buffer; where the run gives a
// background writer, encoding and writing happen there.
class FilterImageSink : public OpenGL::BaseFilter {
public:
    FilterImageSink(Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Instrumenter& instrumenter) override;
    void ReleaseResources(OpenGL::Device& device, OpenGL::Context& context) override;
    void Process(FlowGraph::ScopeExecuter& executer) override;

    // The path of the file written last; empty before the first.
    const std::string& GetLastWrittenPath() const { return m_strLastWritten; }

private:
    using TexturePort = FlowGraph::SimplePortT<OpenGL::TextureObject2D>;

    FlowGraph::PortHandle<TexturePort> hTextureIn;
    std::string m_strFileName = "output_{frame}.png";
    bool m_bOnlyWhenChanged = false;
    bool m_bSmallestFiles = false;
    // The pixel buffer textures are read back through, kept for the next frame.
    OpenGL::BufferObject m_ReadBuffer;
    std::string m_strLastWritten;
};

// Registers "Host.ImageSink".
void RegisterImageSink(FlowGraph::FilterRegistry& registry);

} // namespace Ondo::Host
