#include "Ondo/FlowGraph/Scope.h"

#include "Ondo/FlowGraph/Filter.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <stdexcept>
#include <unordered_map>

namespace Ondo::FlowGraph {

namespace {

std::string Describe(const Port& port)
{
    return std::string(port.IsOutput() ? "output" : "input") + " \"" + port.GetLabel() + "\" (" +
           port.GetTransportedType() + ")";
}

} // namespace

Scope::Scope(std::string strName) : m_strName(std::move(strName)) { AddPortObserver(&m_Watcher); }

Scope::~Scope()
{
    // Items may be held elsewhere too; they must not keep telling this scope.
    for (const auto& pItem : m_Items) pItem->RemovePortObserver(&m_Watcher);
}

void Scope::PortWatcher::OnPortRemoved(const PortHandle<Port>& hPort)
{
    auto& connections = m_Scope.m_Connections;
    bool bErased = false;
    for (auto it = connections.begin(); it != connections.end();) {
        if (it->m_hSource != hPort && it->m_hTarget != hPort) {
            ++it;
            continue;
        }
        m_Scope.m_SetAside.push_back({*it, hPort, hPort->GetLabel(), hPort->GetTransportedType()});
        it = connections.erase(it);
        bErased = true;
    }
    // Filters drop and make ports by the dozen while they set up; the index
    // is only rebuilt when a connection went.
    if (bErased) m_Scope.IndexConnections();
}

void Scope::PortWatcher::OnPortAdded(const PortHandle<Port>& hPort)
{
    auto& setAside = m_Scope.m_SetAside;
    for (auto it = setAside.begin(); it != setAside.end();) {
        const Port* pPort = hPort.Get();
        const bool bReturns = it->m_hRemoved == hPort && pPort && pPort->GetLabel() == it->m_strLabel &&
                              pPort->GetTransportedType() == it->m_strType &&
                              !m_Scope.IsConnected(*it->m_Connection.m_hTarget);
        if (!bReturns) {
            ++it;
            continue;
        }
        m_Scope.m_Connections.push_back(it->m_Connection);
        m_Scope.IndexConnection(it->m_Connection);
        it = setAside.erase(it);
    }
}

void Scope::AddItem(std::shared_ptr<ScopeItem> pItem)
{
    if (!pItem) throw std::runtime_error("Scope \"" + m_strName + "\": no item given");
    if (FindItem(pItem->GetName()))
        throw std::runtime_error("Scope \"" + m_strName + "\" already holds an item named \"" + pItem->GetName() +
                                 "\"");
    pItem->AddPortObserver(&m_Watcher);
    m_ItemsByName[pItem->GetName()] = pItem.get();
    m_Items.push_back(std::move(pItem));
    m_bOrderKnown = false;
}

void Scope::RemoveItem(const ScopeItem& item)
{
    const PortOwner* pOwner = &item;
    const_cast<ScopeItem&>(item).RemovePortObserver(&m_Watcher);
    m_SetAside.erase(std::remove_if(m_SetAside.begin(), m_SetAside.end(),
                                    [&](const SetAside& entry) {
                                        return entry.m_Connection.m_hSource.GetOwner() == pOwner ||
                                               entry.m_Connection.m_hTarget.GetOwner() == pOwner;
                                    }),
                     m_SetAside.end());
    m_Connections.erase(std::remove_if(m_Connections.begin(), m_Connections.end(),
                                       [&](const Connection& c) {
                                           return c.m_hSource.GetOwner() == pOwner || c.m_hTarget.GetOwner() == pOwner;
                                       }),
                        m_Connections.end());
    IndexConnections();
    m_ItemsByName.erase(item.GetName());
    m_Items.erase(std::remove_if(m_Items.begin(), m_Items.end(),
                                 [&](const std::shared_ptr<ScopeItem>& pItem) { return pItem.get() == &item; }),
                  m_Items.end());
    m_bOrderKnown = false;
}

ScopeItem* Scope::FindItem(const std::string& strName) const
{
    const auto it = m_ItemsByName.find(strName);
    return it == m_ItemsByName.end() ? nullptr : it->second;
}

const std::vector<Connection>& Scope::GetConnectionsInto(const PortOwner* pOwner) const
{
    static const std::vector<Connection> s_None;
    const auto it = m_ConnectionsInto.find(pOwner);
    return it == m_ConnectionsInto.end() ? s_None : it->second;
}

void Scope::IndexConnection(const Connection& connection)
{
    m_ConnectedInputs.insert(connection.m_hTarget.Get());
    m_ConnectionsInto[connection.m_hTarget.GetOwner()].push_back(connection);
    m_bOrderKnown = false;
}

void Scope::IndexConnections()
{
    m_ConnectedInputs.clear();
    m_ConnectionsInto.clear();
    for (const Connection& connection : m_Connections) IndexConnection(connection);
    m_bOrderKnown = false;
}

const std::vector<ScopeItem*>& Scope::GetExecutionOrder() const
{
    if (m_bOrderKnown) return m_Order;
    const std::size_t uiCount = m_Items.size();
    std::unordered_map<const PortOwner*, std::size_t> indexOf;
    indexOf.reserve(uiCount);
    for (std::size_t i = 0; i < uiCount; ++i) indexOf[m_Items[i].get()] = i;

    // dependencies[i]: the items whose outputs item i reads.
    std::vector<std::vector<std::size_t>> dependencies(uiCount);
    for (const Connection& connection : m_Connections) {
        const auto source = indexOf.find(connection.m_hSource.GetOwner());
        const auto target = indexOf.find(connection.m_hTarget.GetOwner());
        if (source != indexOf.end() && target != indexOf.end()) dependencies[target->second].push_back(source->second);
    }

    // Kahn's algorithm, always taking the ready item added first: the order
    // of addition wherever the connections leave a choice.
    std::vector<std::size_t> waitingFor(uiCount, 0);
    std::vector<std::vector<std::size_t>> dependents(uiCount);
    for (std::size_t i = 0; i < uiCount; ++i) {
        waitingFor[i] = dependencies[i].size();
        for (std::size_t d : dependencies[i]) dependents[d].push_back(i);
    }
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready;
    for (std::size_t i = 0; i < uiCount; ++i)
        if (waitingFor[i] == 0) ready.push(i);
    std::vector<ScopeItem*> order;
    std::vector<bool> placed(uiCount, false);
    while (!ready.empty()) {
        const std::size_t i = ready.top();
        ready.pop();
        placed[i] = true;
        order.push_back(m_Items[i].get());
        for (std::size_t j : dependents[i])
            if (--waitingFor[j] == 0) ready.push(j);
    }
    if (order.size() < uiCount) {
        // Every item left waits for another one left: walk back along the
        // connections until an item repeats; the walk from there is a cycle.
        std::size_t uiCurrent = 0;
        while (placed[uiCurrent]) ++uiCurrent;
        std::vector<std::size_t> path;
        while (std::find(path.begin(), path.end(), uiCurrent) == path.end()) {
            path.push_back(uiCurrent);
            for (std::size_t d : dependencies[uiCurrent])
                if (!placed[d]) {
                    uiCurrent = d;
                    break;
                }
        }
        std::string strCycle;
        for (auto it = std::find(path.begin(), path.end(), uiCurrent); it != path.end(); ++it)
            strCycle = " -> \"" + m_Items[*it]->GetName() + "\"" + strCycle;
        throw std::runtime_error("The connections of scope \"" + m_strName + "\" form a cycle: \"" +
                                 m_Items[uiCurrent]->GetName() + "\"" + strCycle);
    }
    m_Order = std::move(order);
    m_bOrderKnown = true;
    return m_Order;
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
    IndexConnection(m_Connections.back());
}

void Scope::Disconnect(const PortHandle<Port>& hTarget)
{
    m_Connections.erase(std::remove_if(m_Connections.begin(), m_Connections.end(),
                                       [&](const Connection& c) { return c.m_hTarget == hTarget; }),
                        m_Connections.end());
    IndexConnections();
}

bool Scope::IsConnected(const Port& target) const { return m_ConnectedInputs.count(&target) != 0; }

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
