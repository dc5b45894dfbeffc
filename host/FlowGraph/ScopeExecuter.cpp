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
    for (ScopeItem* pItem : scope.GetExecutionOrder()) {
        PullInputs(scope, pItem);
        if (!pItem->IsReadyToRun(scope, m_pLogger)) {
            ++m_uiSkipped;
            continue;
        }
        ExecuteItem(*pItem);
        ++m_uiExecuted;
    }
    PullInputs(scope, &scope);
}

void ScopeExecuter::ExecuteItem(ScopeItem& item) { item.Execute(*this); }

} // namespace Ondo::FlowGraph
