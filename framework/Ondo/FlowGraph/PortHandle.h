#pragma once

#include "Ondo/IndexBasedHandle.h"

#include <string>
#include <tuple>

namespace Ondo::FlowGraph {

class Port;
class PortOwner;
class ScopeOwner;
class Scope;

namespace Detail {
// The port stored under the index, or null. Throws std::runtime_error
// "Null pointer exception in PortHandle" when owner or index is none.
Port* ResolvePort(const PortOwner* pOwner, unsigned int uiIndex);
// Throws std::runtime_error telling that the index names no port, or a port
// of another class than the handle expects.
[[noreturn]] void ThrowUnresolved(const PortOwner* pOwner, unsigned int uiIndex);
} // namespace Detail

// Names one port of an owner by its index. P is the port class it resolves to.
template <class P>
class PortHandle : public IndexBasedHandleT<unsigned int, -1> {
public:
    PortHandle() = default;
    PortHandle(unsigned int uiIndex, PortOwner* pOwner) : IndexBasedHandleT(uiIndex), m_pOwner(pOwner) {}
    // The same port seen through another port class.
    template <class Q>
    explicit PortHandle(const PortHandle<Q>& other) : IndexBasedHandleT(other.GetIndex()), m_pOwner(other.GetOwner())
    {
    }

    PortOwner* GetOwner() const { return m_pOwner; }
    bool IsNone() const { return m_pOwner == nullptr || m_Index == None; }
    void Reset()
    {
        m_Index = None;
        m_pOwner = nullptr;
    }

    // The port, or null when the owner holds no port of class P under the
    // index. Throws for a none handle.
    P* Get() const { return dynamic_cast<P*>(Detail::ResolvePort(m_pOwner, m_Index)); }
    // The port; throws for a none handle and when it does not resolve.
    P& operator*() const
    {
        P* pPort = Get();
        if (!pPort) Detail::ThrowUnresolved(m_pOwner, m_Index);
        return *pPort;
    }
    P* operator->() const { return &**this; }

    friend bool operator<(const PortHandle& a, const PortHandle& b)
    {
        return std::tie(a.m_pOwner, a.m_Index) < std::tie(b.m_pOwner, b.m_Index);
    }
    friend bool operator==(const PortHandle& a, const PortHandle& b)
    {
        return a.m_pOwner == b.m_pOwner && a.m_Index == b.m_Index;
    }
    friend bool operator!=(const PortHandle& a, const PortHandle& b) { return !(a == b); }

private:
    PortOwner* m_pOwner = nullptr;
};

// Names one scope of a scope owner (a control-flow filter) by its index.
class ScopeHandle : public IndexBasedHandleT<unsigned int, -1> {
public:
    ScopeHandle() = default;
    ScopeHandle(unsigned int uiIndex, ScopeOwner* pOwner) : IndexBasedHandleT(uiIndex), m_pOwner(pOwner) {}

    ScopeOwner* GetOwner() const { return m_pOwner; }
    bool IsNone() const { return m_pOwner == nullptr || m_Index == None; }
    void Reset()
    {
        m_Index = None;
        m_pOwner = nullptr;
    }
    // The scope, or null when the owner holds none under the index. Throws
    // std::runtime_error "Null pointer exception in PortHandle" for a none handle.
    Scope* Get() const;

    friend bool operator<(const ScopeHandle& a, const ScopeHandle& b)
    {
        return std::tie(a.m_pOwner, a.m_Index) < std::tie(b.m_pOwner, b.m_Index);
    }
    friend bool operator==(const ScopeHandle& a, const ScopeHandle& b)
    {
        return a.m_pOwner == b.m_pOwner && a.m_Index == b.m_Index;
    }
    friend bool operator!=(const ScopeHandle& a, const ScopeHandle& b) { return !(a == b); }

private:
    ScopeOwner* m_pOwner = nullptr;
};

} // namespace Ondo::FlowGraph
