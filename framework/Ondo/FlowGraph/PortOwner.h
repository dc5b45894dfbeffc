#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/PortHandle.h"

#include <map>
#include <memory>
#include <vector>

namespace Ondo::FlowGraph {

// Told when ports appear on or disappear from an owner (the graph keeps its
// connections and the editor its port list up to date this way).
class PortObserver {
public:
    virtual ~PortObserver() = default;
    virtual void OnPortAdded(const PortHandle<Port>& hPort) = 0;
    // Told before the port is destroyed, so that it still resolves.
    virtual void OnPortRemoved(const PortHandle<Port>& hPort) = 0;
};

// Owns ports under stable indices, in an ordered map.
class PortOwner {
public:
    PortOwner() = default;
    PortOwner(const PortOwner&) = delete;
    PortOwner& operator=(const PortOwner&) = delete;
    virtual ~PortOwner();

    // Stores the port under one more than the largest index in use (0 for
    // the first) and tells the observers.
    PortHandle<Port> AddPort(std::unique_ptr<Port> pPort);
    // Stores the port under a chosen index; throws std::runtime_error when
    // the index is none or taken. Used to bring ports back where they were.
    PortHandle<Port> AddPortAt(unsigned int uiIndex, std::unique_ptr<Port> pPort);
    // Tells the observers, then destroys the port. Unknown indices are ignored.
    void RemovePort(unsigned int uiIndex);

    // Creates a port of class P from the settings, stores it and binds the
    // handle to it (the handle is none until the port is stored), then tells
    // the observers.
    template <class P>
    void CreatePort(PortHandle<P>& hPort, const PortSettings& settings)
    {
        hPort.Reset();
        const unsigned int uiIndex = InsertPort(std::make_unique<P>(settings));
        hPort = PortHandle<P>(uiIndex, this);
        NotifyAdded(uiIndex);
    }

    Port* GetPort(unsigned int uiIndex) const;
    std::size_t GetNumberOfPorts() const { return m_Ports.size(); }
    // One handle per port, in ascending index order.
    std::vector<PortHandle<Port>> GetPortHandles() const;
    // The first port with this label (and direction), or a none handle.
    PortHandle<Port> FindPort(const std::string& strLabel) const;
    PortHandle<Port> FindPort(const std::string& strLabel, bool bOutput) const;

    void AddPortObserver(PortObserver* pObserver);
    void RemovePortObserver(PortObserver* pObserver);

private:
    unsigned int InsertPort(std::unique_ptr<Port> pPort);
    void NotifyAdded(unsigned int uiIndex);

    std::map<unsigned int, std::unique_ptr<Port>> m_Ports;
    std::vector<PortObserver*> m_PortObservers;
};

} // namespace Ondo::FlowGraph
