#pragma once

#include "Ondo/OpenGL/GLSLShaderPortHooker.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

#include <string>

namespace Prismvale {

// What the passes that draw one full-screen quad into a colour texture share
// (normals from depth, FXAA, ambient occlusion): the checks that refuse, before
// any GL state changes, what the pass could only draw wrongly; the colour
// target attached after the surfaces the shaders declare; the quad.

// Refuses a program that did not link: it would draw nothing, and the GL
// would answer glUseProgram with an error. The compiler's log says why.
void RequireLinkedProgram(GLuint uiProgram);

// Refuses, naming the port and the format, a texture that is missing or of
// integer texels: these passes sample, write and blend floats. Returns its
// size.
Ondo::Vector2i RequireFloatTexture(const std::string& strLabel, const Ondo::OpenGL::TextureObject2D* pTexture);

// RequireFloatTexture for each texture input the program's shaders declare;
// when pSize is given they must be of that size as well (the pass reads them
// texel for texel over the target).
void RequireHookedTextures(const Ondo::OpenGL::GLSLShaderPortHooker& hooker, GLuint uiProgram,
                           const Ondo::Vector2i* pSize = nullptr);

// Binds the framebuffer with the surfaces the program's shaders declare (when
// there is a hooker) and the target after them: colour attachment k, k the
// number of draw buffers the surfaces take, and the last draw buffer, so the
// shaders write the target at output location k (0 without surfaces). A
// framebuffer that is incomplete with them is detached and unbound, and the
// target is refused naming strLabel and its format. Returns the attachment.
GLenum BindColourTarget(Ondo::OpenGL::GLSLShaderPortHooker* pHooker, GLuint uiProgram, GLuint uiFramebuffer,
                        const std::string& strLabel, GLuint uiTarget);
// Detaches what BindColourTarget attached and unbinds the framebuffer.
void UnbindColourTarget(Ondo::OpenGL::GLSLShaderPortHooker* pHooker, GLuint uiProgram, GLuint uiFramebuffer,
                        GLenum eAttachment);

// A vertex buffer of four 2D corners, (-1, 1), (-1, -1), (1, 1), (1, -1):
// drawn as a triangle strip it covers clip space.
class QuadBuffer {
public:
    void Create();
    void Release();
    GLuint GetName() const { return m_uiBuffer; }
    // Feeds the corners to attribute 0, draws the strip, and disables the
    // attribute and unbinds the buffer again.
    void Draw() const;

private:
    GLuint m_uiBuffer = 0;
};

} // namespace Prismvale
