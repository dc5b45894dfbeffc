#include "Ondo/Core.h"

#include "Ondo/Plugin.h"

#include <dlfcn.h>

#include <stdexcept>

namespace Ondo {

DependentSingletonBase::Entry& DependentSingletonBase::GetDependentEntry(Core& core, const std::string& strKey)
{
    // std::map never moves its nodes, so the slot stays where it is.
    return core.m_Singletons[strKey];
}

void DependentSingletonBase::AddEntry(Core& core, Entry pEntry, const std::string& strKey)
{
    if (!pEntry) throw std::runtime_error("No object given for the singleton \"" + strKey + "\"");
    Entry& slot = core.m_Singletons[strKey];
    if (slot) throw std::runtime_error("The core holds a singleton \"" + strKey + "\" already");
    slot = std::move(pEntry);
    core.m_SingletonOrder.push_back(strKey);
}

Core::Core() = default;

void Core::ReportError(const std::string& strMessage) { m_Errors.push_back(strMessage); }

Core::~Core()
{
    for (auto it = m_Plugins.rbegin(); it != m_Plugins.rend(); ++it) {
        if (it->pDescription && it->pDescription->m_fnBeforeRelease) it->pDescription->m_fnBeforeRelease(*this);
        if (it->pDescription && it->pDescription->m_fnUnload) it->pDescription->m_fnUnload();
    }
    // Singletons go in the reverse order of their creation: a later one may
    // use an earlier one while it is destroyed, never the other way round.
    for (auto it = m_SingletonOrder.rbegin(); it != m_SingletonOrder.rend(); ++it) m_Singletons[*it].reset();
    m_Singletons.clear();
    for (auto it = m_Plugins.rbegin(); it != m_Plugins.rend(); ++it) dlclose(it->pHandle);
}

const PluginDescription& Core::LoadPlugin(const std::string& strPath)
{
    void* pHandle = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!pHandle) {
        const char* szError = dlerror();
        throw std::runtime_error("Could not load the plug-in " + strPath + ": " + (szError ? szError : "unknown error"));
    }
    auto fnGetDescription = reinterpret_cast<GetPluginDescriptionFunction>(dlsym(pHandle, PluginEntryPointName));
    PluginDescription* pDescription = fnGetDescription ? fnGetDescription() : nullptr;
    if (!pDescription) {
        dlclose(pHandle);
        throw std::runtime_error("The plug-in " + strPath + " does not export " + PluginEntryPointName);
    }
    // Remember the module before its load callback runs: whatever it manages
    // to register before a failure must not outlive the module's code.
    m_Plugins.push_back({strPath, pHandle, pDescription});
    if (pDescription->m_fnLoad) pDescription->m_fnLoad(*this);
    return *pDescription;
}

} // namespace Ondo
