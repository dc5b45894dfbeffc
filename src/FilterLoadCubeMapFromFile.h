#pragma once

#include "src/FilterLoadTextureFromFile.h"

namespace Prismvale {

// Loads a file holding six faces as a cube map. Seamless filtering across the
// faces is switched on in InitResources; the file is read by the first Process,
// which publishes the cube map marked changed.
class FilterLoadCubeMapFromFile : public FileTextureLoader<Ondo::OpenGL::TextureObjectCube> {
public:
    FilterLoadCubeMapFromFile(Ondo::Core& core, const std::string& strName);
};

} // namespace Prismvale
