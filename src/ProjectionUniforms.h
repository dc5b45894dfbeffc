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
// e15 in storage order) to the program: location 0 (x, y), 1 near N, 2 far Fr.
// For an OpenGL perspective matrix stored column by column, N and Fr are the
// near and far distances, y is the top of a symmetric frustum at unit distance
// and x its left edge (negative). Computed in single precision, in this order.
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
}

// One pass of a depth filter: the uniforms from the matrix first (before the
// pass uses the program), then the dispatch. When the "Projection Matrix"
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
    SetProjectionUniforms(pass.GetProgram(), *pProjection);
    return pass.Run(pTarget);
}

} // namespace Prismvale
