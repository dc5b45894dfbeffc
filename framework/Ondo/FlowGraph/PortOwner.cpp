#include "Ondo/FlowGraph/PortOwner.h"

#include <algorithm>
#include <stdexcept>

namespace Ondo::FlowGraph {

namespace Detail {

Port* ResolvePort(const PortOwner* pOwner, unsigned int uiIndex)
{
    if (pOwner == nullptr || uiIndex == PortHandle<Port>::None)
        throw std::runtime_error("Null pointer exception in PortHandle");
    return pOwner->GetPort(uiIndex);
}

void ThrowUnresolved(const PortOwner* pOwner, unsigned int uiIndex)
{
    const Port* pPort = ResolvePort(pOwner, uiIndex);
    if (!pPort) throw std::runtime_error("Port handle index " + std::to_string(uiIndex) + " names no port");
    throw std::runtime_error("Port handle index " + std::to_string(uiIndex) + " names port \"" + pPort->GetLabel() +
                             "\" of class " + pPort->GetNameOfClass() + ", not of the class the handle expects");
}

} // namespace Detail

PortOwner::~PortOwner() = default;

unsigned int PortOwner::InsertPort(std::unique_ptr<Port> pPort)
{
    if (!pPort) throw std::runtime_error("PortOwner::AddPort: no port given");
    const unsigned int uiIndex = m_Ports.empty() ? 0u : m_Ports.rbegin()->first + 1u;
    if (uiIndex == PortHandle<Port>::None) throw std::runtime_error("PortOwner::AddPort: no port index left");
    m_Ports.emplace(uiIndex, std::move(pPort));
    return uiIndex;
}

void PortOwner::NotifyAdded(unsigned int uiIndex)
{
    const PortHandle<Port> hPort(uiIndex, this);
    // An observer may unregister itself while being told.
    const std::vector<PortObserver*> observers = m_PortObservers;
    for (PortObserver* pObserver : observers) pObserver->OnPortAdded(hPort);
}

PortHandle<Port> PortOwner::AddPort(std::unique_ptr<Port> pPort)
{
    const unsigned int uiIndex = InsertPort(std::move(pPort));
    NotifyAdded(uiIndex);
    return PortHandle<Port>(uiIndex, this);
}

PortHandle<Port> PortOwner::AddPortAt(unsigned int uiIndex, std::unique_ptr<Port> pPort)
{
    if (!pPort) throw std::runtime_error("PortOwner::AddPortAt: no port given");
    if (uiIndex == PortHandle<Port>::None) throw std::runtime_error("PortOwner::AddPortAt: the index is none");
    if (!m_Ports.emplace(uiIndex, std::move(pPort)).second)
        throw std::runtime_error("PortOwner::AddPortAt: index " + std::to_string(uiIndex) + " is taken");
    NotifyAdded(uiIndex);
    return PortHandle<Port>(uiIndex, this);
}

void PortOwner::RemovePort(unsigned int uiIndex)
{
    if (m_Ports.find(uiIndex) == m_Ports.end()) return;
    const PortHandle<Port> hPort(uiIndex, this);
    const std::vector<PortObserver*> observers = m_PortObservers;
    for (PortObserver* pObserver : observers) pObserver->OnPortRemoved(hPort);
    m_Ports.erase(uiIndex);
}

Port* PortOwner::GetPort(unsigned int uiIndex) const
{
    const auto it = m_Ports.find(uiIndex);
    return it == m_Ports.end() ? nullptr : it->second.get();
}

std::vector<PortHandle<Port>> PortOwner::GetPortHandles() const
{
    std::vector<PortHandle<Port>> handles;
    handles.reserve(m_Ports.size());
    for (const auto& entry : m_Ports) handles.emplace_back(entry.first, const_cast<PortOwner*>(this));
    return handles;
}

PortHandle<Port> PortOwner::FindPort(const std::string& strLabel) const
{
    for (const auto& entry : m_Ports)
        if (entry.second->GetLabel() == strLabel) return PortHandle<Port>(entry.first, const_cast<PortOwner*>(this));
    return {};
}

PortHandle<Port> PortOwner::FindPort(const std::string& strLabel, bool bOutput) const
{
    for (const auto& entry : m_Ports)
        if (entry.second->GetLabel() == strLabel && entry.second->IsOutput() == bOutput)
            return PortHandle<Port>(entry.first, const_cast<PortOwner*>(this));
    return {};
}

void PortOwner::AddPortObserver(PortObserver* pObserver)
{
    if (pObserver && std::find(m_PortObservers.begin(), m_PortObservers.end(), pObserver) == m_PortObservers.end())
        m_PortObservers.push_back(pObserver);
}

void PortOwner::RemovePortObserver(PortObserver* pObserver)
{
    m_PortObservers.erase(std::remove(m_PortObservers.begin(), m_PortObservers.end(), pObserver),
                          m_PortObservers.end());
}

} // namespace Ondo::FlowGraph
