// The plug-in's main file: its description record, the one export and the
// registrations of the class-template data makers.

#include "frame/DescriptorList.h"
#include "frame/PluginLoad.h"
#include "src/DataMakers.h"

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

// The data makers that are class templates, registered last: static
// initialisation runs top to bottom, so these four end the descriptor list.
namespace Prismvale {
namespace {
using Ondo::Vector3f;
using Ondo::Vector4f;

const FilterRegistration<FilterMakeTextureFromVecT<Vector3f>> s_TextureFromVec3f(
    "OpenGL.MakeTextureFromVec3f", "src\\Prismvale", "Fill a texture using Vec3f", "OpenGL;Texture;");
const FilterRegistration<FilterMakeTextureFromVecT<Vector4f>> s_TextureFromVec4f(
    "OpenGL.MakeTextureFromVec4f", "src\\Prismvale", "Fill a texture using Vec4f", "OpenGL;Texture;");
const FilterRegistration<FilterMakeBufferFromVec<Vector3f>> s_BufferFromVec3f(
    "OpenGL.Buffer.FromVec3f", "src\\Prismvale", "Fill a buffer using Vec3f", "OpenGL;Buffer;");
const FilterRegistration<FilterMakeBufferFromVec<Vector4f>> s_BufferFromVec4f(
    "OpenGL.Buffer.FromVec4f", "src\\Prismvale", "Fill a buffer using Vec4f", "OpenGL;Buffer;");
} // namespace
} // namespace Prismvale
