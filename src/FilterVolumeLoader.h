#pragma once

#include "src/FilterLoadTextureFromFile.h"

namespace Prismvale {

// Loads a volume file as a 3D texture, in InitResources and after each edit.
// Every load drops the volume loaded before, so a name that is no file leaves
// none (GL name 0).
class FilterVolumeLoader : public FileTextureLoader<Ondo::OpenGL::TextureObject3D> {
public:
    FilterVolumeLoader(Ondo::Core& core, const std::string& strName);
};

} // namespace Prismvale
