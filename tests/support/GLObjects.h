#pragma once

#include <GL/glew.h>

#include <array>

namespace OndoTest {

// How many names up to a bound answer true to a glIs* query: the objects of
// that kind alive on the context, as far as tests make them.
inline int CountLive(GLboolean (*fnIs)(GLuint), GLuint uiUpTo = 2048)
{
    int iCount = 0;
    for (GLuint uiName = 1; uiName <= uiUpTo; ++uiName)
        if (fnIs(uiName)) ++iCount;
    return iCount;
}

// The framebuffers, programs, samplers, buffers and textures alive, in that
// order.
inline std::array<int, 5> LiveObjects()
{
    return {CountLive(glIsFramebuffer), CountLive(glIsProgram), CountLive(glIsSampler), CountLive(glIsBuffer),
            CountLive(glIsTexture)};
}

} // namespace OndoTest
