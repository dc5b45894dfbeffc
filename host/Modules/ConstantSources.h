#pragma once

namespace Ondo::FlowGraph {
class FilterRegistry;
}

namespace Ondo::Host {

// Registers "Host.Constant.<Type>" for every plain value type with a text
// form: a source with one output "Value" publishing a value set in the editor
// or the graph file (key "strValue", the value's text).
void RegisterConstantSources(FlowGraph::FilterRegistry& registry);

} // namespace Ondo::Host
