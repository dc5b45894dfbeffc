#pragma once

// The time every filter takes, frame by frame: CPU time around its run and
// GPU time between two timestamp queries (which, unlike elapsed-time
// queries, may nest inside a control-flow filter's).

#include "Ondo/FlowGraph/ScopeExecuter.h"

#include <GL/glew.h>

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace OndoView {

// The last frames' times, oldest first, at most Capacity of them.
struct TimeSeries {
    static constexpr std::size_t Capacity = 240;
    std::deque<float> m_Values;

    void Add(float fValue);
    float Average() const;
    float Last() const { return m_Values.empty() ? 0.0f : m_Values.back(); }
    // The values in order, for plotting.
    std::vector<float> Values() const { return {m_Values.begin(), m_Values.end()}; }
};

struct FilterTimes {
    std::string m_strName;
    std::string m_strType;
    TimeSeries m_CpuMs;
    TimeSeries m_GpuMs;
};

// Runs the items of a graph like the engine's executer, measuring each one;
// the shaders an item compiles while it runs are reported as its own.
class TimingExecuter : public Ondo::FlowGraph::ScopeExecuter {
public:
    using ScopeExecuter::ScopeExecuter;
    ~TimingExecuter() override;

    void ExecuteItem(Ondo::FlowGraph::ScopeItem& item) override;

    // Waits for the frame's queries and adds its times, and the frame's own
    // time in milliseconds, to the series.
    void EndFrame(float fFrameMs);
    // Drops the queries of a frame that failed half-way.
    void AbandonFrame();

    // In the order the items first ran.
    const std::vector<FilterTimes>& GetFilters() const { return m_Filters; }
    const TimeSeries& GetFrameTimes() const { return m_FrameMs; }

private:
    struct Pending {
        std::string strName;
        std::string strType;
        double dCpuMs;
        GLuint uiStart;
        GLuint uiEnd;
    };
    std::vector<Pending> m_Pending;
    std::vector<FilterTimes> m_Filters;
    std::map<std::string, std::size_t> m_IndexOf;
    TimeSeries m_FrameMs;
};

} // namespace OndoView
