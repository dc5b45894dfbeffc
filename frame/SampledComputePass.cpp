#include "frame/SampledComputePass.h"

#include "frame/ShaderPrograms.h"

#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/Textures.h"

namespace Prismvale {

namespace {

// Repeats on every axis; mipmapped minification (nearest level, linear
// between levels), linear magnification, no limit on the level of detail.
GLuint CreateRepeatMipmappedSampler()
{
    GLuint uiSampler = 0;
    glGenSamplers(1, &uiSampler);
    glSamplerParameteri(uiSampler, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glSamplerParameteri(uiSampler, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glSamplerParameteri(uiSampler, GL_TEXTURE_WRAP_R, GL_REPEAT);
    glSamplerParameteri(uiSampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR);
    glSamplerParameteri(uiSampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameterf(uiSampler, GL_TEXTURE_MIN_LOD, -1000.0f);
    glSamplerParameterf(uiSampler, GL_TEXTURE_MAX_LOD, 1000.0f);
    glSamplerParameterf(uiSampler, GL_TEXTURE_LOD_BIAS, 0.0f);
    return uiSampler;
}

} // namespace

SampledComputePass::SampledComputePass(const Ondo::OpenGL::BaseFilter& owner, std::wstring strShader,
                                       std::vector<std::string> uniformNames, DefaultSampler eSampler,
                                       TargetKinds eKinds)
    : m_Owner(owner), m_Programs(std::move(strShader), std::move(uniformNames), eKinds), m_eSampler(eSampler)
{
}

void SampledComputePass::Build()
{
    m_Programs.Build();
    switch (m_eSampler) {
    case DefaultSampler::Standard: m_uiDefaultSampler = Ondo::OpenGL::CreateDefaultSamplerState(); break;
    case DefaultSampler::RepeatMipmapped: m_uiDefaultSampler = CreateRepeatMipmappedSampler(); break;
    case DefaultSampler::None: break;
    }
}

void SampledComputePass::Release()
{
    m_Programs.Release();
    if (m_uiDefaultSampler != 0) {
        glDeleteSamplers(1, &m_uiDefaultSampler);
        m_uiDefaultSampler = 0;
    }
}

bool SampledComputePass::Run(const Ondo::OpenGL::TextureObject* pInput, const Ondo::OpenGL::TextureObject* pTarget,
                             const GLuint* pSampler, const UniformStep& fnUniforms, const LayerStep& fnLayer)
{
    if (!pTarget) {
        ReportMissingTexture(m_Owner, "Target Texture");
        return false;
    }
    if (!pInput) {
        ReportMissingTexture(m_Owner, "Texture In");
        return false;
    }
    const GLuint uiTarget = pTarget->m_uiName;
    const bool bLayered = pTarget->GetTarget() == GL_TEXTURE_3D;
    // Layers of the target, each one written as a 2D image.
    GLint iLayers = 1;
    Ondo::Vector2i size;
    if (bLayered) {
        const Ondo::VectorT<int, 3> size3 = Ondo::OpenGL::GetImageSize3D(uiTarget);
        size = Ondo::Vector2i(size3[0], size3[1]);
        iLayers = size3[2];
        // Nothing to write; what reads the target next still waits for the
        // stores before it.
        if (iLayers <= 0) {
            MakeImageStoresVisible();
            return true;
        }
    } else {
        size = Ondo::OpenGL::GetImageSize2D(uiTarget);
    }
    ImageUnitFormat unit;
    bool bMade = false;
    const GLenum eTargetFormat =
        bLayered ? Ondo::OpenGL::GetInternalFormat3D(uiTarget) : Ondo::OpenGL::GetInternalFormat2D(uiTarget);
    const ComputeProgram& program = m_Programs.ForTarget(eTargetFormat, unit, bMade);
    // The shaders read the input with a sampler of the target's kind.
    RequireInputKind("Texture In", pInput, unit.m_eKind, unit);

    glUseProgram(program.m_uiName);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(pInput->GetTarget(), pInput->m_uiName);
    // An integer input is complete only with nearest filtering, which the
    // integer builds' texel fetches take from the pass's own sampler.
    if (unit.m_eKind != TexelKind::Float)
        glBindSampler(0, m_Programs.GetIntegerSampler());
    else if (m_eSampler != DefaultSampler::None)
        glBindSampler(0, pSampler ? *pSampler : m_uiDefaultSampler);
    glActiveTexture(GL_TEXTURE1);
    // The target's own format, not an RGBA8 view (which leaves float targets all zeros).
    glBindImageTexture(1, uiTarget, 0, GL_FALSE, 0, GL_WRITE_ONLY, unit.m_eFormat);
    if (fnUniforms) fnUniforms(program, size);
    for (GLint iLayer = 0; iLayer < iLayers; ++iLayer) {
        if (bLayered) {
            glBindImageTexture(1, uiTarget, 0, GL_FALSE, iLayer, GL_WRITE_ONLY, unit.m_eFormat);
            if (fnLayer) fnLayer(program, iLayer);
        }
        glDispatchCompute(GroupCount16(size.x()), GroupCount16(size.y()), 1);
    }
    glUseProgram(0);
    MakeImageStoresVisible();
    return true;
}

} // namespace Prismvale
