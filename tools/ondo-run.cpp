// ondo-run: runs filter graphs headless with the Prismvale plug-in.

#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/GraphFile.h"
#include "host/FlowGraph/RunContext.h"
#include "host/GFX/BackgroundWriter.h"
#include "host/GFX/ImageIO.h"
#include "host/Modules/HostModules.h"
#include "host/Modules/MeshFile.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/Device.h"
#include "Ondo/OpenGL/ShaderCompiler.h"
#include "Ondo/Plugin.h"
#include "Ondo/StringConversion.h"

#include <GL/glew.h>

#include <fnmatch.h>
#include <glob.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace Ondo;
using namespace Ondo::FlowGraph;

namespace {

const char* const s_szUsage =
    "Usage: ondo-run [options] GRAPH       run a graph file (one frame unless --frames)\n"
    "       ondo-run --list [PATTERN]      list the registered filter types\n"
    "       ondo-run --describe TYPE       show a filter type's ports and controls\n"
    "       ondo-run --gl-info             describe the headless OpenGL context\n"
    "\n"
    "Options for running a graph:\n"
    "  --frames N                  run N frames, with a progress line per frame\n"
    "  --set FILTER/CONTROL=VALUE  edit a control before running, as a person would (repeatable)\n"
    "  --each FILTER/CONTROL=GLOB  run one frame per file that GLOB matches (relative to the current\n"
    "                              directory; *, ?, [..] and {a,b}), in name order, the control set to\n"
    "                              the file as --set would; sinks may name their files after it with\n"
    "                              {name} (photo.jpg) and {stem} (photo)\n"
    "  --shard K/N                 with --each, take every N-th file from the K-th, K counted from 0\n"
    "                              (K = 0 .. N-1: each file falls to exactly one of N runs)\n"
    "  --save-graph FILE           write the graph (after the --set edits) to FILE; the images it\n"
    "                              reads are named relative to FILE's folder\n"
    "  --dot FILE                  write the graph in Graphviz's dot language to FILE\n"
    "  --profile                   print the CPU and GPU time of every filter, the engine's\n"
    "                              own time per frame and the wall time per frame\n"
    "  --output-dir DIR            where output files go (default: the current directory); a graph\n"
    "                              naming a file outside it is refused\n"
    "  --write-anywhere            let the graph write files outside the output folder\n"
    "  --limit NAME=N              raise a limit on what a graph or image may ask for (see\n"
    "                              docs/limits.md): xml-depth (default 1000), scope-depth (100),\n"
    "                              image-pixels (128M per face or slice), image-bytes (2G per\n"
    "                              image), mesh-bytes (8G a mesh import may allocate),\n"
    "                              mesh-seconds (300 s per mesh file); N may end in K, M or G\n"
    "  --check                     load the graph and check it, but run nothing\n"
    "Other options:\n"
    "  --plugin PATH               the plug-in module to load (default: Prismvale.so beside ondo-run)\n"
    "\n"
    "Relative file names inside a graph (images to load) are taken relative to the graph file.\n"
    "Pictures are encoded and written on worker threads while the next frame runs; every file is\n"
    "complete before ondo-run exits.\n"
    "The exit status is 0 on success, 1 when the graph cannot be loaded or run (a filter that fails\n"
    "or reports an error, a GL error after a filter, a file that is no image), 2 for bad usage.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string ExecutableDirectory()
{
    char szPath[PATH_MAX];
    const ssize_t iLength = ::readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (iLength <= 0) return ".";
    const std::string strPath(szPath, static_cast<std::size_t>(iLength));
    return strPath.substr(0, strPath.rfind('/'));
}

std::string CurrentDirectory()
{
    char szPath[PATH_MAX];
    return ::getcwd(szPath, sizeof(szPath)) ? szPath : ".";
}

std::string Absolute(const std::string& strPath, const std::string& strBase)
{
    if (strPath.empty() || strPath[0] == '/') return strPath;
    return strBase + "/" + strPath;
}

struct Options {
    std::string strPlugin = ExecutableDirectory() + "/Prismvale.so";
    std::string strCommand = "run";
    std::string strArgument;
    std::string strPattern = "*";
    int iFrames = 1;
    std::vector<std::pair<std::string, std::string>> sets; // "FILTER/CONTROL", value
    std::string strEachTarget, strEachPattern;             // "FILTER/CONTROL", glob
    int iShard = 0, iShards = 1;
    bool bFramesGiven = false;
    std::string strSaveGraph;
    std::string strDot;
    std::string strOutputDirectory;
    bool bWriteAnywhere = false;
    GraphLimits limits;
    GFX::ImageLimits imageLimits;
    Host::MeshImportLimits meshLimits;
    bool bProfile = false;
    bool bCheckOnly = false;
};

// --limit NAME=N: N a whole number of at least 1, optionally followed by K,
// M or G (times 1024, 1024^2, 1024^3).
void SetLimit(Options& options, const std::string& strLimit)
{
    struct Limit {
        const char* szName;
        std::uint64_t uiMaximum;
        std::function<void(std::uint64_t)> fnSet;
    };
    const Limit limits[] = {
        // Deeper documents and scopes would exhaust the stack of the parser
        // and of the graph, which recurse once per level.
        {"xml-depth", 10000, [&](std::uint64_t n) { options.limits.m_iMaxXmlDepth = static_cast<int>(n); }},
        {"scope-depth", 1000, [&](std::uint64_t n) { options.limits.m_iMaxScopeDepth = static_cast<int>(n); }},
        {"image-pixels", UINT64_MAX, [&](std::uint64_t n) { options.imageLimits.m_uiMaxPixels = n; }},
        {"image-bytes", UINT64_MAX, [&](std::uint64_t n) { options.imageLimits.m_uiMaxBytes = n; }},
        {"mesh-bytes", UINT64_MAX, [&](std::uint64_t n) { options.meshLimits.m_uiMaxBytes = n; }},
        {"mesh-seconds", 86400, [&](std::uint64_t n) { options.meshLimits.m_uiMaxSeconds = static_cast<unsigned>(n); }},
    };
    const std::size_t uiEquals = strLimit.find('=');
    const std::string strName = strLimit.substr(0, uiEquals);
    const std::string strValue = uiEquals == std::string::npos ? std::string() : strLimit.substr(uiEquals + 1);
    for (const Limit& limit : limits) {
        if (strName != limit.szName) continue;
        std::size_t uiDigits = 0;
        while (uiDigits < strValue.size() && std::isdigit(static_cast<unsigned char>(strValue[uiDigits]))) ++uiDigits;
        const std::string strUnit = strValue.substr(uiDigits);
        const int iShift = strUnit.empty() ? 0 : strUnit == "K" ? 10 : strUnit == "M" ? 20 : strUnit == "G" ? 30 : -1;
        errno = 0;
        const unsigned long long uiNumber = uiDigits ? std::strtoull(strValue.c_str(), nullptr, 10) : 0;
        const bool bFits = errno == 0 && iShift >= 0 && uiNumber <= (limit.uiMaximum >> iShift);
        if (uiNumber < 1 || !bFits)
            throw UsageError("--limit " + strName + " takes a whole number from 1 to " +
                             std::to_string(limit.uiMaximum) + " (K, M or G may follow), not \"" + strValue + "\"");
        limit.fnSet(uiNumber << iShift);
        return;
    }
    throw UsageError("--limit takes xml-depth, scope-depth, image-pixels, image-bytes, mesh-bytes or mesh-seconds, as "
                     "NAME=N, not \"" + strLimit + "\"");
}

Options ParseArguments(const std::vector<std::string>& args)
{
    Options options;
    auto value = [&](std::size_t& i) -> const std::string& {
        if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& strArg = args[i];
        if (strArg == "--plugin") {
            options.strPlugin = value(i);
        } else if (strArg == "--list") {
            options.strCommand = "list";
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) options.strPattern = args[++i];
        } else if (strArg == "--describe") {
            options.strCommand = "describe";
            options.strArgument = value(i);
        } else if (strArg == "--gl-info") {
            options.strCommand = "gl-info";
        } else if (strArg == "--frames") {
            const std::string& strFrames = value(i);
            try {
                std::size_t uiEnd = 0;
                options.iFrames = std::stoi(strFrames, &uiEnd);
                options.bFramesGiven = true;
                if (uiEnd != strFrames.size() || options.iFrames < 1) throw std::invalid_argument(strFrames);
            } catch (const std::exception&) {
                throw UsageError("--frames takes a whole number of at least 1, not \"" + strFrames + "\"");
            }
        } else if (strArg == "--set" || strArg == "--each") {
            const std::string& strSet = value(i);
            const std::size_t uiSlash = strSet.find('/'), uiEquals = strSet.find('=');
            if (uiSlash == std::string::npos || uiEquals == std::string::npos || uiEquals < uiSlash)
                throw UsageError(strArg + " takes FILTER/CONTROL=" + (strArg == "--set" ? "VALUE" : "GLOB") +
                                 ", not \"" + strSet + "\"");
            if (strArg == "--set") {
                options.sets.emplace_back(strSet.substr(0, uiEquals), strSet.substr(uiEquals + 1));
            } else {
                if (!options.strEachTarget.empty()) throw UsageError("--each is given once");
                options.strEachTarget = strSet.substr(0, uiEquals);
                options.strEachPattern = strSet.substr(uiEquals + 1);
                if (options.strEachPattern.empty()) throw UsageError("--each \"" + strSet + "\" names no files");
            }
        } else if (strArg == "--shard") {
            const std::string& strShard = value(i);
            const std::size_t uiSlash = strShard.find('/');
            try {
                if (uiSlash == std::string::npos) throw std::invalid_argument(strShard);
                std::size_t uiEndK = 0, uiEndN = 0;
                options.iShard = std::stoi(strShard.substr(0, uiSlash), &uiEndK);
                options.iShards = std::stoi(strShard.substr(uiSlash + 1), &uiEndN);
                if (uiEndK != uiSlash || uiEndN != strShard.size() - uiSlash - 1 || options.iShards < 1 ||
                    options.iShard < 0 || options.iShard >= options.iShards)
                    throw std::invalid_argument(strShard);
            } catch (const std::exception&) {
                throw UsageError("--shard takes K/N with N at least 1 and K from 0 to N-1, not \"" + strShard + "\"");
            }
        } else if (strArg == "--save-graph") {
            options.strSaveGraph = value(i);
        } else if (strArg == "--dot") {
            options.strDot = value(i);
        } else if (strArg == "--output-dir") {
            options.strOutputDirectory = value(i);
        } else if (strArg == "--write-anywhere") {
            options.bWriteAnywhere = true;
        } else if (strArg == "--limit") {
            SetLimit(options, value(i));
        } else if (strArg == "--profile") {
            options.bProfile = true;
        } else if (strArg == "--check") {
            options.bCheckOnly = true;
        } else if (strArg == "--help" || strArg == "-h") {
            options.strCommand = "help";
        } else if (strArg.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + strArg);
        } else if (options.strArgument.empty() && options.strCommand == "run") {
            options.strArgument = strArg;
        } else {
            throw UsageError("unexpected argument \"" + strArg + "\"");
        }
    }
    if (options.strCommand == "run" && options.strArgument.empty()) throw UsageError("no graph file given");
    if (!options.strEachTarget.empty() && options.bFramesGiven)
        throw UsageError("--each runs one frame per file; it takes no --frames");
    if (options.strEachTarget.empty() && (options.iShard != 0 || options.iShards != 1))
        throw UsageError("--shard divides the files of --each, and there is no --each");
    return options;
}

