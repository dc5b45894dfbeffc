#include "src/FilterMakeTextureFromFloat.h"

#include "frame/DescriptorList.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterMakeTextureFromFloat> s_Registration(
    "OpenGL.Texture.FromFloat", "src\\FilterMakeTextureFromFloat",
    "For filling an OpenGL texture using a float source", "OpenGL;Texture;Float;");
} // namespace

FilterMakeTextureFromFloat::FilterMakeTextureFromFloat(Ondo::Core& core, const std::string& strName)
    : TextureMakerT<float>(core, strName, "Input Floats", 100)
{
}

} // namespace Prismvale
