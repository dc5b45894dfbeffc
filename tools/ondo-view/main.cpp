// ondo-view: a window on a running graph, with live controls, texture
// previews, per-filter times and shader reload.

#include "ViewApp.h"
#include "ViewSession.h"

#include "host/FlowGraph/Graph.h"
#include "host/Window/GlfwWindow.h"

#include "Ondo/OpenGL/Device.h"

#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const s_szUsage =
    "Usage: ondo-view [options] GRAPH\n"
    "\n"
    "Opens a window on a graph file and runs the graph every frame: the filters by scope, the\n"
    "selected filter's controls and ports, a preview of any texture, the time of every filter.\n"
    "Shader files under Content/Shader/ that change on disk are rebuilt at the next frame.\n"
    "Ctrl+S saves the graph as edited (the format of ondo-run --save-graph), Ctrl+Q quits.\n"
    "\n"
    "Options:\n"
    "  --save-to FILE      where Ctrl+S writes (default: the graph file itself)\n"
    "  --frames N          run N frames, then quit\n"
    "  --screenshot FILE   with --frames: write a PNG of the window after the last frame\n"
    "  --size WxH          the window's size (default 1280x800)\n"
    "  --select FILTER[/PORT]  open with this filter chosen (and this texture port previewed);\n"
    "                      repeatable: the last filter is chosen, the last port previewed\n"
    "  --output-dir DIR    where the graph's output files go (default: the current directory)\n"
    "  --write-anywhere    let the graph write files outside the output folder\n"
    "  --plugin PATH       the plug-in module to load (default: Prismvale.so beside ondo-view)\n"
    "\n"
    "The exit status is 0 on success, 1 when there is no display, the graph cannot be loaded, or\n"
    "(with --frames) a frame failed, 2 for bad usage.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The plug-in is looked for beside the executable.
std::string ExecutableDirectory()
{
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : executable.parent_path().string();
}

int WholeNumber(const std::string& strOption, const std::string& strText)
{
    try {
        std::size_t uiEnd = 0;
        const int iValue = std::stoi(strText, &uiEnd);
        if (uiEnd == strText.size() && iValue >= 1) return iValue;
    } catch (const std::exception&) {
    }
    throw UsageError(strOption + " takes a whole number of at least 1, not \"" + strText + "\"");
}

struct Options {
    OndoView::ViewOptions view;
    int iFrames = 0; // 0: until the window closes
    std::string strScreenshot;
    std::vector<std::string> selections;
    int iWidth = 1280, iHeight = 800;
    bool bHelp = false;
};

Options ParseArguments(const std::vector<std::string>& args)
{
    Options options;
    options.view.m_strPlugin = ExecutableDirectory() + "/Prismvale.so";
    auto value = [&](std::size_t& i) -> const std::string& {
        if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& strArg = args[i];
        if (strArg == "--save-to") {
            options.view.m_strSaveTo = value(i);
        } else if (strArg == "--frames") {
            options.iFrames = WholeNumber(strArg, value(i));
        } else if (strArg == "--screenshot") {
            options.strScreenshot = value(i);
        } else if (strArg == "--size") {
            const std::string& strSize = value(i);
            const std::size_t uiX = strSize.find('x');
            if (uiX == std::string::npos) throw UsageError("--size takes WIDTHxHEIGHT, not \"" + strSize + "\"");
            options.iWidth = WholeNumber(strArg, strSize.substr(0, uiX));
            options.iHeight = WholeNumber(strArg, strSize.substr(uiX + 1));
        } else if (strArg == "--select") {
            options.selections.push_back(value(i));
        } else if (strArg == "--output-dir") {
            options.view.m_strOutputDirectory = value(i);
        } else if (strArg == "--write-anywhere") {
            options.view.m_bWriteAnywhere = true;
        } else if (strArg == "--plugin") {
            options.view.m_strPlugin = value(i);
        } else if (strArg == "--help" || strArg == "-h") {
            options.bHelp = true;
        } else if (strArg.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + strArg);
        } else if (options.view.m_strGraph.empty()) {
            options.view.m_strGraph = strArg;
        } else {
            throw UsageError("unexpected argument \"" + strArg + "\"");
        }
    }
    if (options.bHelp) return options;
    if (options.view.m_strGraph.empty()) throw UsageError("no graph file given");
    if (!options.strScreenshot.empty() && options.iFrames == 0)
        throw UsageError("--screenshot needs --frames N: the picture is taken after the last frame");
    return options;
}

int Run(const Options& options)
{
    // Relative paths are taken from where ondo-view started; the session
    // then works in the graph's folder.
    OndoView::ViewOptions view = options.view;
    std::string strScreenshot = options.strScreenshot;
    for (std::string* pPath : {&view.m_strGraph, &view.m_strSaveTo, &view.m_strOutputDirectory, &view.m_strPlugin, &strScreenshot})
        if (!pPath->empty()) *pPath = std::filesystem::absolute(*pPath).lexically_normal().string();

    std::unique_ptr<Ondo::Host::GlfwWindow> pWindow;
    try {
        pWindow = std::make_unique<Ondo::Host::GlfwWindow>("ondo-view", options.iWidth, options.iHeight);
    } catch (const Ondo::Host::NoDisplayError& error) {
        std::cerr << "ondo-view: " << error.what() << "; ondo-run runs graphs without one\n";
        return 1;
    }
    Ondo::OpenGL::Device device(pWindow->CreateContext());
    int iStatus = 0;
    {
        OndoView::ViewSession session(view, device);
        OndoView::ViewApp app(*pWindow, session);
        for (const std::string& strSelect : options.selections) {
            const std::size_t uiSlash = strSelect.find('/');
            const std::string strItem = strSelect.substr(0, uiSlash);
            session.GetGraph().RequireItem(strItem);
            app.Select(strItem);
            if (uiSlash != std::string::npos) app.SetPreview(strItem, strSelect.substr(uiSlash + 1));
        }
        for (int iFrame = 0; !app.ShouldClose() && (options.iFrames == 0 || iFrame < options.iFrames); ++iFrame)
            app.Frame(!strScreenshot.empty() && iFrame + 1 == options.iFrames);
        if (options.iFrames > 0 && (session.HasFailed() || !session.GetRunError().empty())) {
            std::cerr << "ondo-view: " << view.m_strGraph << ": " << session.GetRunError() << "\n";
            iStatus = 1;
        } else if (!strScreenshot.empty()) {
            app.WriteCapture(strScreenshot);
            std::cerr << "ondo-view: wrote " << strScreenshot << "\n";
        }
    }
    return iStatus;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
        if (options.bHelp) {
            std::cout << s_szUsage;
            return 0;
        }
        return Run(options);
    } catch (const UsageError& error) {
        std::cerr << "ondo-view: " << error.what() << "\n\n" << s_szUsage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "ondo-view: " << error.what() << "\n";
        return 1;
    }
}