// The engine with the plug-in and the engine's own modules loaded.
struct Engine {
    explicit Engine(const std::string& strPlugin) : logger(std::cerr)
    {
        core.SetLogger(&logger);
        OpenGL::SetDiagnosticsLogger(&logger);
        core.LoadPlugin(strPlugin);
        Host::RegisterHostModules(core);
        GFX::RegisterStandardImageReaders(core);
    }
    ~Engine() { OpenGL::SetDiagnosticsLogger(nullptr); }

    StreamLogger logger;
    Core core;
};

int List(const Options& options)
{
    Engine engine(options.strPlugin);
    const auto& registry = FilterRegistry::Get(engine.core);
    std::size_t uiShown = 0;
    for (const std::string& strName : registry.GetFilterNames()) {
        if (fnmatch(options.strPattern.c_str(), strName.c_str(), 0) != 0) continue;
        const FilterDescriptor& descriptor = *registry.FindFilter(strName);
        std::cout << strName << "\n    " << descriptor.m_strDescription << "\n    keywords: " << descriptor.m_strKeywords
                  << "\n";
        ++uiShown;
    }
    for (const std::string& strName : registry.GetCtrlFlowFilterNames()) {
        if (fnmatch(options.strPattern.c_str(), strName.c_str(), 0) != 0) continue;
        std::cout << strName << "\n    control flow: runs the filters placed in its inner scope\n";
        ++uiShown;
    }
    std::cout << uiShown << " filter type" << (uiShown == 1 ? "" : "s")
              << (options.strPattern == "*" ? "" : " matching " + options.strPattern) << "\n";
    return 0;
}

