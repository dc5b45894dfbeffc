#include "Ondo/FlowGraph/ScopeExecuter.h"

#include "Ondo/FlowGraph/Filter.h"
#include "Ondo/FlowGraph/Scope.h"

namespace Ondo::FlowGraph {

namespace {

// Moves values along every connection that ends at a port of the owner.
void PullInputs(const Scope& scope, const PortOwner* pOwner)
{
    for (const Connection& connection : scope.GetConnections())
        if (connection.m_hTarget.GetOwner() == pOwner) (*connection.m_hTarget).TakeDataFrom(*connection.m_hSource);
}

} // namespace

void ScopeExecuter::ExecuteScope(Scope& scope)
{
    // Items may be added while a control-flow filter runs its inner scope;
    // hold on to the ones this run started with.
    const std::vector<std::shared_ptr<ScopeItem>> items = scope.GetItems();
    for (const auto& pItem : items) {
        PullInputs(scope, pItem.get());
        if (!pItem->IsReadyToRun(scope, m_pLogger)) {
            ++m_uiSkipped;
            continue;
        }
        pItem->Execute(*this);
        ++m_uiExecuted;
    }
    PullInputs(scope, &scope);
}

} // namespace Ondo::FlowGraph
