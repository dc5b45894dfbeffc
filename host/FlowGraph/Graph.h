#pragma once

#include "Ondo/FlowGraph/Filter.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/Instrumenter.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Ondo {
class Core;
namespace OpenGL {
class Device;
}
} // namespace Ondo

namespace Ondo::FlowGraph {

class ScopeExecuter;
class ValueHolder;

// A filter graph of one core: the root scope and everything in it, the
// literal values given to inputs, and the editor controls of the items.
// Items are made through the core's filter registry, get their ports at
// once and their GPU resources when the graph is bound to a render device;
// the graph releases those resources when it is destroyed (also after a
// failed load). Item names are unique in the whole graph.
class Graph {
public:
    // The name by which connections in a scope refer to the scope's own
    // ports (the inner side of a control-flow filter's boundary ports).
    static constexpr const char* ScopePortsName = "@scope";

    explicit Graph(Core& core);
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;
    ~Graph();

    Core& GetCore() const { return m_Core; }
    Scope& GetRoot() { return m_Root; }
    const Scope& GetRoot() const { return m_Root; }

    // Makes an item of a registered type (ordinary or control-flow), adds it
    // to the scope and creates its ports; binds it to the device when the
    // graph has one. Throws std::runtime_error naming the type and the name.
    ScopeItem& AddItem(Scope& scope, const std::string& strType, const std::string& strName);
    // Adds a boundary port to a control-flow item: a port of the transported
    // type, both halves or one, linked into its first inner scope.
    void AddBoundaryPort(const std::string& strItem, const std::string& strLabel, const std::string& strType,
                         int iMode);

    ScopeItem* FindItem(const std::string& strName) const;
    ScopeItem& RequireItem(const std::string& strName) const;
    // The scope that holds the item.
    Scope& GetScopeOf(const ScopeItem& item) const;
    const std::string& GetType(const ScopeItem& item) const;
    // Every item of every scope, parents before the items of their scopes.
    std::vector<ScopeItem*> GetAllItems() const;

    // Connects an output to an input of the same scope by names and labels
    // (ScopePortsName for the scope's own ports). Throws std::runtime_error
    // naming the items and ports.
    void Connect(Scope& scope, const std::string& strFrom, const std::string& strOutput, const std::string& strTo,
                 const std::string& strInput);
    // The port of an item (or of the scope) by label and direction; throws
    // naming the item and listing its ports of that direction when none.
    PortHandle<Port> FindPort(Scope& scope, const std::string& strItem, const std::string& strLabel,
                              bool bOutput) const;

    // Gives an unconnected input a fixed value, from text in the form of its
    // transported type (see ValueText.h). Setting it again replaces the value.
    void SetLiteral(const std::string& strItem, const std::string& strInput, const std::string& strText);
    struct Literal {
        std::string strItem;
        std::string strInput;
        std::string strText;
    };
    // The literals given to the items of a scope, in the order they were set.
    std::vector<Literal> GetLiterals(const Scope& scope) const;
    // True when the connection comes from a literal rather than an item.
    bool IsLiteralConnection(const Connection& connection) const;

    // The editor controls of an item, built on first use and kept.
    Instrumenter& GetInstrumenter(const std::string& strItem);
    // Why a file-name control cannot name the file (relative names are taken
    // from the current folder): empty when it is a regular file, else "does
    // not exist" or "is no regular file" (a folder, a device such as /dev/zero).
    static std::string FileNameProblem(const std::string& strName);
    // Edits a control as a person would; throws naming the item and control,
    // also when the control's callback refuses the edit, and before the edit
    // when a file-name control is given something that is no regular file.
    void SetControl(const std::string& strItem, const std::string& strLabel, const std::string& strValue);
    // The same for one control by its id (labels need not be unique).
    void SetControl(const std::string& strItem, Instrumenter::ControlId id, const std::string& strValue);

    // Binds every item to the device (creating GPU resources, in item order)
    // and keeps the device for items added later; releases them all again.
    void AttachDevice(OpenGL::Device& device);
    void DetachDevice();
    OpenGL::Device* GetDevice() const { return m_pDevice; }
    // Releases one item's GPU resources and makes them anew (a shader file it
    // reads has changed): its ports, connections and settings stay. Throws as
    // binding does; the item is then left without resources.
    void RebuildResources(ScopeItem& item);

    // Checks the execution order of every scope (throws for a cycle).
    void Validate() const;
    // Runs the root scope once, then ends the frame.
    void RunFrame(ScopeExecuter& executer);
    // Clears every changed flag of the graph's ports.
    void EndFrame();

private:
    struct LiteralEntry;
    void Attach(ScopeItem& item);
    void Detach(ScopeItem& item);
    void EditControl(const std::string& strItem, const Instrumenter::Control* pControl, const std::string& strLabel,
                     const std::string& strValue, const std::function<void()>& fnEdit);
    void CollectItems(const Scope& scope, std::vector<ScopeItem*>& items) const;
    void ResetChanged(Scope& scope);

    Core& m_Core;
    Scope m_Root;
    OpenGL::Device* m_pDevice = nullptr;
    std::map<const ScopeItem*, Scope*> m_ScopeOf;
    std::unordered_map<std::string, ScopeItem*> m_ItemsByName;
    std::vector<std::unique_ptr<LiteralEntry>> m_Literals;
    std::map<PortHandle<Port>, LiteralEntry*> m_LiteralOf; // by the input each one feeds
    std::map<std::string, std::unique_ptr<Instrumenter>> m_Instrumenters;
};

} // namespace Ondo::FlowGraph
