#pragma once

// What the depth filters (view-space position, linear depth) share: the
// three frustum uniforms derived from a projection matrix, and their pass.

#include "frame/ComputePass.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/Port.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

namespace Prismvale {

// Writes the frustum uniforms of a projection matrix (its sixteen floats e0 ...
// e15 in storage order) to the program: location 0 (x, y), 1 near N, 2 far Fr,
// 3 the centre (e8, e9). For an OpenGL perspective matrix stored column by
// column, N and Fr are the near and far distances, x and y are -1 / e0 and
// 1 / e5, the half width (negated) and half height of the frustum at unit
// distance, and the centre is where the view axis meets the near plane in
// normalised device coordinates, negated: zero for a symmetric frustum,
// ((r + l) / (r - l), (t + b) / (t - b)) for an off-centre one (glFrustum), so
// that x_view = -x (x_ndc + e8) z and y_view = y (y_ndc + e9) z at distance z.
// Computed in single precision, in this order.
inline void SetProjectionUniforms(GLuint uiProgram, const Ondo::Matrix44f& projection)
{
    const float* e = projection.data();
    const float fNear = e[14] / (e[10] - 1.0f);
    const float fFar = e[14] / (e[10] + 1.0f);
    const float fY = ((e[6] + 1.0f) * fNear / e[5]) / fNear;
    const float fX = -(((e[2] - 1.0f) * fNear / e[0]) / ((e[6] - 1.0f) * fNear / e[5])) * fY;
    glProgramUniform2f(uiProgram, 0, fX, fY);
    glProgramUniform1f(uiProgram, 1, fNear);
    glProgramUniform1f(uiProgram, 2, fFar);
    glProgramUniform2f(uiProgram, 3, e[8], e[9]);
}

// One pass of a depth filter: the dispatch, with the uniforms from the matrix
// written to the program that writes the target. When the "Projection Matrix"
// input holds no value the owner's core logger is told and nothing runs.
// True when the target was written.
inline bool RunProjectionPass(const Ondo::OpenGL::BaseFilter& owner, HookedComputePass& pass,
                              Ondo::OpenGL::TextureObject2D* pTarget, const Ondo::Matrix44f* pProjection)
{
    if (!pProjection) {
        if (Ondo::LoggerInterface* pLogger = owner.GetCore().GetLogger())
            pLogger->Log(owner.GetName() + ": \"Projection Matrix\" carries no value; the pass was skipped.\n");
        return false;
    }
    return pass.Run(pTarget,
                    [&](const ComputeProgram& program) { SetProjectionUniforms(program.m_uiName, *pProjection); });
}

} // namespace Prismvale
