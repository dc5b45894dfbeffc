#include "src/FilterTextureAdd.h"

#include "frame/DescriptorList.h"
#include "frame/ShaderPrograms.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/Textures.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureAdd> s_Registration("OpenGL.Texture.Add", "src\\FilterTextureAdd",
                                                          "For adding two textures", "OpenGL;Texture;Add");
const wchar_t* const s_szShader = L"TextureAdd/TextureAdd.comp";
} // namespace

FilterTextureAdd::FilterTextureAdd(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName), m_ShaderHelper(*this)
{
}

void FilterTextureAdd::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Sum", false});
}

void FilterTextureAdd::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_ShaderHelper.Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterTextureAdd::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    const std::wstring strPath = ShaderPath(s_szShader);
    m_uiProgram = BuildProgram({{GL_COMPUTE_SHADER, strPath}});
    m_ShaderHelper.RemoveAllShaderPorts();
    m_ShaderHelper.AddPortsFromShaderFile(m_uiProgram, strPath, std::wstring());
}

void FilterTextureAdd::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    if (m_uiProgram == 0) return;
    m_ShaderHelper.RemoveHooks(m_uiProgram);
    glDeleteProgram(m_uiProgram);
    m_uiProgram = 0;
}

void FilterTextureAdd::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (!pTarget) {
        if (Ondo::LoggerInterface* pLogger = GetCore().GetLogger())
            pLogger->Log(GetName() + ": \"Target Texture\" carries no texture; nothing was added.\n");
        return;
    }
    const Ondo::Vector2i size = Ondo::OpenGL::GetImageSize2D(pTarget->m_uiName);
    const GLenum eFormat = Ondo::OpenGL::GetInternalFormat2D(pTarget->m_uiName);

    glUseProgram(m_uiProgram);
    m_ShaderHelper.UpdateUniformVariables(m_uiProgram, 0);
    glActiveTexture(GL_TEXTURE2);
    glBindImageTexture(2, pTarget->m_uiName, 0, GL_FALSE, 0, GL_WRITE_ONLY, eFormat);
    glDispatchCompute(GroupCount16(size.x()), GroupCount16(size.y()), 1);
    glUseProgram(0);
    glMemoryBarrier(GL_SHADER_IMAGE_ACCESS_BARRIER_BIT);
    m_ShaderHelper.SetOutputs();
    hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
