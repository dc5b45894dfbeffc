#pragma once

#include "Ondo/FlowGraph/PortHandle.h"

#include <tinyxml.h>

#include <map>
#include <string>
#include <vector>

namespace Ondo::FlowGraph::Serialization {

// The numbers that stand for ports and scopes in one saved document. The
// engine fills it for one save or load; filters only see it through the
// serializer's handle operations.
struct SaveInfo {
    std::map<PortHandle<Port>, int> m_PortToID;
    std::map<int, PortHandle<Port>> m_IDToPort;
    std::map<ScopeHandle, int> m_ScopeToID;
    std::map<int, ScopeHandle> m_IDToScope;

    // Enters a port or scope under the next free number (its present number
    // when it has one) in both directions and returns the number.
    int AddPort(const PortHandle<Port>& hPort);
    int AddScope(const ScopeHandle& hScope);

    // While one item's settings are read, what its handles may name: ports
    // of these owners (the item and its own scopes) and scopes of this
    // owner. A handle naming anything else is refused, so that a damaged
    // document cannot rewire another filter's port or run a scope twice.
    // Nothing is restricted while the list of owners is empty.
    std::vector<const PortOwner*> m_ReadableOwners;
    const ScopeOwner* m_pReadableScopeOwner = nullptr;
};

// Writes settings and handles into XML elements, or reads them back. The same
// Serialize code of a filter runs in both directions: a serializer made with
// a writer document writes, one made without reads.
//
// Each value lives in a child element of the current node named by its key:
//   plain value   <KEY value="TEXT"/>
//   port handle   <KEY PortID="N"/>     (-1 for a handle the save info does not know)
//   scope handle  <KEY ScopeID="N"/>
//   sub-object    <KEY>...whatever the object writes...</KEY>
//   sequence      <KEY><STL_Item><ITEM .../></STL_Item>...</KEY>
class Serializer {
public:
    // pWriterDocument is null for a reader. The current node is where elements
    // are appended (writer) or looked up (reader).
    Serializer(TiXmlDocument* pWriterDocument, TiXmlNode* pCurrentNode, SaveInfo* pSaveInfo);

    bool IsReader() const { return m_pWriterDocument == nullptr; }
    bool HasNodeElement(const std::string& strName) const { return HasNodeElement(m_pCurrentNode, strName); }
    static bool HasNodeElement(const TiXmlNode* pNode, const std::string& strName);

    TiXmlNode* GetCurrentNode() const { return m_pCurrentNode; }
    void SetCurrentNode(TiXmlNode* pNode) { m_pCurrentNode = pNode; }
    // The current node as an element; throws ExceptionXML when it is none.
    TiXmlElement* GetCurrentElement() const;
    SaveInfo* GetSaveInfo() const { return m_pSaveInfo; }

    // Plain values. Writing requires the element to be absent; reading
    // requires it with its "value" attribute, and text that parses whole.
    void Write(const std::string& strName, bool bValue);
    void Write(const std::string& strName, int iValue);
    void Write(const std::string& strName, unsigned int uiValue);
    void Write(const std::string& strName, float fValue);
    void Write(const std::string& strName, double dValue);
    void Write(const std::string& strName, const std::string& strValue);
    void Write(const std::string& strName, const char* szValue) { Write(strName, std::string(szValue)); }
    void Read(const std::string& strName, bool& bValue) const;
    void Read(const std::string& strName, int& iValue) const;
    void Read(const std::string& strName, unsigned int& uiValue) const;
    void Read(const std::string& strName, float& fValue) const;
    void Read(const std::string& strName, double& dValue) const;
    void Read(const std::string& strName, std::string& strValue) const;

    // Writes or reads, as the serializer does.
    void Serialize(const std::string& strName, bool& bValue) { Transfer(strName, bValue); }
    void Serialize(const std::string& strName, int& iValue) { Transfer(strName, iValue); }
    void Serialize(const std::string& strName, unsigned int& uiValue) { Transfer(strName, uiValue); }
    void Serialize(const std::string& strName, float& fValue) { Transfer(strName, fValue); }
    void Serialize(const std::string& strName, double& dValue) { Transfer(strName, dValue); }
    void Serialize(const std::string& strName, std::string& strValue) { Transfer(strName, strValue); }
    void Serialize(const std::string& strName, std::wstring& strValue);

    template <class P>
    void Serialize(const std::string& strName, PortHandle<P>& hPort)
    {
        PortHandle<Port> hAny(hPort);
        SerializePortHandle(strName, hAny);
        if (IsReader()) hPort = PortHandle<P>(hAny);
    }
    void Serialize(const std::string& strName, ScopeHandle& hScope);

    // A sub-object: anything with Serialize(Serializer&), written into or read
    // from its own child element. The current node is restored afterwards,
    // also when the object throws.
    template <class T>
    void Serialize(const std::string& strName, T& object)
    {
        NodeGuard guard(*this);
        EnterObject(strName);
        object.Serialize(*this);
    }

    // A sequence of plain values or port handles, one "STL_Item" per item
    // holding the item under strItemName. Reading replaces the whole vector
    // only when every item was read.
    template <class T>
    void Serialize(const std::string& strName, std::vector<T>& items, const std::string& strItemName)
    {
        if (!IsReader()) {
            TiXmlElement* pSequence = BeginSequenceWrite(strName);
            for (T& item : items) {
                NodeGuard guard(*this);
                m_pCurrentNode = AppendItemElement(pSequence);
                Serialize(strItemName, item);
            }
            return;
        }
        std::vector<T> read;
        for (TiXmlElement* pItem = FirstItem(strName); pItem; pItem = pItem->NextSiblingElement("STL_Item")) {
            NodeGuard guard(*this);
            m_pCurrentNode = pItem;
            T item{};
            Serialize(strItemName, item);
            read.push_back(std::move(item));
        }
        items.swap(read);
    }

private:
    class NodeGuard {
    public:
        explicit NodeGuard(Serializer& serializer)
            : m_Serializer(serializer), m_pSaved(serializer.m_pCurrentNode)
        {
        }
        NodeGuard(const NodeGuard&) = delete;
        NodeGuard& operator=(const NodeGuard&) = delete;
        ~NodeGuard() { m_Serializer.m_pCurrentNode = m_pSaved; }

    private:
        Serializer& m_Serializer;
        TiXmlNode* m_pSaved;
    };

    template <class T>
    void Transfer(const std::string& strName, T& value)
    {
        if (IsReader())
            Read(strName, value);
        else
            Write(strName, value);
    }

    void WriteText(const std::string& strName, const std::string& strText);
    // The "value" text of a plain value for the number readers.
    const char* ReadNumberText(const std::string& strName) const;
    void SerializePortHandle(const std::string& strName, PortHandle<Port>& hPort);
    // The checks every handle operation starts with; when reading, the text
    // of the handle's attribute.
    const char* BeginHandle(const std::string& strName, const char* szAttribute);
    void EnterObject(const std::string& strName);
    TiXmlElement* BeginSequenceWrite(const std::string& strName);
    TiXmlElement* AppendItemElement(TiXmlElement* pSequence);
    TiXmlElement* FirstItem(const std::string& strName) const;
    TiXmlElement* AppendElement(const std::string& strName);

    TiXmlDocument* m_pWriterDocument;
    TiXmlNode* m_pCurrentNode;

public:
    SaveInfo* m_pSaveInfo;
};

} // namespace Ondo::FlowGraph::Serialization
