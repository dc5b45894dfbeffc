#pragma once

#include "Ondo/FlowGraph/Event.h"
#include "Ondo/FlowGraph/PortOwner.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/Subject.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Ondo {
class Core;
class LoggerInterface;
} // namespace Ondo

namespace Ondo::FlowGraph {

class ScopeExecuter;
namespace Serialization {
class Serializer;
}

// Anything that can sit in a scope: ordinary filters and control-flow
// filters. It owns its ports and knows its core, its instance name (unique in
// the graph), its title (what the editor shows) and the registered type it
// was made as (empty for an item made without the registry).
class ScopeItem : public PortOwner, public Instrumentable {
public:
    ScopeItem(Core& core, const std::string& strName, const std::string& strTitle);
    ~ScopeItem() override;

    virtual std::shared_ptr<ScopeItem> GetSharedPtr() = 0;
    // Host-side set-up before anything else: creates the fixed ports once.
    virtual void Initialize() = 0;
    // Runs the item once; only called after IsReadyToRun answered true.
    virtual void Execute(ScopeExecuter& executer) = 0;
    virtual void OnEvent(const Event& event);
    virtual void Serialize(Serialization::Serializer& serializer) = 0;
    // True when every required input (not optional, not an output) is the end
    // of a connection in the context. For each one that is not, the logger (if
    // any) receives one line: NAME: Port "LABEL" requires a connection to run.
    virtual bool IsReadyToRun(const Scope& context, LoggerInterface* pLogger);
    virtual void CreatePorts() = 0;

    void Instrument(Instrumenter& instrumenter) override;

    Core& GetCore() const { return m_Core; }
    const std::string& GetName() const { return m_strName; }
    void SetName(const std::string& strName) { m_strName = strName; }
    const std::string& GetTitle() const { return m_strTitle; }
    const std::string& GetTypeName() const { return m_strTypeName; }
    void SetTypeName(const std::string& strTypeName) { m_strTypeName = strTypeName; }
    // How messages name the item: "NAME" (TYPE), or "NAME" without a type.
    std::string Describe() const;

private:
    Core& m_Core;
    std::string m_strName;
    std::string m_strTitle;
    std::string m_strTypeName;
};

// An ordinary scope item that can hand out shared pointers to itself.
class BaseFilter : public ScopeItem, public std::enable_shared_from_this<ScopeItem> {
public:
    using ScopeItem::ScopeItem;
    std::shared_ptr<ScopeItem> GetSharedPtr() override { return shared_from_this(); }
};

class FilterObserver {
public:
    virtual ~FilterObserver() = default;
};

class Filter : public BaseFilter, public BaseSubjectT<FilterObserver> {
public:
    using BaseFilter::BaseFilter;
};

class CtrlFlowFilterObserver {
public:
    virtual ~CtrlFlowFilterObserver() = default;
};

// One port that crosses the boundary of an inner scope: values arriving at
// the outer input are handed to the inner output before the scope runs, and
// what arrives at the inner input is handed to the outer output afterwards.
// A link may have only its input half or only its output half; the handles
// of the missing half are none.
struct BoundaryLink {
    PortHandle<Port> m_hOuterInput;
    PortHandle<Port> m_hOuterOutput;
    PortHandle<Port> m_hInnerOutput;
    PortHandle<Port> m_hInnerInput;
};

// Which halves of a boundary port to make.
enum BoundaryMode : int { BoundaryInputOnly = 1, BoundaryOutputOnly = 2, BoundaryBoth = 3 };

// A scope item that owns inner scopes and decides how they run.
class CtrlFlowFilter : public ScopeItem,
                       public ScopeOwner,
                       public BaseSubjectT<CtrlFlowFilterObserver>,
                       public std::enable_shared_from_this<CtrlFlowFilter> {
public:
    using ScopeItem::ScopeItem;

    std::shared_ptr<ScopeItem> GetSharedPtr() override { return shared_from_this(); }
    std::shared_ptr<ScopeOwner> GetScopeOwnerSharedPtr() override { return shared_from_this(); }

    // Adds a port that crosses the boundary of one of the inner scopes; the
    // mode says which halves (1: input only, 2: output only, else both).
    virtual void AddBoundaryPort(PortHandle<Port>& hPort, std::unique_ptr<Port> pPrototype, int iMode,
                                 const ScopeHandle& hScope) = 0;
    virtual void ExecuteScope(ScopeExecuter& executer) = 0;

    // The boundary links of an inner scope, in the order they were made.
    const std::vector<BoundaryLink>& GetBoundaryLinks(const ScopeHandle& hInner) const;

protected:
    // The common way to add a boundary port to the inner scope hInner: the
    // prototype goes to this filter (hScope none) or to the scope hScope
    // names, and hPort receives it. The input half uses the prototype as
    // outer input when it is an input outside any scope, else a new input
    // clone on this filter, and as inner output when it is an output inside
    // hInner, else a new output clone in hInner; the output half likewise
    // with the directions swapped. The halves made are linked.
    void AddBoundaryPortTo(const ScopeHandle& hInner, PortHandle<Port>& hPort, std::unique_ptr<Port> pPrototype,
                           int iMode, const ScopeHandle& hScope);
    // Hands each outer input's value to its inner output (changed flag with
    // it), and each inner input's value to its outer output.
    void ForwardInputs(const ScopeHandle& hInner);
    void ForwardOutputs(const ScopeHandle& hInner);

private:
    std::map<ScopeHandle, std::vector<BoundaryLink>> m_BoundaryLinks;
};

} // namespace Ondo::FlowGraph
