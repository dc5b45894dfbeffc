// ondo-run: runs filter graphs headless with the Prismvale plug-in.

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/Device.h"
#include "Ondo/Plugin.h"

#include <fnmatch.h>
#include <limits.h>
#include <unistd.h>

#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const s_szUsage =
    "Usage: ondo-run [--plugin PATH] --list [PATTERN]\n"
    "       ondo-run --gl-info\n"
    "\n"
    "  --list [PATTERN]  list the registered filter types (name, keywords, description);\n"
    "                    PATTERN is a shell wildcard on the name, e.g. 'OpenGL.Texture.*'\n"
    "  --plugin PATH     the plug-in module to load (default: Prismvale.so beside ondo-run)\n"
    "  --gl-info         create the headless OpenGL context and describe it\n";

std::string DefaultPluginPath()
{
    char szPath[PATH_MAX];
    const ssize_t iLength = ::readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (iLength <= 0) return "Prismvale.so";
    std::string strPath(szPath, static_cast<std::size_t>(iLength));
    return strPath.substr(0, strPath.rfind('/') + 1) + "Prismvale.so";
}

int List(const std::string& strPlugin, const std::string& strPattern)
{
    Ondo::Core core;
    Ondo::StreamLogger logger(std::cerr);
    core.SetLogger(&logger);
    const Ondo::PluginDescription& description = core.LoadPlugin(strPlugin);
    std::cout << "Plug-in " << description.m_strName << ": " << description.m_strDescription << "\n";

    const auto& registry = Ondo::FlowGraph::FilterRegistry::Get(core);
    std::size_t uiShown = 0;
    for (const std::string& strName : registry.GetFilterNames()) {
        if (fnmatch(strPattern.c_str(), strName.c_str(), 0) != 0) continue;
        const Ondo::FlowGraph::FilterDescriptor& descriptor = *registry.FindFilter(strName);
        std::cout << "  " << strName << "\n      " << descriptor.m_strDescription << "\n      keywords: "
                  << descriptor.m_strKeywords << "\n";
        ++uiShown;
    }
    for (const std::string& strName : registry.GetCtrlFlowFilterNames()) {
        if (fnmatch(strPattern.c_str(), strName.c_str(), 0) != 0) continue;
        std::cout << "  " << strName << "  (control flow)\n";
        ++uiShown;
    }
    std::cout << uiShown << " filter type" << (uiShown == 1 ? "" : "s") << " registered"
              << (strPattern == "*" ? "" : " matching " + strPattern) << "\n";
    return 0;
}

int GLInfo()
{
    auto pContext = Ondo::OpenGL::Context::CreateHeadless();
    std::cout << "Platform: " << pContext->GetPlatformName() << "\nVersion:  " << pContext->GetVersion()
              << "\nRenderer: " << pContext->GetRenderer() << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string strPlugin = DefaultPluginPath();
    std::string strCommand;
    std::string strPattern = "*";
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--plugin" && i + 1 < args.size()) {
                strPlugin = args[++i];
            } else if (args[i] == "--list") {
                strCommand = "list";
                if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) strPattern = args[++i];
            } else if (args[i] == "--gl-info") {
                strCommand = "gl-info";
            } else if (args[i] == "--help" || args[i] == "-h") {
                std::cout << s_szUsage;
                return 0;
            } else {
                std::cerr << "ondo-run: unknown argument \"" << args[i] << "\"\n" << s_szUsage;
                return 2;
            }
        }
        if (strCommand == "list") return List(strPlugin, strPattern);
        if (strCommand == "gl-info") return GLInfo();
        std::cerr << s_szUsage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "ondo-run: " << error.what() << "\n";
        return 1;
    }
}
