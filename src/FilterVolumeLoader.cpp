#include "src/FilterVolumeLoader.h"

#include "frame/DescriptorList.h"

#include "Ondo/OpenGL/Textures.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterVolumeLoader> s_Registration(
    "OpenGL.Texture.LoadVolume", "src\\FilterVolumeLoader",
    "For loading a 3D texture from 3D image formats such as mhd/raw format to OpenGL (Not running yet)",
    "OpenGL;Texture;3D;Volume;Load");

// Pairs of a description and its patterns, separated by vertical bars.
const FileLoaderKind s_KindVolume{
    "OutputTexture", &Ondo::OpenGL::LoadTexture3D, true, true,
    L"All supported types|*.mhd;*.dds;*.vti|Medical Data files (*.mhd)|*.mhd|DDS Files(*.dds)|*.dds|VTK Medical Data "
    L"(*.vti)|*.vti"};
} // namespace

FilterVolumeLoader::FilterVolumeLoader(Ondo::Core& core, const std::string& strName)
    : FileTextureLoader(core, strName, s_KindVolume)
{
}

} // namespace Prismvale
