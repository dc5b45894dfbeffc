#include "Ondo/FlowGraph/Scope.h"

#include "Ondo/FlowGraph/Filter.h"

#include <algorithm>
#include <stdexcept>

namespace Ondo::FlowGraph {

namespace {

std::string Describe(const Port& port)
{
    return std::string(port.IsOutput() ? "output" : "input") + " \"" + port.GetLabel() + "\" (" +
           port.GetTransportedType() + ")";
}

} // namespace

Scope::~Scope() = default;

void Scope::AddItem(std::shared_ptr<ScopeItem> pItem)
{
    if (!pItem) throw std::runtime_error("Scope \"" + m_strName + "\": no item given");
    if (FindItem(pItem->GetName()))
        throw std::runtime_error("Scope \"" + m_strName + "\" already holds an item named \"" + pItem->GetName() +
                                 "\"");
    m_Items.push_back(std::move(pItem));
}

ScopeItem* Scope::FindItem(const std::string& strName) const
{
    for (const auto& pItem : m_Items)
        if (pItem->GetName() == strName) return pItem.get();
    return nullptr;
}

void Scope::Connect(const PortHandle<Port>& hSource, const PortHandle<Port>& hTarget)
{
    Port* pSource = hSource.Get();
    Port* pTarget = hTarget.Get();
    if (!pSource || !pTarget)
        throw std::runtime_error("Scope \"" + m_strName + "\": a connection names a port that does not exist");
    // Inside a scope the scope's own inner ports play the other role: an inner
    // output feeds the items, an inner input collects from them.
    if (!pSource->IsOutput())
        throw std::runtime_error("Cannot connect from " + Describe(*pSource) + ": it is not an output");
    if (pTarget->IsOutput())
        throw std::runtime_error("Cannot connect to " + Describe(*pTarget) + ": it is not an input");
    if (pSource->GetTransportedType() != pTarget->GetTransportedType())
        throw std::runtime_error("Cannot connect " + Describe(*pSource) + " to " + Describe(*pTarget) +
                                 ": the types differ");
    if (IsConnected(*pTarget))
        throw std::runtime_error("Cannot connect " + Describe(*pSource) + " to " + Describe(*pTarget) +
                                 ": the input is connected already");
    m_Connections.push_back({hSource, hTarget});
}

void Scope::Disconnect(const PortHandle<Port>& hTarget)
{
    m_Connections.erase(std::remove_if(m_Connections.begin(), m_Connections.end(),
                                       [&](const Connection& c) { return c.m_hTarget == hTarget; }),
                        m_Connections.end());
}

bool Scope::IsConnected(const Port& target) const
{
    for (const Connection& connection : m_Connections)
        if (connection.m_hTarget.Get() == &target) return true;
    return false;
}

ScopeOwner::~ScopeOwner() = default;

ScopeHandle ScopeOwner::AddScope(std::unique_ptr<Scope> pScope)
{
    if (!pScope) throw std::runtime_error("ScopeOwner::AddScope: no scope given");
    const unsigned int uiIndex = m_Scopes.empty() ? 0u : m_Scopes.rbegin()->first + 1u;
    m_Scopes.emplace(uiIndex, std::move(pScope));
    return ScopeHandle(uiIndex, this);
}

Scope* ScopeOwner::GetScope(unsigned int uiIndex) const
{
    const auto it = m_Scopes.find(uiIndex);
    return it == m_Scopes.end() ? nullptr : it->second.get();
}

std::vector<ScopeHandle> ScopeOwner::GetScopeHandles() const
{
    std::vector<ScopeHandle> handles;
    for (const auto& entry : m_Scopes) handles.emplace_back(entry.first, const_cast<ScopeOwner*>(this));
    return handles;
}

Scope* ScopeHandle::Get() const
{
    if (m_pOwner == nullptr || m_Index == None) throw std::runtime_error("Null pointer exception in PortHandle");
    return m_pOwner->GetScope(m_Index);
}

} // namespace Ondo::FlowGraph
