#include "Ondo/FlowGraph/Filter.h"

#include "Ondo/Logger.h"

namespace Ondo::FlowGraph {

ScopeItem::ScopeItem(Core& core, const std::string& strName, const std::string& strTitle)
    : m_Core(core), m_strName(strName), m_strTitle(strTitle)
{
}

ScopeItem::~ScopeItem() = default;

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

} // namespace Ondo::FlowGraph
