#include "frame/ComputePass.h"

#include "frame/ShaderPrograms.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/Port.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/ShaderCompiler.h"
#include "Ondo/OpenGL/Textures.h"

#include <stdexcept>

namespace Prismvale {

namespace {

// Builds a compute program from shader text, as BuildProgram does from files
// (shared between the filters that build the same text).
GLuint BuildProgramFromMemory(const std::string& strSource)
{
    return Ondo::OpenGL::AcquireProgramFromText({{GL_COMPUTE_SHADER, strSource}});
}

} // namespace

void ReportMissingTexture(const Ondo::OpenGL::BaseFilter& owner, const std::string& strLabel)
{
    if (Ondo::LoggerInterface* pLogger = owner.GetCore().GetLogger())
        pLogger->Log(owner.GetName() + ": \"" + strLabel + "\" carries no texture; the pass was skipped.\n");
}

void MakeImageStoresVisible()
{
    glMemoryBarrier(GL_SHADER_IMAGE_ACCESS_BARRIER_BIT | GL_TEXTURE_FETCH_BARRIER_BIT | GL_FRAMEBUFFER_BARRIER_BIT |
                    GL_TEXTURE_UPDATE_BARRIER_BIT | GL_PIXEL_BUFFER_BARRIER_BIT);
}

void RequireInputKind(const std::string& strLabel, const Ondo::OpenGL::TextureObject* pTexture, TexelKind eRead,
                      const ImageUnitFormat& target)
{
    if (!pTexture || pTexture->m_uiName == 0) return;
    const GLenum eFormat = pTexture->GetTarget() == GL_TEXTURE_3D
                               ? Ondo::OpenGL::GetInternalFormat3D(pTexture->m_uiName)
                               : Ondo::OpenGL::GetInternalFormat2D(pTexture->m_uiName);
    const TexelKind eKind = TexelKindOf(eFormat);
    if (eKind == eRead) return;
    throw std::runtime_error("\"" + strLabel + "\" is a " + FormatName(eFormat) + " texture of " +
                             TexelKindName(eKind) + " texels, but with a " + FormatName(target.m_eFormat) +
                             " \"Target Texture\" the filter reads it as " + TexelKindName(eRead) +
                             " texels. Give the inputs and the target the same kind of texels.");
}

ComputePrograms::ComputePrograms(std::wstring strShader, std::vector<std::string> uniformNames, TargetKinds eKinds)
    : m_strPath(std::move(strShader)), m_UniformNames(std::move(uniformNames)), m_eKinds(eKinds)
{
}

const ComputeProgram& ComputePrograms::Make(TexelKind eKind)
{
    ComputeProgram& program = m_Programs[static_cast<std::size_t>(eKind)];
    const std::string strDefine = eKind == TexelKind::Int    ? "#define TARGET_KIND_INT 1\n"
                                  : eKind == TexelKind::UInt ? "#define TARGET_KIND_UINT 1\n"
                                                             : "";
    if (m_strSource.empty())
        program.m_uiName = BuildProgram({{GL_COMPUTE_SHADER, ShaderPath(m_strPath)}},
                                        std::wstring(strDefine.begin(), strDefine.end()));
    else
        program.m_uiName = BuildProgramFromMemory(Ondo::OpenGL::InsertAfterVersion(m_strSource, strDefine));
    if (eKind != TexelKind::Float && m_uiIntegerSampler == 0) {
        glGenSamplers(1, &m_uiIntegerSampler);
        glSamplerParameteri(m_uiIntegerSampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glSamplerParameteri(m_uiIntegerSampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    program.m_Locations.clear();
    for (const std::string& strName : m_UniformNames)
        program.m_Locations.push_back(glGetUniformLocation(program.m_uiName, strName.c_str()));
    return program;
}

const ComputeProgram& ComputePrograms::Build() { return Make(TexelKind::Float); }

const ComputeProgram& ComputePrograms::ForTarget(GLenum eTargetFormat, ImageUnitFormat& unit, bool& bMade)
{
    unit = RequireImageUnitFormat(eTargetFormat, "Target Texture");
    if (unit.m_eKind != TexelKind::Float && m_eKinds == TargetKinds::FloatOnly)
        throw std::runtime_error("\"Target Texture\" is a " + FormatName(eTargetFormat) + " texture of " +
                                 TexelKindName(unit.m_eKind) +
                                 " texels, which this filter cannot compute: it works on float or normalised "
                                 "colours. Give it a target such as GL_RGBA8, GL_RGBA16F or GL_RGBA32F.");
    const ComputeProgram& program = m_Programs[static_cast<std::size_t>(unit.m_eKind)];
    bMade = program.m_uiName == 0;
    return bMade ? Make(unit.m_eKind) : program;
}

void ComputePrograms::Release(const std::function<void(GLuint)>& fnUnhook)
{
    for (ComputeProgram& program : m_Programs) {
        if (program.m_uiName == 0) continue;
        if (fnUnhook) fnUnhook(program.m_uiName);
        ReleaseProgram(program.m_uiName);
        program.m_uiName = 0;
    }
    if (m_uiIntegerSampler != 0) {
        glDeleteSamplers(1, &m_uiIntegerSampler);
        m_uiIntegerSampler = 0;
    }
}

HookedComputePass::HookedComputePass(Ondo::OpenGL::BaseFilter& owner, std::wstring strShader, TargetUnit eUnit,
                                     std::vector<std::string> uniformNames, TargetKinds eKinds)
    : m_Owner(owner), m_eUnit(eUnit), m_Programs(std::move(strShader), std::move(uniformNames), eKinds),
      m_ShaderHelper(owner)
{
}

void HookedComputePass::Build()
{
    const GLuint uiProgram = m_Programs.Build().m_uiName;
    m_ShaderHelper.RemoveAllShaderPorts();
    AddPorts(uiProgram);
}

void HookedComputePass::BuildFromMemory(std::string strSource, const std::string& strDeclaring)
{
    Release();
    m_Programs.SetSource(std::move(strSource));
    if (strDeclaring.empty()) {
        Build();
        return;
    }
    m_Programs.Build();
    m_ShaderHelper.RemoveAllShaderPorts();
    const GLuint uiDeclaring = BuildProgramFromMemory(strDeclaring);
    m_ShaderHelper.AddPortsFromShaderMemory(uiDeclaring, strDeclaring, std::wstring());
    m_ShaderHelper.RemoveHooks(uiDeclaring);
    ReleaseProgram(uiDeclaring);
}

void HookedComputePass::AddPorts(GLuint uiProgram)
{
    if (m_Programs.GetSource().empty())
        m_ShaderHelper.AddPortsFromShaderFile(uiProgram, ShaderPath(m_Programs.GetPath()), std::wstring());
    else
        m_ShaderHelper.AddPortsFromShaderMemory(uiProgram, m_Programs.GetSource(), std::wstring());
}

void HookedComputePass::Release()
{
    m_Programs.Release([this](GLuint uiProgram) { m_ShaderHelper.RemoveHooks(uiProgram); });
}

bool HookedComputePass::Run(Ondo::OpenGL::TextureObject2D* pTarget, const ProgramStep& fnAfterUse,
                            const ProgramStep& fnAfterBinding)
{
    if (!pTarget) {
        ReportMissingTexture(m_Owner, "Target Texture");
        return false;
    }
    const GLuint uiTarget = pTarget->m_uiName;
    ImageUnitFormat unit;
    bool bMade = false;
    const ComputeProgram& program = m_Programs.ForTarget(Ondo::OpenGL::GetInternalFormat2D(uiTarget), unit, bMade);
    // A build made for another kind of target feeds the ports the shader
    // declares, which exist already: the hooker only hooks them to it.
    if (bMade) AddPorts(program.m_uiName);
    // The integer textures the program reads, by variable location.
    std::vector<GLint> integerInputs;
    for (const auto& hook : m_ShaderHelper.GetHooks()) {
        using Kind = Ondo::OpenGL::GLSLShaderPortHooker::Kind;
        if (hook.m_uiProgram != program.m_uiName || hook.m_pPort->m_eKind != Kind::Texture) continue;
        const TexelKind eRead = hook.m_eType == GL_INT_SAMPLER_2D            ? TexelKind::Int
                                : hook.m_eType == GL_UNSIGNED_INT_SAMPLER_2D ? TexelKind::UInt
                                                                             : TexelKind::Float;
        const auto* pPort = hook.m_pPort->m_hPort.IsNone()
                                ? nullptr
                                : dynamic_cast<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>*>(
                                      hook.m_pPort->m_hPort.Get());
        if (pPort) RequireInputKind(hook.m_pPort->m_strLabel, pPort->GetData(), eRead, unit);
        if (eRead != TexelKind::Float) integerInputs.push_back(hook.m_iLocation);
    }
    const Ondo::Vector2i size = Ondo::OpenGL::GetImageSize2D(uiTarget);

    glUseProgram(program.m_uiName);
    if (fnAfterUse) fnAfterUse(program);
    const int iNextUnit = m_ShaderHelper.UpdateUniformVariables(program.m_uiName, 0);
    // The hooker leaves its units without a sampler; integer inputs need one
    // that filters to the nearest texel (on the unit the hooker gave them).
    std::vector<GLuint> integerUnits;
    for (const GLint iLocation : integerInputs) {
        GLint iUnit = 0;
        glGetUniformiv(program.m_uiName, iLocation, &iUnit);
        integerUnits.push_back(static_cast<GLuint>(iUnit));
        glBindSampler(integerUnits.back(), m_Programs.GetIntegerSampler());
    }
    const GLuint uiUnit = m_eUnit == TargetUnit::Two    ? 2u
                          : m_eUnit == TargetUnit::One  ? 1u
                          : m_eUnit == TargetUnit::Five ? 5u
                                                        : static_cast<GLuint>(iNextUnit);
    glActiveTexture(GL_TEXTURE0 + uiUnit);
    glBindImageTexture(uiUnit, uiTarget, 0, GL_FALSE, 0, GL_WRITE_ONLY, unit.m_eFormat);
    if (fnAfterBinding) fnAfterBinding(program);
    glDispatchCompute(GroupCount16(size.x()), GroupCount16(size.y()), 1);
    glUseProgram(0);
    for (const GLuint uiIntegerUnit : integerUnits) glBindSampler(uiIntegerUnit, 0);
    MakeImageStoresVisible();
    m_ShaderHelper.SetOutputs();
    return true;
}

} // namespace Prismvale
