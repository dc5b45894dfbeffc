#include "frame/ComputePass.h"

#include "frame/ShaderPrograms.h"

#include "Ondo/Core.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/Textures.h"

namespace Prismvale {

void ReportMissingTexture(const Ondo::OpenGL::BaseFilter& owner, const std::string& strLabel)
{
    if (Ondo::LoggerInterface* pLogger = owner.GetCore().GetLogger())
        pLogger->Log(owner.GetName() + ": \"" + strLabel + "\" carries no texture; the pass was skipped.\n");
}

HookedComputePass::HookedComputePass(Ondo::OpenGL::BaseFilter& owner, std::wstring strShader, TargetUnit eUnit,
                                     TargetFormat eFormat)
    : m_Owner(owner), m_strShader(std::move(strShader)), m_eUnit(eUnit), m_eFormat(eFormat), m_ShaderHelper(owner)
{
}

void HookedComputePass::Build()
{
    const std::wstring strPath = ShaderPath(m_strShader);
    m_uiProgram = BuildProgram({{GL_COMPUTE_SHADER, strPath}});
    m_ShaderHelper.RemoveAllShaderPorts();
    m_ShaderHelper.AddPortsFromShaderFile(m_uiProgram, strPath, std::wstring());
}

void HookedComputePass::Release()
{
    if (m_uiProgram == 0) return;
    m_ShaderHelper.RemoveHooks(m_uiProgram);
    glDeleteProgram(m_uiProgram);
    m_uiProgram = 0;
}

bool HookedComputePass::Run(Ondo::OpenGL::TextureObject2D* pTarget, const std::function<void()>& fnAfterUse,
                            const std::function<void()>& fnAfterBinding)
{
    if (!pTarget) {
        ReportMissingTexture(m_Owner, "Target Texture");
        return false;
    }
    const GLuint uiTarget = pTarget->m_uiName;
    const Ondo::Vector2i size = Ondo::OpenGL::GetImageSize2D(uiTarget);
    const GLenum eFormat =
        m_eFormat == TargetFormat::RGBA8 ? static_cast<GLenum>(GL_RGBA8) : Ondo::OpenGL::GetInternalFormat2D(uiTarget);

    glUseProgram(m_uiProgram);
    if (fnAfterUse) fnAfterUse();
    const int iNextUnit = m_ShaderHelper.UpdateUniformVariables(m_uiProgram, 0);
    const GLuint uiUnit = m_eUnit == TargetUnit::Two ? 2u : static_cast<GLuint>(iNextUnit);
    glActiveTexture(GL_TEXTURE0 + uiUnit);
    glBindImageTexture(uiUnit, uiTarget, 0, GL_FALSE, 0, GL_WRITE_ONLY, eFormat);
    if (fnAfterBinding) fnAfterBinding();
    glDispatchCompute(GroupCount16(size.x()), GroupCount16(size.y()), 1);
    glUseProgram(0);
    glMemoryBarrier(GL_SHADER_IMAGE_ACCESS_BARRIER_BIT);
    m_ShaderHelper.SetOutputs();
    return true;
}

} // namespace Prismvale