int Describe(const Options& options)
{
    Engine engine(options.strPlugin);
    OpenGL::Device device(OpenGL::Context::CreateHeadless());
    Graph graph(engine.core);
    ScopeItem& item = graph.AddItem(graph.GetRoot(), options.strArgument, "instance");
    const std::vector<PortHandle<Port>> fixed = item.GetPortHandles();
    graph.AttachDevice(device);

    const auto& registry = FilterRegistry::Get(engine.core);
    std::cout << options.strArgument;
    if (const FilterDescriptor* pDescriptor = registry.FindFilter(options.strArgument))
        std::cout << ": " << pDescriptor->m_strDescription << "\n    keywords: " << pDescriptor->m_strKeywords
                  << "\n    source: " << pDescriptor->m_strSourceFile;
    else
        std::cout << ": control flow, titled \"" << item.GetTitle() << "\"";
    std::cout << "\nPorts:\n";
    for (const auto& hPort : item.GetPortHandles()) {
        const bool bFixed = std::find(fixed.begin(), fixed.end(), hPort) != fixed.end();
        std::cout << "    " << std::left << std::setw(4) << (hPort->IsOutput() ? "out" : "in") << std::setw(24)
                  << ("\"" + hPort->GetLabel() + "\"") << std::setw(44) << hPort->GetTransportedType()
                  << (hPort->IsOutput() ? "" : hPort->IsOptional() ? "optional" : "required")
                  << (bFixed ? "" : "  (declared by its shaders)") << "\n";
    }
    const Instrumenter& instrumenter = graph.GetInstrumenter("instance");
    std::cout << "Controls:" << (instrumenter.GetControls().empty() ? " none" : "") << "\n";
    for (const Instrumenter::Control& control : instrumenter.GetControls()) {
        std::cout << "    " << std::left << std::setw(12) << Instrumenter::KindName(control.m_eKind) << "\""
                  << control.m_strLabel << "\"";
        const std::string strValue = Instrumenter::ValueText(control);
        if (!strValue.empty()) std::cout << " = " << strValue;
        if (control.m_eKind == Instrumenter::ControlKind::IntRange ||
            control.m_eKind == Instrumenter::ControlKind::IntSlider)
            std::cout << "  (" << control.m_iMinimum << " to " << control.m_iMaximum << ")";
        if (control.m_eKind == Instrumenter::ControlKind::Choice) {
            std::cout << "  (";
            for (std::size_t i = 0; i < control.m_Items.size(); ++i) std::cout << (i ? ", " : "") << control.m_Items[i];
            std::cout << ")";
        }
        std::cout << "\n";
    }
    return 0;
}

