#include "ViewSession.h"

#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/RunContext.h"
#include "host/GFX/ImageIO.h"
#include "host/Modules/HostModules.h"

#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/OpenGL/Device.h"
#include "Ondo/OpenGL/ShaderCompiler.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace OndoView {

namespace fs = std::filesystem;

void MessageLog::Log(const std::string& strMessage)
{
    std::cerr << strMessage;
    m_Messages.push_back(strMessage);
    while (m_Messages.size() > Capacity) m_Messages.pop_front();
}

DiagnosticsTarget::DiagnosticsTarget(Ondo::LoggerInterface& logger) { Ondo::OpenGL::SetDiagnosticsLogger(&logger); }

DiagnosticsTarget::~DiagnosticsTarget() { Ondo::OpenGL::SetDiagnosticsLogger(nullptr); }

ViewSession::ViewSession(const ViewOptions& options, Ondo::OpenGL::Device& device)
    : m_Device(device), m_Executer(&m_Log)
{
    m_Core.SetLogger(&m_Log);
    m_Core.LoadPlugin(options.m_strPlugin);
    Ondo::Host::RegisterHostModules(m_Core);
    Ondo::GFX::RegisterStandardImageReaders(m_Core);

    const fs::path start = fs::current_path();
    m_strGraph = fs::absolute(options.m_strGraph).lexically_normal().string();
    m_strSaveTo = options.m_strSaveTo.empty() ? m_strGraph : fs::absolute(options.m_strSaveTo).lexically_normal().string();
    Ondo::RunContext& context = Ondo::RunContext::Get(m_Core);
    context.m_strOutputDirectory = options.m_strOutputDirectory.empty()
                                       ? start.string()
                                       : fs::absolute(options.m_strOutputDirectory).lexically_normal().string();
    context.m_bWriteAnywhere = options.m_bWriteAnywhere;

    // Relative names inside the graph (images to load) are relative to it.
    const std::string strFolder = fs::path(m_strGraph).parent_path().string();
    if (::chdir(strFolder.c_str()) != 0) throw std::runtime_error("Could not enter the graph's folder " + strFolder);
    m_Device.MakeCurrent();
    m_pGraph = Ondo::FlowGraph::LoadGraph(m_Core, &m_Device, m_strGraph, options.m_Limits);
    if (!m_Core.GetErrors().empty()) throw std::runtime_error(m_strGraph + ": " + m_Core.GetErrors().back());

    Ondo::CollectingLogger unready;
    for (Ondo::FlowGraph::ScopeItem* pItem : m_pGraph->GetAllItems())
        pItem->IsReadyToRun(m_pGraph->GetScopeOf(*pItem), &unready);
    for (const std::string& strLine : unready.GetMessages()) m_strRunError += strLine;
    if (!m_strRunError.empty()) m_strRunError = "The graph cannot run until these inputs are connected:\n" + m_strRunError;
    m_LastFrame = std::chrono::steady_clock::now();
}

ViewSession::~ViewSession()
{
    m_Device.MakeCurrent();
    m_Executer.AbandonFrame();
    m_pGraph.reset();
}

void ViewSession::ApplyEdits()
{
    std::vector<ControlEdit> edits;
    edits.swap(m_Edits);
    for (const ControlEdit& edit : edits) {
        try {
            m_pGraph->SetControl(edit.m_strItem, edit.m_Id, edit.m_strText);
        } catch (const std::exception& error) {
            Note(error.what());
        }
        // Whatever stopped the graph may be what the edit mends.
        if (m_strRunError.rfind("The graph cannot run", 0) != 0) m_strRunError.clear();
    }
}

void ViewSession::RunFrame()
{
    m_Device.MakeCurrent();
    const ShaderReloader::Result reload = m_Reloader.Poll(*m_pGraph);
    for (const std::string& strFile : reload.m_Reloaded) {
        std::string strItems;
        for (const std::string& strItem : reload.m_RebuiltItems) strItems += (strItems.empty() ? "" : ", ") + strItem;
        Note("Reloaded " + strFile + (strItems.empty() ? std::string() : " for " + strItems));
    }
    for (const ShaderProblem& problem : m_Reloader.GetProblems())
        if (reload.m_bRefused) Note(problem.Text() + " (the previous program stays in use)");
    if (!reload.m_Reloaded.empty()) m_strRunError.clear();
    if (!reload.m_strRebuildError.empty()) m_strRunError = reload.m_strRebuildError;

    ApplyEdits();

    const auto now = std::chrono::steady_clock::now();
    const float fFrameMs = std::chrono::duration<float, std::milli>(now - m_LastFrame).count();
    m_LastFrame = now;
    if (!m_strRunError.empty()) return;
    Ondo::RunContext::Get(m_Core).m_uiFrame = m_uiFrames;
    try {
        m_pGraph->RunFrame(m_Executer);
        m_Executer.EndFrame(fFrameMs);
        ++m_uiFrames;
    } catch (const std::exception& error) {
        m_Executer.AbandonFrame();
        m_strRunError = error.what();
        m_bFailed = true;
        Note(m_strRunError);
    }
}

std::string ViewSession::Save(const std::string& strPath)
{
    const std::string strTarget = strPath.empty() ? m_strSaveTo : fs::absolute(strPath).lexically_normal().string();
    Ondo::FlowGraph::SaveGraph(*m_pGraph, strTarget);
    Note("Saved " + strTarget);
    return strTarget;
}

} // namespace OndoView
