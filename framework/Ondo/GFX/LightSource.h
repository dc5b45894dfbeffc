#pragma once

#include "Ondo/Vector.h"

#include <cstdint>

namespace Ondo::GFX {

// One light as the shading filters hand it to their shaders.
struct LightSource {
    enum Type : std::int32_t { Directional = 0, Point = 1, Spot = 2 };

    std::int32_t m_iLightType = Point;
    // Homogeneous position; w = 0 gives a direction.
    Vector4f m_vPosition{0.0f, 0.0f, 0.0f, 1.0f};
    Vector4f m_vColor{1.0f, 1.0f, 1.0f, 1.0f};
    // Constant, linear and quadratic attenuation.
    Vector3f m_vAttenuation{1.0f, 0.0f, 0.0f};
    // Cut-off angle of a spot light, in degrees.
    float m_fSpotCutoff = 180.0f;
    Vector3f m_vSpotDirection{0.0f, 0.0f, -1.0f};
};

} // namespace Ondo::GFX