int GLInfo()
{
    auto pContext = OpenGL::Context::CreateHeadless();
    std::cout << "Platform: " << pContext->GetPlatformName() << "\nVersion:  " << pContext->GetVersion()
              << "\nRenderer: " << pContext->GetRenderer() << "\n";
    return 0;
}

// Measures every item it runs: CPU time around the call, GPU time between two
// timestamp queries (which, unlike elapsed-time queries, may nest). The
// engine's executer stops the run at the first item that fails.
class ProfilingExecuter : public ScopeExecuter {
public:
    using ScopeExecuter::ScopeExecuter;

    // Runs one frame of the graph and adds its wall time.
    void RunFrame(Graph& graph)
    {
        const auto start = std::chrono::steady_clock::now();
        graph.RunFrame(*this);
        m_dWall += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        ++m_iFrames;
    }

    void ExecuteItem(ScopeItem& item) override
    {
        GLuint queries[2] = {0, 0};
        glGenQueries(2, queries);
        glQueryCounter(queries[0], GL_TIMESTAMP);
        const auto start = std::chrono::steady_clock::now();
        ++m_iDepth;
        try {
            ScopeExecuter::ExecuteItem(item);
        } catch (...) {
            --m_iDepth;
            glDeleteQueries(2, queries);
            throw;
        }
        --m_iDepth;
        const double dCpu = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        glQueryCounter(queries[1], GL_TIMESTAMP);
        // The items of the root scope: a control-flow filter's time holds
        // that of the filters inside it.
        if (m_iDepth == 0) m_dOutermost += dCpu;
        m_Pending.push_back({&item, dCpu, queries[0], queries[1]});
    }

