#include "src/FilterMultiTextureSource3D.h"

#include "frame/DescriptorList.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterMultiTextureSource3D> s_Registration(
    "OpenGL.Texture.MultiSource3D", "src\\FilterMultiTextureSource3D",
    "Can be used to create several OpenGL 3D textures", "OpenGL;Texture");
} // namespace

} // namespace Prismvale
