#pragma once

#include "src/DataMakers.h"

#include <string>

namespace Prismvale {

// A 2D float texture filled from an array of floats on "Input Floats",
// 100 x 100 unless the settings or the "Width"/"Height" inputs say otherwise.
class FilterMakeTextureFromFloat : public TextureMakerT<float> {
public:
    FilterMakeTextureFromFloat(Ondo::Core& core, const std::string& strName);
};

} // namespace Prismvale