    // Collects the frame's query results; waits for the GPU.
    void EndFrame()
    {
        for (const Pending& pending : m_Pending) {
            GLuint64 uiStart = 0, uiEnd = 0;
            glGetQueryObjectui64v(pending.uiStart, GL_QUERY_RESULT, &uiStart);
            glGetQueryObjectui64v(pending.uiEnd, GL_QUERY_RESULT, &uiEnd);
            const GLuint queries[2] = {pending.uiStart, pending.uiEnd};
            glDeleteQueries(2, queries);
            Totals& totals = m_Totals[pending.pItem];
            if (totals.iRuns == 0) m_Order.push_back(pending.pItem);
            ++totals.iRuns;
            totals.dCpu += pending.dCpu;
            totals.dGpu += static_cast<double>(uiEnd - uiStart) / 1e6;
        }
        m_Pending.clear();
    }

    void Print(const Graph& graph, std::ostream& stream) const
    {
        stream << std::left << std::setw(24) << "filter" << std::setw(40) << "type" << std::right << std::setw(6)
               << "runs" << std::setw(14) << "CPU ms/run" << std::setw(14) << "GPU ms/run" << "\n";
        for (ScopeItem* pItem : m_Order) {
            const Totals& totals = m_Totals.at(pItem);
            stream << std::left << std::setw(24) << pItem->GetName() << std::setw(40) << graph.GetType(*pItem)
                   << std::right << std::setw(6) << totals.iRuns << std::fixed << std::setprecision(3) << std::setw(14)
                   << totals.dCpu / totals.iRuns << std::setw(14) << totals.dGpu / totals.iRuns << "\n";
        }
        stream << "(times of control-flow filters include the filters inside them)\n";
        if (m_iFrames == 0) return;
        // What the engine spent around the filters of the root scope (order,
        // readiness, moving values, GL error checks, these measurements), so
        // that the lines above add up to the wall time. Per frame: a filter
        // that ran every frame has the same time per run and per frame.
        const double dFrames = static_cast<double>(m_iFrames);
        stream << std::left << std::setw(24) << "(engine)" << std::setw(40) << "the engine around the filters" << std::right
               << std::setw(6) << m_iFrames << std::fixed << std::setprecision(3) << std::setw(14)
               << (m_dWall - m_dOutermost) / dFrames << "\n";
        stream << std::left << std::setw(24) << "(wall)" << std::setw(40) << "running the graph, per frame" << std::right
               << std::setw(6) << m_iFrames << std::setw(14) << m_dWall / dFrames << "\n";
    }

private:
    struct Pending {
        ScopeItem* pItem;
        double dCpu;
        GLuint uiStart;
        GLuint uiEnd;
    };
    struct Totals {
        int iRuns = 0;
        double dCpu = 0.0;
        double dGpu = 0.0;
    };
    std::vector<Pending> m_Pending;
    int m_iDepth = 0;
    int m_iFrames = 0;
    double m_dWall = 0.0;
    double m_dOutermost = 0.0;
    std::map<ScopeItem*, Totals> m_Totals;
    std::vector<ScopeItem*> m_Order;
};

