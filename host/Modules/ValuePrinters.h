#pragma once

namespace Ondo::FlowGraph {
class FilterRegistry;
}

namespace Ondo::Host {

// Registers "Host.Print.Float", "Host.Print.Int", "Host.Print.Vector2f",
// "Host.Print.Vector3f", "Host.Print.Vector4f", "Host.Print.Vector2i" and
// "Host.Print.String": each prints the value on its input "Value" to the
// run's log once a frame (or only when it changed), as "NAME: TEXT" with
// every "{value}" in its text replaced by the value's text form. A graph
// shows a timed scope's time or a measured size or range this way.
void RegisterValuePrinters(FlowGraph::FilterRegistry& registry);

} // namespace Ondo::Host
