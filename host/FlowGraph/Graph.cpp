#include "Graph.h"

#include "GLErrors.h"
#include "ValueText.h"

#include "host/OpenGL/ShaderFiles.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace Ondo::FlowGraph {

namespace {

// Holds the port of one literal value.
class LiteralOwner : public PortOwner {};

std::string Quoted(const std::string& strText) { return "\"" + strText + "\""; }

std::string PortList(const PortOwner& owner, bool bOutput)
{
    std::string strList;
    for (const auto& hPort : owner.GetPortHandles()) {
        if (hPort->IsOutput() != bOutput) continue;
        strList += (strList.empty() ? "" : ", ") + Quoted(hPort->GetLabel());
    }
    return strList.empty() ? "none" : strList;
}

} // namespace

struct Graph::LiteralEntry {
    std::string strItem;
    std::string strInput;
    std::string strText;
    Scope* pScope = nullptr;
    std::unique_ptr<ValueHolder> pValue;
    LiteralOwner owner;
    PortHandle<Port> hOutput;
    PortHandle<Port> hTarget;
};

Graph::Graph(Core& core) : m_Core(core), m_Root("Root") {}

Graph::~Graph()
{
    try {
        DetachDevice();
    } catch (...) {
        // DetachDevice reports through the core's logger; nothing more to do here.
    }
}

ScopeItem& Graph::AddItem(Scope& scope, const std::string& strType, const std::string& strName)
{
    if (strName.empty()) throw std::runtime_error("A filter of type " + Quoted(strType) + " needs a name");
    if (strName == ScopePortsName)
        throw std::runtime_error(Quoted(strName) + " is reserved for the ports of a scope; choose another name");
    if (FindItem(strName)) throw std::runtime_error("The graph has a filter named " + Quoted(strName) + " already");

    const FilterRegistry& registry = FilterRegistry::Get(m_Core);
    std::shared_ptr<ScopeItem> pItem;
    if (const FilterDescriptor* pDescriptor = registry.FindFilter(strType)) {
        pItem.reset(pDescriptor->m_fnFactory ? pDescriptor->m_fnFactory(m_Core, strName) : nullptr);
    } else if (const CtrlFlowFilterFactory* pFactory = registry.FindCtrlFlowFilter(strType)) {
        pItem.reset(*pFactory ? (*pFactory)(m_Core, strName) : nullptr);
    } else {
        throw std::runtime_error("Unknown filter type " + Quoted(strType) + " for " + Quoted(strName) +
                                 " (ondo-run --list shows the registered types)");
    }
    if (!pItem) throw std::runtime_error("The factory of " + Quoted(strType) + " made no filter for " + Quoted(strName));

    pItem->SetTypeName(strType);
    scope.AddItem(pItem);
    m_ScopeOf[pItem.get()] = &scope;
    m_ItemsByName[strName] = pItem.get();
    try {
        pItem->Initialize();
        if (m_pDevice) Attach(*pItem);
    } catch (const std::exception& error) {
        m_ScopeOf.erase(pItem.get());
        m_ItemsByName.erase(strName);
        scope.RemoveItem(*pItem);
        throw std::runtime_error(pItem->Describe() + ": " + error.what());
    }
    return *pItem;
}

void Graph::AddBoundaryPort(const std::string& strItem, const std::string& strLabel, const std::string& strType,
                            int iMode)
{
    auto* pCtrl = dynamic_cast<CtrlFlowFilter*>(&RequireItem(strItem));
    if (!pCtrl) throw std::runtime_error(Quoted(strItem) + " is not a control-flow filter, so it has no boundary ports");
    const std::vector<ScopeHandle> scopes = pCtrl->GetScopeHandles();
    if (scopes.empty()) throw std::runtime_error(Quoted(strItem) + " has no inner scope");
    if (iMode < BoundaryInputOnly || iMode > BoundaryBoth)
        throw std::runtime_error(Quoted(strItem) + ": boundary mode " + std::to_string(iMode) +
                                 " is none of 1 (input), 2 (output), 3 (both)");
    // The prototype becomes the outer port of the first half made.
    const PortType eType = iMode == BoundaryOutputOnly ? PortType::Output : PortType::Input;
    std::unique_ptr<Port> pPrototype = MakePortOfType(strType, {eType, strLabel, false});
    if (!pPrototype) throw std::runtime_error(Quoted(strItem) + ": no port carries the type " + Quoted(strType));
    PortHandle<Port> hPort;
    pCtrl->AddBoundaryPort(hPort, std::move(pPrototype), iMode, ScopeHandle());
}

