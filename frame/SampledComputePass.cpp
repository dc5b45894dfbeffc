#include "frame/SampledComputePass.h"

#include "frame/ComputePass.h"
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
                                       TargetFormat eFormat)
    : m_Owner(owner), m_strShader(std::move(strShader)), m_UniformNames(std::move(uniformNames)),
      m_eSampler(eSampler), m_eFormat(eFormat), m_Locations(m_UniformNames.size(), -1)
{
}

void SampledComputePass::Build()
{
    m_uiProgram = BuildProgram({{GL_COMPUTE_SHADER, ShaderPath(m_strShader)}});
    for (std::size_t i = 0; i < m_UniformNames.size(); ++i)
        m_Locations[i] = glGetUniformLocation(m_uiProgram, m_UniformNames[i].c_str());
    switch (m_eSampler) {
    case DefaultSampler::Standard: m_uiDefaultSampler = Ondo::OpenGL::CreateDefaultSamplerState(); break;
    case DefaultSampler::RepeatMipmapped: m_uiDefaultSampler = CreateRepeatMipmappedSampler(); break;
    case DefaultSampler::None: break;
    }
}

void SampledComputePass::Release()
{
    if (m_uiProgram != 0) {
        glDeleteProgram(m_uiProgram);
        m_uiProgram = 0;
    }
    if (m_uiDefaultSampler != 0) {
        glDeleteSamplers(1, &m_uiDefaultSampler);
        m_uiDefaultSampler = 0;
    }
}

bool SampledComputePass::Run(const Ondo::OpenGL::TextureObject2D* pInput, const Ondo::OpenGL::TextureObject2D* pTarget,
                             const GLuint* pSampler, const std::function<void(const Ondo::Vector2i&)>& fnUniforms)
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
    const Ondo::Vector2i size = Ondo::OpenGL::GetImageSize2D(uiTarget);
    const GLenum eFormat = m_eFormat == TargetFormat::RGBA8 ? static_cast<GLenum>(GL_RGBA8)
                                                             : Ondo::OpenGL::GetInternalFormat2D(uiTarget);

    glUseProgram(m_uiProgram);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, pInput->m_uiName);
    if (m_eSampler != DefaultSampler::None) glBindSampler(0, pSampler ? *pSampler : m_uiDefaultSampler);
    glActiveTexture(GL_TEXTURE1);
    glBindImageTexture(1, uiTarget, 0, GL_FALSE, 0, GL_WRITE_ONLY, eFormat);
    if (fnUniforms) fnUniforms(size);
    glDispatchCompute(GroupCount16(size.x()), GroupCount16(size.y()), 1);
    glUseProgram(0);
    glMemoryBarrier(GL_SHADER_IMAGE_ACCESS_BARRIER_BIT);
    return true;
}

} // namespace Prismvale
