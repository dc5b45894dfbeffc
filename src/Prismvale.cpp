// The plug-in's main file: its description record and the one export.

#include "frame/PluginLoad.h"

#include "Ondo/Plugin.h"

namespace {

Ondo::PluginDescription MakeDescription()
{
    Ondo::PluginDescription description;
    description.m_strName = "Prismvale";
    description.m_iInterfaceVersion = 16;
    description.m_strDescription = "Flowgraph filter regarding OpenGL";
    description.m_fnLoad = &Prismvale::LoadIntoCore;
    description.m_fnUnload = [] {};
    description.m_uiFlags = 0;
    return description;
}

// Filled before the engine can call the export; destroyed at unload.
Ondo::PluginDescription s_Description = MakeDescription();

} // namespace

extern "C" __attribute__((visibility("default"))) Ondo::PluginDescription* GetPluginDescription()
{
    return &s_Description;
}