// Every item whose required inputs are not all connected, with the lines the
// readiness check gives; empty when the graph can run.
std::vector<std::string> CheckReadiness(const Graph& graph)
{
    CollectingLogger lines;
    for (ScopeItem* pItem : graph.GetAllItems()) pItem->IsReadyToRun(graph.GetScopeOf(*pItem), &lines);
    return lines.GetMessages();
}

// The files a --each pattern matches, relative to strBase unless absolute,
// in name order (bytes compared, as the C locale sorts). Folders are left
// out. Throws when nothing matches or the pattern cannot be read.
std::vector<std::string> MatchFiles(const std::string& strPattern, const std::string& strBase)
{
    const std::string strFull = Absolute(strPattern, strBase);
    glob_t matches{};
    const int iResult = ::glob(strFull.c_str(), GLOB_MARK | GLOB_BRACE, nullptr, &matches);
    std::vector<std::string> files;
    for (std::size_t i = 0; iResult == 0 && i < matches.gl_pathc; ++i) {
        const std::string strPath = matches.gl_pathv[i];
        if (!strPath.empty() && strPath.back() != '/') files.push_back(strPath);
    }
    ::globfree(&matches);
    if (iResult == GLOB_NOSPACE) throw std::runtime_error("--each: not enough memory for the files of " + strPattern);
    if (files.empty()) throw std::runtime_error("--each: no file matches " + strPattern + " (looked for " + strFull + ")");
    std::sort(files.begin(), files.end());
    return files;
}

// The positions of the files shard K of N takes: K, K + N, K + 2N, ...
std::vector<std::size_t> ShardOf(std::size_t uiFiles, int iShard, int iShards)
{
    std::vector<std::size_t> positions;
    for (std::size_t i = static_cast<std::size_t>(iShard); i < uiFiles; i += static_cast<std::size_t>(iShards))
        positions.push_back(i);
    return positions;
}

// Progress of a batch on standard error: a bar redrawn in place with the
// rate and the time left on a terminal, otherwise a plain line about every
// tenth of the batch, so that a log file stays short.
class BatchProgress {
public:
    explicit BatchProgress(std::size_t uiTotal)
        : m_uiTotal(uiTotal), m_bTerminal(::isatty(STDERR_FILENO) == 1), m_Start(std::chrono::steady_clock::now())
    {
    }

    // A line of the run's own (a file written), kept above the bar.
    void Line(const std::string& strLine)
    {
        std::cerr << (m_bTerminal && m_bDrawn ? "\r\033[K" : "") << strLine << "\n";
        if (m_bTerminal && m_bDrawn) Draw();
    }

    void Done(std::size_t uiDone)
    {
        m_uiDone = uiDone;
        const std::size_t uiStep = std::max<std::size_t>(1, m_uiTotal / 10);
        if (m_bTerminal || uiDone % uiStep == 0 || uiDone == m_uiTotal) Draw();
    }

    void End()
    {
        if (m_bTerminal && m_bDrawn) std::cerr << "\n";
        m_bDrawn = false;
    }

    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
    }

private:
    void Draw()
    {
        const double dSeconds = Seconds();
        const double dRate = dSeconds > 0.0 ? static_cast<double>(m_uiDone) / dSeconds : 0.0;
        const double dLeft = dRate > 0.0 ? static_cast<double>(m_uiTotal - m_uiDone) / dRate : 0.0;
        const auto iLeft = static_cast<long long>(dLeft + 0.5);
        std::ostringstream text;
        text << m_uiDone << "/" << m_uiTotal << " files, " << std::fixed << std::setprecision(2) << dRate
             << " files/s, " << iLeft / 60 << ":" << std::setw(2) << std::setfill('0') << iLeft % 60 << " left";
        if (!m_bTerminal) {
            std::cerr << text.str() << "\n";
            return;
        }
        const std::size_t uiWidth = 30, uiFull = m_uiTotal ? uiWidth * m_uiDone / m_uiTotal : uiWidth;
        std::cerr << "\r\033[K[" << std::string(uiFull, '#') << std::string(uiWidth - uiFull, '.') << "] "
                  << text.str() << std::flush;
        m_bDrawn = true;
    }

    std::size_t m_uiTotal;
    std::size_t m_uiDone = 0;
    bool m_bTerminal;
    bool m_bDrawn = false;
    std::chrono::steady_clock::time_point m_Start;
};

