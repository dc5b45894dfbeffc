#include "FrameTimes.h"

#include "host/OpenGL/ShaderFiles.h"

#include "Ondo/FlowGraph/Filter.h"

#include <chrono>
#include <numeric>

namespace OndoView {

void TimeSeries::Add(float fValue)
{
    m_Values.push_back(fValue);
    while (m_Values.size() > Capacity) m_Values.pop_front();
}

float TimeSeries::Average() const
{
    if (m_Values.empty()) return 0.0f;
    return std::accumulate(m_Values.begin(), m_Values.end(), 0.0f) / static_cast<float>(m_Values.size());
}

TimingExecuter::~TimingExecuter() { AbandonFrame(); }

void TimingExecuter::ExecuteItem(Ondo::FlowGraph::ScopeItem& item)
{
    Pending pending{item.GetName(), item.GetTypeName(), 0.0, 0, 0};
    GLuint queries[2] = {0, 0};
    glGenQueries(2, queries);
    pending.uiStart = queries[0];
    pending.uiEnd = queries[1];
    // Kept before the run, so that a failing item's queries are released too.
    m_Pending.push_back(pending);
    const std::size_t uiIndex = m_Pending.size() - 1;
    glQueryCounter(queries[0], GL_TIMESTAMP);
    const auto start = std::chrono::steady_clock::now();
    {
        Ondo::OpenGL::ShaderUser user(&item);
        ScopeExecuter::ExecuteItem(item);
    }
    m_Pending[uiIndex].dCpuMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    glQueryCounter(queries[1], GL_TIMESTAMP);
}

void TimingExecuter::EndFrame(float fFrameMs)
{
    for (const Pending& pending : m_Pending) {
        GLuint64 uiStart = 0, uiEnd = 0;
        glGetQueryObjectui64v(pending.uiStart, GL_QUERY_RESULT, &uiStart);
        glGetQueryObjectui64v(pending.uiEnd, GL_QUERY_RESULT, &uiEnd);
        auto [it, bNew] = m_IndexOf.emplace(pending.strName, m_Filters.size());
        if (bNew) m_Filters.push_back({pending.strName, pending.strType, {}, {}});
        FilterTimes& times = m_Filters[it->second];
        times.m_CpuMs.Add(static_cast<float>(pending.dCpuMs));
        times.m_GpuMs.Add(static_cast<float>(static_cast<double>(uiEnd - uiStart) / 1e6));
    }
    AbandonFrame();
    m_FrameMs.Add(fFrameMs);
}

void TimingExecuter::AbandonFrame()
{
    for (const Pending& pending : m_Pending) {
        const GLuint queries[2] = {pending.uiStart, pending.uiEnd};
        glDeleteQueries(2, queries);
    }
    m_Pending.clear();
}

} // namespace OndoView
