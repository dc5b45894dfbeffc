#pragma once

// Shader hot reload: the shader files the graph's filters compiled are
// watched; when one changes on disk, its new text is compiled first the way
// each filter compiled it (same stage, same inserted defines). Only when
// every compile succeeds do the filters that use the file rebuild their
// resources, keeping ports, connections and settings; otherwise the error is
// kept with its file and line and the filters go on with the old program.

#include "host/OpenGL/ShaderFiles.h"

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace Ondo::FlowGraph {
class Graph;
class ScopeItem;
} // namespace Ondo::FlowGraph

namespace OndoView {

// One message about a shader file: "FILE:LINE: text" when it names a line.
struct ShaderProblem {
    std::string m_strFile;
    int m_iLine = 0; // 0 when the message names no line
    std::string m_strMessage;

    std::string Text() const;
};

// The problems in a compiler's log, each line that names a line of the file
// as one problem (the log formats of Mesa, NVIDIA and AMD/glslang); a log
// naming no line gives one problem without a line.
std::vector<ShaderProblem> ParseCompileLog(const std::string& strFile, const std::string& strLog);

class ShaderReloader {
public:
    // Starts listening to the shader compiler; only one reloader at a time.
    ShaderReloader();
    ~ShaderReloader();
    ShaderReloader(const ShaderReloader&) = delete;
    ShaderReloader& operator=(const ShaderReloader&) = delete;

    struct Result {
        // The files that changed and were rebuilt, and the items rebuilt.
        std::vector<std::string> m_Reloaded;
        std::vector<std::string> m_RebuiltItems;
        // True when a file changed but did not compile (see GetProblems).
        bool m_bRefused = false;
        // Set when an item could not make its resources again: it is left
        // without them and the graph cannot run until it can.
        std::string m_strRebuildError;
    };

    // Looks at every watched file once and handles those changed since the
    // last look. Call between frames, with the graph's context current.
    Result Poll(Ondo::FlowGraph::Graph& graph);

    // The files watched (UTF-8), sorted, and which items use one.
    std::vector<std::string> GetWatchedFiles() const;
    std::vector<std::string> GetUsers(const std::string& strFile, const Ondo::FlowGraph::Graph& graph) const;
    // The problems of the last change of each file that had any.
    std::vector<ShaderProblem> GetProblems() const;

private:
    struct Compile {
        GLenum m_eStage;
        std::wstring m_strExtra;
        bool operator<(const Compile& other) const
        {
            return m_eStage != other.m_eStage ? m_eStage < other.m_eStage : m_strExtra < other.m_strExtra;
        }
    };
    struct Watched {
        std::wstring m_strPath;
        std::set<Compile> m_Compiles;
        std::set<const void*> m_Users;
        std::filesystem::file_time_type m_Time{};
        std::uintmax_t m_uiSize = 0;
        bool m_bExists = false;
        std::vector<ShaderProblem> m_Problems;
    };

    void Record(const Ondo::OpenGL::ShaderFileUse& use);
    // Compiles the file's new text every way it was compiled; the problems
    // found, empty when all compiled.
    std::vector<ShaderProblem> TryCompile(const Watched& watched) const;
    bool Look(Watched& watched);

    std::map<std::string, Watched> m_Files; // by UTF-8 path
};

} // namespace OndoView
