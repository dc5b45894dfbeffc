#pragma once

#include "frame/MultiTextureSource.h"

namespace Prismvale {

// Several empty 3D textures, each in a format of its own.
class FilterMultiTextureSource3D : public MultiTextureSourceT<Ondo::OpenGL::TextureObject3D, true> {
public:
    using MultiTextureSourceT::MultiTextureSourceT;
};

} // namespace Prismvale
