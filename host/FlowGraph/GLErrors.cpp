#include "GLErrors.h"

#include <GL/glew.h>

#include <cstdio>

namespace Ondo::FlowGraph {

namespace {

std::string GLErrorName(GLenum eError)
{
    switch (eError) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_CONTEXT_LOST: return "GL_CONTEXT_LOST";
    default: {
        char szCode[16];
        std::snprintf(szCode, sizeof(szCode), "0x%04X", eError);
        return szCode;
    }
    }
}

} // namespace

std::string TakeGLErrors()
{
    std::string strNames;
    int iCount = 0;
    // The distinct flags are few; the bound guards against a context that
    // keeps answering with an error.
    for (int i = 0; i < 16; ++i) {
        const GLenum eError = glGetError();
        if (eError == GL_NO_ERROR) break;
        strNames += (iCount++ ? ", " : "") + GLErrorName(eError);
    }
    return iCount == 0 ? std::string() : (iCount == 1 ? "GL error " : "GL errors ") + strNames;
}

} // namespace Ondo::FlowGraph
