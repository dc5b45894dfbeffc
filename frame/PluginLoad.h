#pragma once

namespace Ondo {
class Core;
}

namespace Prismvale {

// The load callback: finds or creates the core's filter registry and
// registers every descriptor of the list, in list order, then the module's
// control-flow filters.
void LoadIntoCore(Ondo::Core& core);

} // namespace Prismvale
