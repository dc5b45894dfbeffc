#include "frame/CtrlTimedScopeWithQuery.h"

#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"

namespace Prismvale {

using namespace Ondo::FlowGraph;

CtrlTimedScopeWithQuery::CtrlTimedScopeWithQuery(Ondo::Core& core, const std::string& strName)
    : BaseCtrlFlowFilter(core, strName, "Timed Scope (OpenGL)")
{
}

void CtrlTimedScopeWithQuery::Serialize(Serialization::Serializer& serializer)
{
    serializer.Serialize("hScopeTimed", hScopeTimed);
    serializer.Serialize("hOutputTime", hOutputTime);
}

void CtrlTimedScopeWithQuery::CreatePorts()
{
    hScopeTimed = AddScope(std::make_unique<Scope>("Timed Scope"));
    CreatePort(hOutputTime, {PortType::Output, "Time", false});
}

void CtrlTimedScopeWithQuery::AddBoundaryPort(PortHandle<Port>& hPort, std::unique_ptr<Port> pPrototype, int iMode,
                                              const ScopeHandle& hScope)
{
    AddBoundaryPortTo(hScopeTimed, hPort, std::move(pPrototype), iMode, hScope);
}

void CtrlTimedScopeWithQuery::ExecuteScope(ScopeExecuter& executer)
{
    ForwardInputs(hScopeTimed);
    Scope* pScope = hScopeTimed.Get();
    // Without a query object (resources not made) the scope runs untimed and
    // "Time" keeps its value.
    if (m_uiQuery == 0) {
        if (pScope) executer.ExecuteScope(*pScope);
        ForwardOutputs(hScopeTimed);
        return;
    }
    glBeginQuery(GL_TIME_ELAPSED, m_uiQuery);
    // The query ends on every path: a filter inside that fails must not
    // leave it active, or the next frame's begin would fail.
    try {
        if (pScope) executer.ExecuteScope(*pScope);
    } catch (...) {
        glEndQuery(GL_TIME_ELAPSED);
        throw;
    }
    glEndQuery(GL_TIME_ELAPSED);
    // Waits until the GPU has finished the scope's work.
    GLuint64 uiNanoseconds = 0;
    glGetQueryObjectui64v(m_uiQuery, GL_QUERY_RESULT, &uiNanoseconds);
    m_fTime = ToMilliseconds(uiNanoseconds);
    ForwardOutputs(hScopeTimed);
    hOutputTime->SetData(&m_fTime, true);
}

void CtrlTimedScopeWithQuery::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    glGenQueries(1, &m_uiQuery);
}

void CtrlTimedScopeWithQuery::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    if (m_uiQuery == 0) return;
    glDeleteQueries(1, &m_uiQuery);
    m_uiQuery = 0;
}

float CtrlTimedScopeWithQuery::ToMilliseconds(GLuint64 uiNanoseconds)
{
    return static_cast<float>(static_cast<double>(uiNanoseconds) / 1000000.0);
}

} // namespace Prismvale
