#include "frame/CtrlTimedScopeWithQuery.h"

#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"

#include <algorithm>

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
    // Elapsed-time queries do not nest: inside another scope's (or anyone's)
    // the time is taken between two timestamps instead. The outermost scope
    // takes both: a driver may leave work out of its elapsed time (llvmpipe
    // counts only what it rasterises, so compute dispatches read 0), and the
    // timestamps around the same commands then give the real time.
    GLint iActive = 0;
    glGetQueryiv(GL_TIME_ELAPSED, GL_CURRENT_QUERY, &iActive);
    const bool bNested = iActive != 0;
    if (m_uiStamps[0] == 0) glGenQueries(2, m_uiStamps);
    glQueryCounter(m_uiStamps[0], GL_TIMESTAMP);
    if (!bNested) glBeginQuery(GL_TIME_ELAPSED, m_uiQuery);
    // The query ends on every path: a filter inside that fails must not
    // leave it active, or the next frame's begin would fail.
    try {
        if (pScope) executer.ExecuteScope(*pScope);
    } catch (...) {
        if (!bNested) glEndQuery(GL_TIME_ELAPSED);
        throw;
    }
    if (!bNested) glEndQuery(GL_TIME_ELAPSED);
    glQueryCounter(m_uiStamps[1], GL_TIMESTAMP);
    // Waits until the GPU has finished the scope's work.
    GLuint64 uiStart = 0, uiEnd = 0, uiElapsed = 0;
    glGetQueryObjectui64v(m_uiStamps[0], GL_QUERY_RESULT, &uiStart);
    glGetQueryObjectui64v(m_uiStamps[1], GL_QUERY_RESULT, &uiEnd);
    const GLuint64 uiBetweenStamps = uiEnd > uiStart ? uiEnd - uiStart : 0;
    if (!bNested) glGetQueryObjectui64v(m_uiQuery, GL_QUERY_RESULT, &uiElapsed);
    // Both cover the same commands; a driver that times all of them gives
    // the two within the cost of the queries themselves.
    m_fTime = ToMilliseconds(std::max(uiElapsed, uiBetweenStamps));
    ForwardOutputs(hScopeTimed);
    hOutputTime->SetData(&m_fTime, true);
}

void CtrlTimedScopeWithQuery::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    glGenQueries(1, &m_uiQuery);
}

void CtrlTimedScopeWithQuery::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    if (m_uiStamps[0] != 0) {
        glDeleteQueries(2, m_uiStamps);
        m_uiStamps[0] = m_uiStamps[1] = 0;
    }
    if (m_uiQuery == 0) return;
    glDeleteQueries(1, &m_uiQuery);
    m_uiQuery = 0;
}

float CtrlTimedScopeWithQuery::ToMilliseconds(GLuint64 uiNanoseconds)
{
    return static_cast<float>(static_cast<double>(uiNanoseconds) / 1000000.0);
}

} // namespace Prismvale
