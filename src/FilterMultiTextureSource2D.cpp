#include "src/FilterMultiTextureSource2D.h"

#include "frame/DescriptorList.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterMultiTextureSource2D> s_Registration(
    "OpenGL.Texture.MultiSource2D", "src\\FilterMultiTextureSource2D",
    "Can be used to create several OpenGL 2D textures", "OpenGL;Texture");
} // namespace

} // namespace Prismvale
