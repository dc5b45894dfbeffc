#pragma once

namespace Ondo {
class Core;
}

namespace Ondo::Host {

// Registers the filter types the engine itself provides with the core's
// filter registry: constant sources for every plain value type, a camera, a
// light source and an image sink.
void RegisterHostModules(Core& core);

} // namespace Ondo::Host
