#pragma once

namespace Ondo::FlowGraph {
class FilterRegistry;
}

namespace Ondo::Host {

// Registers "Host.LightSource": one Ondo::GFX::LightSource set in the editor
// or the graph file, on the output "Light Source".
void RegisterLightSource(FlowGraph::FilterRegistry& registry);

} // namespace Ondo::Host
