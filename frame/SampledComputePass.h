#pragma once

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
// groups over the target.
class SampledComputePass {
public:
    // The sampler the filter makes for itself, used while "Sampler State"
    // carries none: the render-device library's default one (linear,
    // clamped), a repeating one with mipmapped minification, or none at all
    // (the input is bound without a sampler object).
    enum class DefaultSampler { Standard, RepeatMipmapped, None };
    // The format of the image view the target is written through.
    enum class TargetFormat { RGBA8, Own };

    SampledComputePass(const Ondo::OpenGL::BaseFilter& owner, std::wstring strShader,
                       std::vector<std::string> uniformNames, DefaultSampler eSampler,
                       TargetFormat eFormat = TargetFormat::RGBA8);

    // Builds the program, looks up the named uniforms and makes the default
    // sampler.
    void Build();
    // Deletes the program and the default sampler; names that are 0 are
    // skipped, so a second release does nothing.
    void Release();

    GLuint GetProgram() const { return m_uiProgram; }
    GLuint GetDefaultSampler() const { return m_uiDefaultSampler; }
    // Location of the i-th uniform named at construction; -1 before Build and
    // for names the program does not have.
    GLint GetLocation(std::size_t i) const { return m_Locations.at(i); }

    // One pass: binds the input to unit 0 with the sampler pSampler points to
    // (the default sampler when it is null), the target to image unit 1, calls
    // fnUniforms with the target's size once the target is bound, dispatches
    // over the target and waits for the image writes. Returns false, and does
    // nothing, when the input or the target holds no texture (the owner's core
    // logger is told).
    bool Run(const Ondo::OpenGL::TextureObject2D* pInput, const Ondo::OpenGL::TextureObject2D* pTarget,
             const GLuint* pSampler, const std::function<void(const Ondo::Vector2i&)>& fnUniforms = {});

private:
    const Ondo::OpenGL::BaseFilter& m_Owner;
    std::wstring m_strShader;
    std::vector<std::string> m_UniformNames;
    DefaultSampler m_eSampler;
    TargetFormat m_eFormat;
    GLuint m_uiProgram = 0;
    GLuint m_uiDefaultSampler = 0;
    std::vector<GLint> m_Locations;
};

} // namespace Prismvale
