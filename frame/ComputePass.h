#pragma once

#include "Ondo/OpenGL/GLSLShaderPortHooker.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

#include <functional>
#include <string>

namespace Ondo::OpenGL {
class BaseFilter;
}

namespace Prismvale {

// What the image filters that write their target texture with one compute
// dispatch share: a program built from a shader file under the shader root,
// 16 x 16 work groups over the target, a shader-image-access barrier.
//
// The hooked kind also owns the port hooker that turns the shader's annotated
// inputs into ports of the filter; the target is written through an image
// unit (2, or the first one after the hooker's units) in the target's own
// format or as RGBA8.
class HookedComputePass {
public:
    enum class TargetUnit { Two, NextFree };
    enum class TargetFormat { Own, RGBA8 };

    HookedComputePass(Ondo::OpenGL::BaseFilter& owner, std::wstring strShader, TargetUnit eUnit,
                      TargetFormat eFormat);

    // Builds the program and makes the shader's ports anew from the file.
    void Build();
    // Unhooks and deletes the program; nothing when there is none.
    void Release();

    GLuint GetProgram() const { return m_uiProgram; }
    Ondo::OpenGL::GLSLShaderPortHooker& GetHooker() { return m_ShaderHelper; }

    // One pass over the target. fnAfterUse runs right after glUseProgram,
    // fnAfterBinding once the target is bound, before the dispatch. Returns
    // false, and does nothing, when the target holds no texture (the owner's
    // core logger is told).
    bool Run(Ondo::OpenGL::TextureObject2D* pTarget, const std::function<void()>& fnAfterUse = {},
             const std::function<void()>& fnAfterBinding = {});

private:
    Ondo::OpenGL::BaseFilter& m_Owner;
    std::wstring m_strShader;
    TargetUnit m_eUnit;
    TargetFormat m_eFormat;
    GLuint m_uiProgram = 0;
    Ondo::OpenGL::GLSLShaderPortHooker m_ShaderHelper;
};

// Tells the owner's core logger that a required texture input holds no
// texture, so the pass was skipped.
void ReportMissingTexture(const Ondo::OpenGL::BaseFilter& owner, const std::string& strLabel);

} // namespace Prismvale
