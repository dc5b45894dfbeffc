#include "ShaderReload.h"

#include "host/FlowGraph/Graph.h"

#include "Ondo/Logger.h"
#include "Ondo/OpenGL/ShaderCompiler.h"
#include "Ondo/StringConversion.h"

#include <algorithm>
#include <regex>
#include <sstream>
#include <system_error>

namespace OndoView {

namespace {

std::string Utf8(const std::wstring& strWide)
{
    try {
        return Ondo::WideToUtf8(strWide);
    } catch (const std::range_error&) {
        return "(unprintable name)";
    }
}

std::string Trimmed(const std::string& strText)
{
    const std::size_t uiStart = strText.find_first_not_of(" \t\r\n");
    if (uiStart == std::string::npos) return {};
    return strText.substr(uiStart, strText.find_last_not_of(" \t\r\n") - uiStart + 1);
}

// Messages the GL checks hand to the diagnostics logger while it lives.
class CapturedDiagnostics {
public:
    CapturedDiagnostics() : m_Previous(Ondo::OpenGL::GetDiagnosticsLogger())
    {
        Ondo::OpenGL::SetDiagnosticsLogger(&m_Collector);
    }
    ~CapturedDiagnostics() { Ondo::OpenGL::SetDiagnosticsLogger(&m_Previous); }
    CapturedDiagnostics(const CapturedDiagnostics&) = delete;
    CapturedDiagnostics& operator=(const CapturedDiagnostics&) = delete;