ScopeItem* Graph::FindItem(const std::string& strName) const
{
    const auto it = m_ItemsByName.find(strName);
    return it == m_ItemsByName.end() ? nullptr : it->second;
}

ScopeItem& Graph::RequireItem(const std::string& strName) const
{
    ScopeItem* pItem = FindItem(strName);
    if (!pItem) throw std::runtime_error("The graph has no filter named " + Quoted(strName));
    return *pItem;
}

Scope& Graph::GetScopeOf(const ScopeItem& item) const { return *m_ScopeOf.at(&item); }

const std::string& Graph::GetType(const ScopeItem& item) const { return item.GetTypeName(); }

void Graph::CollectItems(const Scope& scope, std::vector<ScopeItem*>& items) const
{
    for (const auto& pItem : scope.GetItems()) {
        items.push_back(pItem.get());
        if (const auto* pCtrl = dynamic_cast<const CtrlFlowFilter*>(pItem.get()))
            for (const ScopeHandle& hScope : pCtrl->GetScopeHandles())
                if (Scope* pInner = hScope.Get()) CollectItems(*pInner, items);
    }
}

std::vector<ScopeItem*> Graph::GetAllItems() const
{
    std::vector<ScopeItem*> items;
    CollectItems(m_Root, items);
    return items;
}

PortHandle<Port> Graph::FindPort(Scope& scope, const std::string& strItem, const std::string& strLabel,
                                 bool bOutput) const
{
    const char* szDirection = bOutput ? "output" : "input";
    PortOwner* pOwner = &scope;
    std::string strOwner = "scope " + Quoted(scope.GetName());
    if (strItem != ScopePortsName) {
        ScopeItem& item = RequireItem(strItem);
        if (&GetScopeOf(item) != &scope)
            throw std::runtime_error(Quoted(strItem) + " is not in scope " + Quoted(scope.GetName()) +
                                     ": connections stay inside one scope");
        pOwner = &item;
        strOwner = item.Describe();
    }
    const PortHandle<Port> hPort = pOwner->FindPort(strLabel, bOutput);
    if (hPort.IsNone())
        throw std::runtime_error(strOwner + " has no " + szDirection + " " + Quoted(strLabel) + " (its " + szDirection +
                                 "s: " + PortList(*pOwner, bOutput) + ")");
    return hPort;
}

void Graph::Connect(Scope& scope, const std::string& strFrom, const std::string& strOutput, const std::string& strTo,
                    const std::string& strInput)
{
    const PortHandle<Port> hSource = FindPort(scope, strFrom, strOutput, true);
    const PortHandle<Port> hTarget = FindPort(scope, strTo, strInput, false);
    try {
        scope.Connect(hSource, hTarget);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error("Cannot connect " + Quoted(strFrom) + " " + Quoted(strOutput) + " to " +
                                 Quoted(strTo) + " " + Quoted(strInput) + ": " + error.what());
    }
}

