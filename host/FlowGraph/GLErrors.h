#pragma once

#include <string>

namespace Ondo::FlowGraph {

// Empties the GL error state of the current context (each error flag is read
// once) and names what it held: "" when nothing, else "GL error X" or
// "GL errors X, Y" with the enumerants' names. The engine reads it once per
// item it runs or binds, not after every call.
std::string TakeGLErrors();

} // namespace Ondo::FlowGraph