    const std::vector<std::string>& GetMessages() const { return m_Collector.GetMessages(); }

private:
    Ondo::LoggerInterface& m_Previous;
    Ondo::CollectingLogger m_Collector;
};

} // namespace

std::string ShaderProblem::Text() const
{
    return m_strFile + (m_iLine > 0 ? ":" + std::to_string(m_iLine) : std::string()) + ": " + m_strMessage;
}

std::vector<ShaderProblem> ParseCompileLog(const std::string& strFile, const std::string& strLog)
{
    // Mesa "0:12(5): error: ...", NVIDIA "0(12) : error C0000: ...",
    // glslang and AMD "ERROR: 0:12: ...".
    static const std::regex s_Mesa(R"(^\s*\d+:(\d+)\(\d+\):\s*(.*)$)");
    static const std::regex s_Nvidia(R"(^\s*\d+\((\d+)\)\s*:\s*(.*)$)");
    static const std::regex s_Glslang(R"(^\s*((?:ERROR|WARNING):)\s*\d+:(\d+):\s*(.*)$)");
    std::vector<ShaderProblem> problems;
    std::istringstream stream(strLog);
    for (std::string strLine; std::getline(stream, strLine);) {
        std::smatch match;
        if (std::regex_match(strLine, match, s_Mesa) || std::regex_match(strLine, match, s_Nvidia))
            problems.push_back({strFile, std::stoi(match[1].str()), Trimmed(match[2].str())});
        else if (std::regex_match(strLine, match, s_Glslang))
            problems.push_back({strFile, std::stoi(match[2].str()), match[1].str() + " " + Trimmed(match[3].str())});
    }
    if (problems.empty() && !Trimmed(strLog).empty()) problems.push_back({strFile, 0, Trimmed(strLog)});
    return problems;
}

ShaderReloader::ShaderReloader()
{
    Ondo::OpenGL::SetShaderFileListener([this](const Ondo::OpenGL::ShaderFileUse& use) { Record(use); });
}

ShaderReloader::~ShaderReloader() { Ondo::OpenGL::SetShaderFileListener(nullptr); }

void ShaderReloader::Record(const Ondo::OpenGL::ShaderFileUse& use)
{
    const std::string strKey = Utf8(use.m_strPath);
    auto [it, bNew] = m_Files.try_emplace(strKey);
    Watched& watched = it->second;
    if (bNew) {
        watched.m_strPath = use.m_strPath;
        Look(watched);
    }
    watched.m_Compiles.insert({use.m_eStage, use.m_strExtra});
    if (use.m_pUser) watched.m_Users.insert(use.m_pUser);
}

bool ShaderReloader::Look(Watched& watched)
{
    std::error_code error;
    const std::filesystem::path path(watched.m_strPath);
    const bool bExists = std::filesystem::is_regular_file(path, error);
    const auto time = bExists ? std::filesystem::last_write_time(path, error) : std::filesystem::file_time_type{};
    const std::uintmax_t uiSize = bExists ? std::filesystem::file_size(path, error) : 0;
    const bool bChanged = bExists != watched.m_bExists || time != watched.m_Time || uiSize != watched.m_uiSize;
    watched.m_bExists = bExists;
    watched.m_Time = time;
    watched.m_uiSize = uiSize;
    return bChanged;
}

std::vector<ShaderProblem> ShaderReloader::TryCompile(const Watched& watched) const
{
    const std::string strFile = Utf8(watched.m_strPath);
    std::vector<ShaderProblem> problems;
    for (const Compile& compile : watched.m_Compiles) {
        Ondo::CollectingLogger log;
        Ondo::OpenGL::ShaderCompiler compiler(&log);
        const GLuint uiShader = compiler.Create(compile.m_eStage, watched.m_strPath, compile.m_strExtra);
        compiler.Check();
        if (uiShader != 0) glDeleteShader(uiShader);
        for (const std::string& strMessage : log.GetMessages())
            for (ShaderProblem& problem : ParseCompileLog(strFile, strMessage)) problems.push_back(std::move(problem));
        // The same mistake shows in every variant; one report is enough.
        if (!problems.empty()) break;
    }
    return problems;
}

ShaderReloader::Result ShaderReloader::Poll(Ondo::FlowGraph::Graph& graph)
{
    Result result;
    const std::vector<Ondo::FlowGraph::ScopeItem*> items = graph.GetAllItems();
    for (auto& [strFile, watched] : m_Files) {
        if (!Look(watched)) continue;
        std::vector<ShaderProblem> problems = TryCompile(watched);
        if (!problems.empty()) {
            watched.m_Problems = std::move(problems);
            result.m_bRefused = true;
            continue;
        }
        watched.m_Problems.clear();
        result.m_Reloaded.push_back(strFile);
        for (Ondo::FlowGraph::ScopeItem* pItem : items) {
            if (!watched.m_Users.count(pItem)) continue;
            CapturedDiagnostics diagnostics;
            try {
                graph.RebuildResources(*pItem);
                result.m_RebuiltItems.push_back(pItem->GetName());
            } catch (const std::exception& error) {
                if (result.m_strRebuildError.empty())
                    result.m_strRebuildError = pItem->Describe() + ": rebuilding after " + strFile +
                                               " changed failed: " + error.what();
            }
            // A program that compiled but did not link.
            for (const std::string& strMessage : diagnostics.GetMessages())
                for (ShaderProblem& problem : ParseCompileLog(strFile, strMessage))
                    watched.m_Problems.push_back(std::move(problem));
        }
    }
    return result;
}

std::vector<std::string> ShaderReloader::GetWatchedFiles() const
{
    std::vector<std::string> files;
    for (const auto& entry : m_Files) files.push_back(entry.first);
    return files;
}

std::vector<std::string> ShaderReloader::GetUsers(const std::string& strFile,
                                                  const Ondo::FlowGraph::Graph& graph) const
{
    std::vector<std::string> users;
    const auto it = m_Files.find(strFile);
    if (it == m_Files.end()) return users;
    for (const Ondo::FlowGraph::ScopeItem* pItem : graph.GetAllItems())
        if (it->second.m_Users.count(pItem)) users.push_back(pItem->GetName());
    return users;
}

std::vector<ShaderProblem> ShaderReloader::GetProblems() const
{
    std::vector<ShaderProblem> problems;
    for (const auto& entry : m_Files) problems.insert(problems.end(), entry.second.m_Problems.begin(), entry.second.m_Problems.end());
    return problems;
}

} // namespace OndoView
