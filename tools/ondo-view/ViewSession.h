#pragma once

// What ondo-view shows, without the window: the engine with the plug-in, the
// graph bound to the window's render device, the edits people make, the
// times of the last frames, shader reloads and saving.

#include "ControlWidgets.h"
#include "FrameTimes.h"
#include "ShaderReload.h"

#include "host/FlowGraph/GraphFile.h"

#include "Ondo/Core.h"
#include "Ondo/Logger.h"

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace Ondo::OpenGL {
class Device;
}
namespace Ondo::FlowGraph {
class Graph;
}

namespace OndoView {

struct ViewOptions {
    std::string m_strGraph;
    // Where saving writes; empty for the graph file itself.
    std::string m_strSaveTo;
    std::string m_strPlugin;
    // Where the graph's output files go; empty for the folder ondo-view
    // started in.
    std::string m_strOutputDirectory;
    bool m_bWriteAnywhere = false;
    Ondo::FlowGraph::GraphLimits m_Limits;
};

// Keeps the latest messages for the window and passes each one on to
// standard error.
class MessageLog : public Ondo::LoggerInterface {
public:
    static constexpr std::size_t Capacity = 500;
    void Log(const std::string& strMessage) override;
    const std::deque<std::string>& GetMessages() const { return m_Messages; }

private:
    std::deque<std::string> m_Messages;
};

// Points the GL checks' diagnostics at a logger while it lives.
class DiagnosticsTarget {
public:
    explicit DiagnosticsTarget(Ondo::LoggerInterface& logger);
    ~DiagnosticsTarget();
    DiagnosticsTarget(const DiagnosticsTarget&) = delete;
    DiagnosticsTarget& operator=(const DiagnosticsTarget&) = delete;
};

class ViewSession {
public:
    // Loads the plug-in and the graph (relative names in options are taken
    // from the current folder; afterwards the current folder is the graph's,
    // as the graph's own relative names want). Throws std::runtime_error
    // naming the file when the graph cannot be loaded.
    ViewSession(const ViewOptions& options, Ondo::OpenGL::Device& device);
    ~ViewSession();
    ViewSession(const ViewSession&) = delete;
    ViewSession& operator=(const ViewSession&) = delete;

    Ondo::Core& GetCore() { return m_Core; }
    Ondo::FlowGraph::Graph& GetGraph() { return *m_pGraph; }
    const std::string& GetGraphPath() const { return m_strGraph; }
    const std::string& GetSavePath() const { return m_strSaveTo; }

    // Edits are applied at the start of the next frame, in order.
    void QueueEdit(ControlEdit edit) { m_Edits.push_back(std::move(edit)); }

    // One frame: changed shader files, the queued edits, then the graph,
    // unless it stopped on an error (an edit or a reload tries again).
    void RunFrame();
    std::uint64_t GetFrameCount() const { return m_uiFrames; }
    // Why the graph stopped; empty while it runs.
    const std::string& GetRunError() const { return m_strRunError; }
    // Whether any frame failed since the session began.
    bool HasFailed() const { return m_bFailed; }
    void Retry() { m_strRunError.clear(); }

    // Writes the graph, as edited, where saving goes (or to strPath); returns
    // the path written. Throws Ondo::ExceptionFileSystem naming it.
    std::string Save(const std::string& strPath = std::string());

    const TimingExecuter& GetTimes() const { return m_Executer; }
    const ShaderReloader& GetReloader() const { return m_Reloader; }
    const MessageLog& GetLog() const { return m_Log; }
    // Tells the window's log panel (and standard error) something.
    void Note(const std::string& strMessage) { m_Log.Log(strMessage + "\n"); }

private:
    void ApplyEdits();

    MessageLog m_Log;
    DiagnosticsTarget m_Diagnostics{m_Log};
    Ondo::Core m_Core;
    Ondo::OpenGL::Device& m_Device;
    std::string m_strGraph;
    std::string m_strSaveTo;
    ShaderReloader m_Reloader;
    std::unique_ptr<Ondo::FlowGraph::Graph> m_pGraph;
    TimingExecuter m_Executer;
    std::vector<ControlEdit> m_Edits;
    std::string m_strRunError;
    bool m_bFailed = false;
    std::uint64_t m_uiFrames = 0;
    std::chrono::steady_clock::time_point m_LastFrame;
};

} // namespace OndoView
