#include "frame/PluginLoad.h"

#include "frame/CtrlTimedScopeWithQuery.h"
#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/FilterRegistry.h"

namespace Prismvale {

void LoadIntoCore(Ondo::Core& core)
{
    Ondo::FlowGraph::FilterRegistry& registry = Ondo::FlowGraph::FilterRegistry::Get(core);
    for (const Ondo::FlowGraph::FilterDescriptor& descriptor : GetDescriptorList()) registry.RegisterFilter(descriptor);
    registry.RegisterCtrlFlowFilter("Ctrl.TimingScopeOpenGL",
                                    [](Ondo::Core& core, const std::string& strName) -> Ondo::FlowGraph::CtrlFlowFilter* {
                                        return new (std::nothrow) CtrlTimedScopeWithQuery(core, strName);
                                    });
}

} // namespace Prismvale