void Graph::SetLiteral(const std::string& strItem, const std::string& strInput, const std::string& strText)
{
    ScopeItem& item = RequireItem(strItem);
    Scope& scope = GetScopeOf(item);
    const PortHandle<Port> hTarget = FindPort(scope, strItem, strInput, false);
    const std::string strWhat = Quoted(strItem) + " input " + Quoted(strInput);

    if (const auto itFound = m_LiteralOf.find(hTarget); itFound != m_LiteralOf.end()) {
        LiteralEntry* pLiteral = itFound->second;
        try {
            pLiteral->pValue->Parse(strText);
        } catch (const std::invalid_argument& error) {
            throw std::runtime_error(strWhat + ": " + error.what());
        }
        pLiteral->strText = strText;
        pLiteral->pValue->Publish(*pLiteral->hOutput, true);
        return;
    }
    if (scope.IsConnected(*hTarget)) throw std::runtime_error(strWhat + " is connected; it cannot take a value as well");

    auto pLiteral = std::make_unique<LiteralEntry>();
    pLiteral->pValue = MakeValueHolder(hTarget->GetTransportedType());
    if (!pLiteral->pValue)
        throw std::runtime_error(strWhat + " carries " + hTarget->GetTransportedType() +
                                 ", which cannot be given as text; connect a filter that makes one");
    try {
        pLiteral->pValue->Parse(strText);
    } catch (const std::invalid_argument& error) {
        throw std::runtime_error(strWhat + ": " + error.what());
    }
    pLiteral->strItem = strItem;
    pLiteral->strInput = strInput;
    pLiteral->strText = strText;
    pLiteral->pScope = &scope;
    pLiteral->hTarget = hTarget;
    pLiteral->hOutput = pLiteral->owner.AddPort(pLiteral->pValue->MakePort({PortType::Output, strInput, false}));
    pLiteral->pValue->Publish(*pLiteral->hOutput, true);
    scope.Connect(pLiteral->hOutput, hTarget);
    m_LiteralOf[hTarget] = pLiteral.get();
    m_Literals.push_back(std::move(pLiteral));
}

std::vector<Graph::Literal> Graph::GetLiterals(const Scope& scope) const
{
    std::vector<Literal> literals;
    for (const auto& pLiteral : m_Literals)
        if (pLiteral->pScope == &scope) literals.push_back({pLiteral->strItem, pLiteral->strInput, pLiteral->strText});
    return literals;
}

bool Graph::IsLiteralConnection(const Connection& connection) const
{
    return dynamic_cast<const LiteralOwner*>(connection.m_hSource.GetOwner()) != nullptr;
}

Instrumenter& Graph::GetInstrumenter(const std::string& strItem)
{
    ScopeItem& item = RequireItem(strItem);
    auto& pInstrumenter = m_Instrumenters[strItem];
    if (!pInstrumenter) {
        pInstrumenter = std::make_unique<Instrumenter>();
        item.Instrument(*pInstrumenter);
    }
    return *pInstrumenter;
}

std::string Graph::FileNameProblem(const std::string& strName)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(strName, error)) return {};
    return std::filesystem::exists(strName, error) ? "is no regular file" : "does not exist";
}

// A file name is checked before the control takes it, as loading checks the
// names a graph stores: a loader told to read something that is no regular
// file would publish nothing or keep its old picture. A control's callback
// may refuse an edit too (text that does not parse, a size out of range);
// either way the message names the item and the control.
void Graph::SetControl(const std::string& strItem, const std::string& strLabel, const std::string& strValue)
{
    Instrumenter& instrumenter = GetInstrumenter(strItem);
    EditControl(strItem, instrumenter.FindControl(strLabel), strLabel, strValue,
                [&] { instrumenter.SetControl(strLabel, strValue); });
}

void Graph::SetControl(const std::string& strItem, Instrumenter::ControlId id, const std::string& strValue)
{
    Instrumenter& instrumenter = GetInstrumenter(strItem);
    const Instrumenter::Control* pControl = instrumenter.FindControl(id);
    EditControl(strItem, pControl, pControl ? pControl->m_strLabel : "#" + std::to_string(id), strValue,
                [&] { instrumenter.SetControl(id, strValue); });
}

void Graph::EditControl(const std::string& strItem, const Instrumenter::Control* pControl, const std::string& strLabel,
                        const std::string& strValue, const std::function<void()>& fnEdit)
{
    ScopeItem& item = RequireItem(strItem);
    if (pControl && pControl->m_eKind == Instrumenter::ControlKind::FileName && !strValue.empty()) {
        const std::string strProblem = FileNameProblem(strValue);
        if (!strProblem.empty())
            throw std::runtime_error(item.Describe() + ": " + Quoted(strLabel) + " cannot name " + strValue + ", which " +
                                     strProblem);
    }
    try {
        // A callback that rebuilds programs at once compiles them for the item.
        OpenGL::ShaderUser user(&item);
        fnEdit();
    } catch (const std::exception& error) {
        throw std::runtime_error(item.Describe() + ": " + error.what());
    }
}

