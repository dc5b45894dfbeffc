#pragma once

#include "Ondo/Vector.h"

namespace Ondo::FlowGraph {
class FilterRegistry;
}

namespace Ondo::Host {

// The view matrix of a right-handed camera at the eye looking at the target,
// with the up direction pointing up on screen (as gluLookAt builds it): the
// eye lands on the origin looking down -z. An eye on the target or an up
// direction along the line of sight gives no proper matrix; callers check.
Matrix44f LookAt(const Vector3f& vEye, const Vector3f& vTarget, const Vector3f& vUp);

// The perspective projection of gluPerspective: vertical field of view in
// degrees, width / height, and the distances of the near and far planes
// (both positive), mapping them to clip depths -1 and 1.
Matrix44f Perspective(float fFovYDegrees, float fAspect, float fNear, float fFar);

// Registers "Host.Camera": view, projection and view-projection matrices and
// the eye position from a look-at camera, with an optional "Aspect" input.
void RegisterCamera(FlowGraph::FilterRegistry& registry);

} // namespace Ondo::Host
