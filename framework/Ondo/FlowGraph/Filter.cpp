#include "Ondo/FlowGraph/Filter.h"

#include "Ondo/Logger.h"

#include <stdexcept>

namespace Ondo::FlowGraph {

ScopeItem::ScopeItem(Core& core, const std::string& strName, const std::string& strTitle)
    : m_Core(core), m_strName(strName), m_strTitle(strTitle)
{
}

ScopeItem::~ScopeItem() = default;

std::string ScopeItem::Describe() const
{
    return "\"" + m_strName + "\"" + (m_strTypeName.empty() ? "" : " (" + m_strTypeName + ")");
}

void ScopeItem::OnEvent(const Event&) {}

void ScopeItem::Instrument(Instrumenter&) {}

bool ScopeItem::IsReadyToRun(const Scope& context, LoggerInterface* pLogger)
{
    bool bResult = true;
    for (const PortHandle<Port>& hPort : GetPortHandles()) {
        const Port& port = *hPort;
        if (port.IsOptional() || port.IsOutput()) continue;
        if (context.IsConnected(port)) continue;
        bResult = false;
        if (pLogger)
            pLogger->Log(m_strName + ": Port \"" + port.GetLabel() + "\" requires a connection to run.\n");
    }
    return bResult;
}

const std::vector<BoundaryLink>& CtrlFlowFilter::GetBoundaryLinks(const ScopeHandle& hInner) const
{
    static const std::vector<BoundaryLink> s_None;
    const auto it = m_BoundaryLinks.find(hInner);
    return it == m_BoundaryLinks.end() ? s_None : it->second;
}

void CtrlFlowFilter::AddBoundaryPortTo(const ScopeHandle& hInner, PortHandle<Port>& hPort,
                                       std::unique_ptr<Port> pPrototype, int iMode, const ScopeHandle& hScope)
{
    Scope* pInner = hInner.Get();
    if (!pInner) throw std::runtime_error(GetName() + ": the inner scope of a boundary port does not exist");
    const bool bOutside = hScope.IsNone();
    const bool bInInner = !bOutside && hScope == hInner;
    const bool bInput = !pPrototype->IsOutput();
    Port& prototype = *pPrototype;

    if (bOutside) {
        hPort = AddPort(std::move(pPrototype));
    } else {
        Scope* pScope = hScope.Get();
        if (!pScope) throw std::runtime_error(GetName() + ": a boundary port names a scope that does not exist");
        hPort = pScope->AddPort(std::move(pPrototype));
    }

    BoundaryLink link;
    if (iMode != BoundaryOutputOnly) {
        link.m_hOuterInput = bOutside && bInput ? hPort : AddPort(prototype.Clone(PortType::Input));
        link.m_hInnerOutput = bInInner && !bInput ? hPort : pInner->AddPort(prototype.Clone(PortType::Output));
    }
    if (iMode != BoundaryInputOnly) {
        link.m_hOuterOutput = bOutside && !bInput ? hPort : AddPort(prototype.Clone(PortType::Output));
        link.m_hInnerInput = bInInner && bInput ? hPort : pInner->AddPort(prototype.Clone(PortType::Input));
    }
    m_BoundaryLinks[hInner].push_back(link);
}

void CtrlFlowFilter::ForwardInputs(const ScopeHandle& hInner)
{
    for (const BoundaryLink& link : GetBoundaryLinks(hInner)) {
        if (link.m_hInnerOutput.IsNone()) continue;
        Port& outer = *link.m_hOuterInput;
        Port& inner = *link.m_hInnerOutput;
        inner.TakeDataFrom(outer);
    }
}

void CtrlFlowFilter::ForwardOutputs(const ScopeHandle& hInner)
{
    for (const BoundaryLink& link : GetBoundaryLinks(hInner)) {
        if (link.m_hInnerInput.IsNone() || link.m_hOuterOutput.IsNone()) continue;
        Port& inner = *link.m_hInnerInput;
        Port& outer = *link.m_hOuterOutput;
        outer.TakeDataFrom(inner);
    }
}

} // namespace Ondo::FlowGraph
