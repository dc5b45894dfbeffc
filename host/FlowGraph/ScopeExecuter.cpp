#include "Ondo/FlowGraph/ScopeExecuter.h"

#include "GLErrors.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/Filter.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <string>

namespace Ondo::FlowGraph {

namespace {

// Moves values along every connection that ends at a port of the owner.
void PullInputs(const Scope& scope, const PortOwner* pOwner)
{
    for (const Connection& connection : scope.GetConnectionsInto(pOwner))
        (*connection.m_hTarget).TakeDataFrom(*connection.m_hSource);
}

// Only items bound to a render device have run GL commands (and have a
// context in which the error state can be read).
bool UsesGL(const ScopeItem& item)
{
    if (const auto* pFilter = dynamic_cast<const OpenGL::BaseFilter*>(&item)) return pFilter->IsAttached();
    if (const auto* pCtrl = dynamic_cast<const OpenGL::BaseCtrlFlowFilter*>(&item)) return pCtrl->IsAttached();
    return false;
}

} // namespace

void ScopeExecuter::ExecuteScope(Scope& scope)
{
    if (m_iDepth++ == 0) m_bGLStateChecked = false;
    try {
        // A copy: an item may change the scope's ports while it runs, which
        // makes the scope work its order out again.
        const std::vector<ScopeItem*> order = scope.GetExecutionOrder();
        for (ScopeItem* pItem : order) {
            PullInputs(scope, pItem);
            if (!pItem->IsReadyToRun(scope, m_pLogger)) {
                ++m_uiSkipped;
                continue;
            }
            ExecuteChecked(*pItem);
            ++m_uiExecuted;
        }
        PullInputs(scope, &scope);
    } catch (...) {
        --m_iDepth;
        throw;
    }
    --m_iDepth;
}

void ScopeExecuter::ExecuteItem(ScopeItem& item) { item.Execute(*this); }

void ScopeExecuter::ExecuteChecked(ScopeItem& item)
{
    const bool bGL = UsesGL(item);
    if (bGL && !m_bGLStateChecked) {
        m_bGLStateChecked = true;
        const std::string strLeft = TakeGLErrors();
        if (!strLeft.empty())
            throw ItemError(strLeft + " was left before " + item.Describe() + " ran, by code outside the graph");
    }
    const std::vector<std::string>& errors = item.GetCore().GetErrors();
    const std::size_t uiErrors = errors.size();
    try {
        ExecuteItem(item);
    } catch (const ItemError&) {
        throw;
    } catch (const std::exception& error) {
        const std::string strGL = bGL ? TakeGLErrors() : std::string();
        throw ItemError(item.Describe() + ": " + error.what() + (strGL.empty() ? "" : " (" + strGL + " as well)"));
    }
    if (bGL) {
        const std::string strGL = TakeGLErrors();
        if (!strGL.empty()) throw ItemError(item.Describe() + ": " + strGL + " after Process");
    }
    if (errors.size() > uiErrors) throw ItemError(item.Describe() + ": " + errors[uiErrors]);
}

} // namespace Ondo::FlowGraph
