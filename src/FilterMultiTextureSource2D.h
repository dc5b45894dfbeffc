#pragma once

#include "frame/MultiTextureSource.h"

namespace Prismvale {

// Several empty 2D textures, each in a format of its own.
class FilterMultiTextureSource2D : public MultiTextureSourceT<Ondo::OpenGL::TextureObject2D, false> {
public:
    using MultiTextureSourceT::MultiTextureSourceT;
};

} // namespace Prismvale