// An item that reports an error to the core while its resources are made
// (an image file it could not read), or leaves a GL error, is refused like
// one that throws, and released again.
void Graph::Attach(ScopeItem& item)
{
    OpenGL::ShaderUser user(&item);
    const std::size_t uiErrors = m_Core.GetErrors().size();
    bool bGL = true;
    if (auto* pFilter = dynamic_cast<OpenGL::BaseFilter*>(&item))
        pFilter->AttachDevice(*m_pDevice);
    else if (auto* pCtrl = dynamic_cast<OpenGL::BaseCtrlFlowFilter*>(&item))
        pCtrl->AttachDevice(*m_pDevice);
    else
        bGL = false;
    std::string strError = bGL ? TakeGLErrors() : std::string();
    if (m_Core.GetErrors().size() > uiErrors) strError = m_Core.GetErrors()[uiErrors];
    if (strError.empty()) return;
    Detach(item);
    TakeGLErrors(); // what the release raised belongs to the same failure
    throw std::runtime_error(strError);
}

void Graph::Detach(ScopeItem& item)
{
    if (auto* pFilter = dynamic_cast<OpenGL::BaseFilter*>(&item))
        pFilter->DetachDevice();
    else if (auto* pCtrl = dynamic_cast<OpenGL::BaseCtrlFlowFilter*>(&item))
        pCtrl->DetachDevice();
}

void Graph::RebuildResources(ScopeItem& item)
{
    if (!m_pDevice) return;
    Detach(item);
    Attach(item);
}

void Graph::AttachDevice(OpenGL::Device& device)
{
    if (m_pDevice == &device) return;
    DetachDevice();
    m_pDevice = &device;
    for (ScopeItem* pItem : GetAllItems()) {
        try {
            Attach(*pItem);
        } catch (const std::exception& error) {
            throw std::runtime_error(pItem->Describe() + ": its GPU resources could not be made: " + error.what());
        }
    }
}

void Graph::DetachDevice()
{
    if (!m_pDevice) return;
    // Every item is released even when one fails; the first failure is
    // reported afterwards.
    std::string strFirstError;
    std::vector<ScopeItem*> items = GetAllItems();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        try {
            Detach(**it);
        } catch (const std::exception& error) {
            const std::string strMessage = Quoted((*it)->GetName()) + ": releasing its GPU resources failed: " + error.what();
            if (LoggerInterface* pLogger = m_Core.GetLogger()) pLogger->Log(strMessage + "\n");
            if (strFirstError.empty()) strFirstError = strMessage;
        }
    }
    m_pDevice = nullptr;
    if (!strFirstError.empty()) throw std::runtime_error(strFirstError);
}

void Graph::Validate() const
{
    m_Root.GetExecutionOrder();
    for (ScopeItem* pItem : GetAllItems())
        if (const auto* pCtrl = dynamic_cast<const CtrlFlowFilter*>(pItem))
            for (const ScopeHandle& hScope : pCtrl->GetScopeHandles())
                if (Scope* pInner = hScope.Get()) pInner->GetExecutionOrder();
}

void Graph::ResetChanged(Scope& scope)
{
    for (const auto& hPort : scope.GetPortHandles()) hPort->ResetChanged();
    for (const auto& pItem : scope.GetItems()) {
        for (const auto& hPort : pItem->GetPortHandles()) hPort->ResetChanged();
        if (auto* pCtrl = dynamic_cast<CtrlFlowFilter*>(pItem.get()))
            for (const ScopeHandle& hScope : pCtrl->GetScopeHandles())
                if (Scope* pInner = hScope.Get()) ResetChanged(*pInner);
    }
}

void Graph::RunFrame(ScopeExecuter& executer)
{
    executer.ExecuteScope(m_Root);
    EndFrame();
}

void Graph::EndFrame()
{
    ResetChanged(m_Root);
    for (const auto& pLiteral : m_Literals) pLiteral->hOutput->ResetChanged();
}

} // namespace Ondo::FlowGraph
