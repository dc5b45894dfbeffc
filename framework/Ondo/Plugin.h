#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Ondo {

class Core;

// What a plug-in module tells the engine about itself. The module returns the
// address of one static instance from its exported GetPluginDescription.
struct PluginDescription {
    std::string m_strName;
    // The engine interface generation the module was built for.
    std::int32_t m_iInterfaceVersion = 0;
    std::string m_strDescription;
    // Called once per core after the module was loaded: registers the module's filters.
    std::function<void(Core&)> m_fnLoad;
    // Called per core just before the core releases what the module registered;
    // empty when the module has nothing to do then.
    std::function<void(Core&)> m_fnBeforeRelease;
    // Called when the engine is done with the module.
    std::function<void()> m_fnUnload;
    std::uint32_t m_uiFlags = 0;
};

// The type of the one function every plug-in module exports with C linkage.
using GetPluginDescriptionFunction = PluginDescription* (*)();
constexpr const char* PluginEntryPointName = "GetPluginDescription";

} // namespace Ondo
