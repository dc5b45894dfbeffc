#pragma once

#include "Ondo/FlowGraph/PortOwner.h"
#include "Ondo/Subject.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Ondo::FlowGraph {

class ScopeItem;

// A connection from an output port to an input port of the same scope (the
// scope's own ports included: inside a scope, its inner outputs are sources
// and its inner inputs are targets).
struct Connection {
    PortHandle<Port> m_hSource;
    PortHandle<Port> m_hTarget;
};

class ScopeObserver {
public:
    virtual ~ScopeObserver() = default;
};

// A set of scope items with the connections between them. The ports of the
// scope itself are the inner side of the ports that cross its boundary.
class Scope : public PortOwner, public BaseSubjectT<ScopeObserver> {
public:
    explicit Scope(std::string strName);
    ~Scope() override;

    const std::string& GetName() const { return m_strName; }

    void AddItem(std::shared_ptr<ScopeItem> pItem);
    // Removes the item and every connection to or from its ports.
    void RemoveItem(const ScopeItem& item);
    // Items in the order they were added.
    const std::vector<std::shared_ptr<ScopeItem>>& GetItems() const { return m_Items; }
    ScopeItem* FindItem(const std::string& strName) const;
    // Items in an order in which each comes after every item whose outputs
    // it is connected to; otherwise in the order they were added. Throws
    // std::runtime_error naming the items of a cycle when there is one.
    // Computed once and kept until an item, a connection or a port changes.
    const std::vector<ScopeItem*>& GetExecutionOrder() const;

    // Connects an output to an input. Throws std::runtime_error, naming both
    // ports, when a handle does not resolve, the directions are wrong, the
    // transported types differ or the input is connected already.
    //
    // A connection whose port is removed (an item dropping outputs it made
    // for a count, a shader no longer declaring an input) is set aside, and
    // comes back when a port of the same label and type is added under the
    // same index; set-aside connections take no part in anything else.
    void Connect(const PortHandle<Port>& hSource, const PortHandle<Port>& hTarget);
    // Removes the connection that ends at the input, if any.
    void Disconnect(const PortHandle<Port>& hTarget);
    const std::vector<Connection>& GetConnections() const { return m_Connections; }
    // The connections that end at a port of the owner (an item, or the scope
    // itself for its inner inputs), without looking at any other.
    const std::vector<Connection>& GetConnectionsInto(const PortOwner* pOwner) const;
    // True when some connection of this scope ends at the port.
    bool IsConnected(const Port& target) const;

private:
    // Keeps the connections in step with the ports of the items and the scope.
    class PortWatcher : public PortObserver {
    public:
        explicit PortWatcher(Scope& scope) : m_Scope(scope) {}
        void OnPortAdded(const PortHandle<Port>& hPort) override;
        void OnPortRemoved(const PortHandle<Port>& hPort) override;

    private:
        Scope& m_Scope;
    };
    struct SetAside {
        Connection m_Connection;
        PortHandle<Port> m_hRemoved;
        std::string m_strLabel;
        std::string m_strType;
    };

    std::string m_strName;
    std::vector<std::shared_ptr<ScopeItem>> m_Items;
    std::vector<Connection> m_Connections;
    // Lookups that stay cheap in scopes of many thousand items: items by
    // name, and the inputs some connection ends at (kept in step with
    // m_Connections).
    std::unordered_map<std::string, ScopeItem*> m_ItemsByName;
    std::unordered_set<const Port*> m_ConnectedInputs;
    std::unordered_map<const PortOwner*, std::vector<Connection>> m_ConnectionsInto;
    void IndexConnection(const Connection& connection);
    void IndexConnections();
    // The execution order until something it depends on changes.
    mutable std::vector<ScopeItem*> m_Order;
    mutable bool m_bOrderKnown = false;
    std::vector<SetAside> m_SetAside;
    PortWatcher m_Watcher{*this};
};

// Owns scopes under stable indices (the inner scopes of a control-flow filter).
class ScopeOwner {
public:
    ScopeOwner() = default;
    ScopeOwner(const ScopeOwner&) = delete;
    ScopeOwner& operator=(const ScopeOwner&) = delete;
    virtual ~ScopeOwner();
    virtual std::shared_ptr<ScopeOwner> GetScopeOwnerSharedPtr() = 0;

    // Stores the scope under one more than the largest index in use (0 first).
    ScopeHandle AddScope(std::unique_ptr<Scope> pScope);
    Scope* GetScope(unsigned int uiIndex) const;
    std::vector<ScopeHandle> GetScopeHandles() const;

private:
    std::map<unsigned int, std::unique_ptr<Scope>> m_Scopes;
};

} // namespace Ondo::FlowGraph
