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
// number, four digits at least; relative names go under the run's output
// directory. The extension picks the file type: ".png" (8-bit RGBA) or ".exr"
// (32-bit float, as many channels as the texture has).
class FilterImageSink : public OpenGL::BaseFilter {
public:
    FilterImageSink(Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Instrumenter& instrumenter) override;
    void Process(FlowGraph::ScopeExecuter& executer) override;

    // The path of the file written last; empty before the first.
    const std::string& GetLastWrittenPath() const { return m_strLastWritten; }

private:
    using TexturePort = FlowGraph::SimplePortT<OpenGL::TextureObject2D>;

    FlowGraph::PortHandle<TexturePort> hTextureIn;
    std::string m_strFileName = "output_{frame}.png";
    bool m_bOnlyWhenChanged = false;
    std::string m_strLastWritten;
};

// Registers "Host.ImageSink".
void RegisterImageSink(FlowGraph::FilterRegistry& registry);

} // namespace Ondo::Host
