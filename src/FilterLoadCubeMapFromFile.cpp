#include "src/FilterLoadCubeMapFromFile.h"

#include "frame/DescriptorList.h"

#include "Ondo/OpenGL/Textures.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterLoadCubeMapFromFile> s_Registration("OpenGL.Texture.LoadCubeMapFromFile",
                                                                   "src\\FilterLoadCubeMapFromFile",
                                                                   "For loading a cubemap texture from disc to OpenGL",
                                                                   "OpenGL;Texture;Load;CubeMap");

const FileLoaderKind s_KindCube{"Cubemap", &Ondo::OpenGL::LoadTextureCubeMap, false, false, nullptr};
} // namespace

FilterLoadCubeMapFromFile::FilterLoadCubeMapFromFile(Ondo::Core& core, const std::string& strName)
    : FileTextureLoader(core, strName, s_KindCube)
{
}

} // namespace Prismvale
