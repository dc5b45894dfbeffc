#pragma once

#include "frame/ComputePass.h"

#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

#include <functional>
#include <string>
#include <vector>

namespace Ondo::OpenGL {
class BaseFilter;
}

namespace Prismvale {

// What the image filters that sample a fixed input texture share: a program
// built from a shader file, the uniforms it addresses by name, a default
// sampler owned by the filter, and one compute pass that reads the input at
// texture unit 0 and writes the target through image unit 1 in 16 x 16 work
// groups over the target. The target is bound in its own format, not through
// an RGBA8 view: such a view gives zeros on float targets. The input may be a
// 2D or a 3D texture (bound to its own target); a 3D target is written layer
// by layer, each layer bound to image unit 1 as a 2D image.
class SampledComputePass {
public:
    // The sampler the filter makes for itself, used while "Sampler State"
    // carries none: the render-device library's default one (linear,
    // clamped), a repeating one with mipmapped minification, or none at all
    // (the input is bound without a sampler object).
    enum class DefaultSampler { Standard, RepeatMipmapped, None };
    using UniformStep = std::function<void(const ComputeProgram&, const Ondo::Vector2i&)>;
    using LayerStep = std::function<void(const ComputeProgram&, GLint iLayer)>;

    SampledComputePass(const Ondo::OpenGL::BaseFilter& owner, std::wstring strShader,
                       std::vector<std::string> uniformNames, DefaultSampler eSampler,
                       TargetKinds eKinds = TargetKinds::FloatOnly);

    // Builds the float program, looks up the named uniforms and makes the
    // default sampler.
    void Build();
    // Deletes every program and the default sampler; names that are 0 are
    // skipped, so a second release does nothing.
    void Release();

    GLuint GetProgram() const { return m_Programs.GetFloatProgram(); }
    GLuint GetDefaultSampler() const { return m_uiDefaultSampler; }

    // One pass: binds the input to unit 0 with the sampler pSampler points to
    // (the default sampler when it is null), the target to image unit 1 in
    // its own format, calls fnUniforms with the program for that format and
    // the target's size once the target is bound, dispatches over the target
    // and makes the result visible. A 3D target gets one dispatch per layer,
    // fnLayer called before each with the layer bound; one of depth 0 gets
    // none, but the barrier still. Returns false, and does nothing, when the
    // input or the target holds no texture (the owner's core logger is told);
    // throws, before any GL state changes, when the target cannot be written
    // or the input's texels are not of the target's kind.
    bool Run(const Ondo::OpenGL::TextureObject* pInput, const Ondo::OpenGL::TextureObject* pTarget,
             const GLuint* pSampler, const UniformStep& fnUniforms = {}, const LayerStep& fnLayer = {});

private:
    const Ondo::OpenGL::BaseFilter& m_Owner;
    ComputePrograms m_Programs;
    DefaultSampler m_eSampler;
    GLuint m_uiDefaultSampler = 0;
};

} // namespace Prismvale