int Run(const Options& options)
{
    const std::string strStart = CurrentDirectory();
    const std::string strGraph = Absolute(options.strArgument, strStart);
    const std::string strGraphDirectory = strGraph.substr(0, strGraph.rfind('/'));

    Engine engine(options.strPlugin);
    OpenGL::Device device(OpenGL::Context::CreateHeadless());
    RunContext& context = RunContext::Get(engine.core);
    context.m_strOutputDirectory =
        options.strOutputDirectory.empty() ? strStart : Absolute(options.strOutputDirectory, strStart);
    context.m_bWriteAnywhere = options.bWriteAnywhere;
    GFX::ImageLoader::Get(engine.core).SetLimits(options.imageLimits);
    Host::SetMeshImportLimits(options.meshLimits);

    // Relative names inside the graph (images to load) are relative to it.
    if (::chdir(strGraphDirectory.c_str()) != 0)
        throw std::runtime_error("Could not enter the graph's directory " + strGraphDirectory);
    std::unique_ptr<Graph> pGraph = LoadGraph(engine.core, &device, strGraph, options.limits);

    for (const auto& [strTarget, strValue] : options.sets) {
        const std::size_t uiSlash = strTarget.find('/');
        pGraph->SetControl(strTarget.substr(0, uiSlash), strTarget.substr(uiSlash + 1), strValue);
    }
    if (!options.strSaveGraph.empty()) SaveGraph(*pGraph, Absolute(options.strSaveGraph, strStart));
    if (!options.strDot.empty()) WriteFileAtomically(Absolute(options.strDot, strStart), GraphToDot(*pGraph));

    const std::vector<std::string> unready = CheckReadiness(*pGraph);
    if (!unready.empty()) {
        for (const std::string& strLine : unready) std::cerr << strGraph << ": " << strLine;
        throw std::runtime_error(strGraph + ": the graph cannot run until these inputs are connected");
    }
    if (options.bCheckOnly) {
        std::cout << strGraph << ": " << pGraph->GetAllItems().size() << " filters, ready to run\n";
        return 0;
    }

    if (!engine.core.GetErrors().empty())
        throw std::runtime_error(strGraph + ": " + engine.core.GetErrors().back());
    ProfilingExecuter profiler(&engine.logger);
    ScopeExecuter plain(&engine.logger);
    ScopeExecuter& executer = options.bProfile ? profiler : plain;

    // The files of a batch, and the share of them this run takes.
    std::vector<std::string> files;
    std::vector<std::size_t> positions;
    std::string strEachFilter, strEachControl;
    bool bReadAhead = false;
    if (!options.strEachTarget.empty()) {
        files = MatchFiles(options.strEachPattern, strStart);
        positions = ShardOf(files.size(), options.iShard, options.iShards);
        const std::size_t uiSlash = options.strEachTarget.find('/');
        strEachFilter = options.strEachTarget.substr(0, uiSlash);
        strEachControl = options.strEachTarget.substr(uiSlash + 1);
        // Files are read ahead only for a control that names a file, which
        // the filter reads through the image loader when it changes.
        const Instrumenter::Control* pControl = pGraph->GetInstrumenter(strEachFilter).FindControl(strEachControl);
        bReadAhead = pControl && pControl->m_eKind == Instrumenter::ControlKind::FileName;
    }
    const bool bBatch = !files.empty();
    const std::size_t uiFrames = bBatch ? positions.size() : static_cast<std::size_t>(options.iFrames);
    BatchProgress progress(uiFrames);
    GFX::ImageLoader& loader = GFX::ImageLoader::Get(engine.core);
    const auto ReadAhead = [&](std::size_t uiFrame) {
        if (bReadAhead && uiFrame < positions.size()) loader.Prefetch(Utf8ToWide(files[positions[uiFrame]]));
    };

    // Sinks hand their pictures to worker threads; what those wrote is told
    // here, on this thread, and the first file that could not be written
    // stops the run. However the run ends, every queued file is finished.
    const unsigned int uiWorkers = std::max(1u, std::thread::hardware_concurrency());
    GFX::BackgroundWriter writer(uiWorkers, uiWorkers + 1);
    context.m_pWriter = &writer;
    std::size_t uiWritten = 0;
    const auto TakeOutcomes = [&]() {
        std::string strFailure;
        for (const GFX::BackgroundWriter::Outcome& outcome : writer.TakeOutcomes()) {
            if (!outcome.m_strError.empty()) {
                if (strFailure.empty()) strFailure = pGraph->RequireItem(outcome.m_strWho).Describe() + ": " + outcome.m_strError;
                continue;
            }
            ++uiWritten;
            const std::string strLine = outcome.m_strWho + ": wrote " + outcome.m_strPath;
            if (bBatch)
                progress.Line(strLine);
            else
                engine.logger.Log(strLine + "\n");
        }
        if (!strFailure.empty()) throw std::runtime_error(strFailure);
    };
    const auto FinishWriting = [&]() {
        writer.Finish();
        TakeOutcomes();
    };

    const auto runStart = std::chrono::steady_clock::now();
    try {
        ReadAhead(0);
        for (std::size_t uiFrame = 0; uiFrame < uiFrames; ++uiFrame) {
            const auto frameStart = std::chrono::steady_clock::now();
            context.m_uiFrame = bBatch ? positions[uiFrame] : uiFrame;
            if (bBatch) {
                const std::string& strFile = files[positions[uiFrame]];
                pGraph->SetControl(strEachFilter, strEachControl, strFile);
                context.m_strBatchFile = strFile;
                ReadAhead(uiFrame + 1);
            }
            try {
                if (options.bProfile)
                    profiler.RunFrame(*pGraph);
                else
                    pGraph->RunFrame(executer);
            } catch (const std::exception& error) {
                if (!bBatch) throw;
                throw std::runtime_error(std::string(error.what()) + " (the frame for " + files[positions[uiFrame]] +
                                         ", file " + std::to_string(positions[uiFrame] + 1) + " of " +
                                         std::to_string(files.size()) + ")");
            }
            glFinish();
            if (options.bProfile) profiler.EndFrame();
            TakeOutcomes();
            if (bBatch)
                progress.Done(uiFrame + 1);
            else if (uiFrames > 1)
                std::cerr << "frame " << uiFrame + 1 << "/" << uiFrames << " done in " << std::fixed
                          << std::setprecision(1)
                          << std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - frameStart)
                                 .count()
                          << " ms\n";
        }
        FinishWriting();
    } catch (...) {
        progress.End();
        context.m_pWriter = nullptr;
        // The files queued before the failure are still written; a failure
        // of theirs is told too, after the one that stopped the run.
        try {
            FinishWriting();
        } catch (const std::exception& error) {
            std::cerr << "ondo-run: " << error.what() << "\n";
        }
        throw;
    }
    progress.End();
    context.m_pWriter = nullptr;
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
    std::cerr << uiFrames << " frame" << (uiFrames == 1 ? "" : "s") << " of " << pGraph->GetAllItems().size()
              << " filters in " << std::fixed << std::setprecision(3) << dSeconds << " s on "
              << device.GetContext().GetRenderer() << "\n";
    if (bBatch) {
        std::cerr << "batch: " << positions.size() << " of " << files.size() << " files";
        if (options.iShards > 1) std::cerr << " (shard " << options.iShard << "/" << options.iShards << ")";
        std::cerr << " in " << std::setprecision(2) << dSeconds << " s, "
                  << (dSeconds > 0.0 ? static_cast<double>(positions.size()) / dSeconds : 0.0) << " files/s; "
                  << uiWritten << " picture" << (uiWritten == 1 ? "" : "s") << " written\n";
    }
    if (options.bProfile) profiler.Print(*pGraph, std::cout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
        if (options.strCommand == "help") {
            std::cout << s_szUsage;
            return 0;
        }
        if (options.strCommand == "list") return List(options);
        if (options.strCommand == "describe") return Describe(options);
        if (options.strCommand == "gl-info") return GLInfo();
        return Run(options);
    } catch (const UsageError& error) {
        std::cerr << "ondo-run: " << error.what() << "\n\n" << s_szUsage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "ondo-run: " << error.what() << "\n";
        return 1;
    }
}
