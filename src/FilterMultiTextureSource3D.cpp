#include "src/FilterMultiTextureSource3D.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Instrumenter.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterMultiTextureSource3D> s_Registration(
    "OpenGL.Texture.MultiSource3D", "src\\FilterMultiTextureSource3D",
    "Can be used to create several OpenGL 3D textures", "OpenGL;Texture");
} // namespace

FilterMultiTextureSource3D::FilterMultiTextureSource3D(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterMultiTextureSource3D::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hWidth, {PortType::Input, "Width", false});
    CreatePort(hHeight, {PortType::Input, "Height", false});
    CreatePort(hDepth, {PortType::Input, "Depth", false});
    RebuildPorts();
    m_bRebuild = true;
}

void FilterMultiTextureSource3D::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("NumberOfTextures", m_iNumberOfTextures);
    serializer.Serialize("Width", hWidth);
    serializer.Serialize("Height", hHeight);
    serializer.Serialize("Depth", hDepth);
    m_TextureTypes.Serialize(serializer, "TextureTypes");
    m_DynamicPorts.Serialize(serializer, "DynamicPorts", "Item");
    if (!serializer.IsReader()) return;
    m_iNumberOfTextures = ClampCount(m_iNumberOfTextures, MaxTextures);
    RebuildPorts();
    m_bRebuild = true;
}

void FilterMultiTextureSource3D::Instrument(Ondo::Instrumenter& instrumenter)
{
    const auto fnChanged = [this] { m_bRebuild = true; };
    instrumenter.AddIntRange("Number of Textures", &m_iNumberOfTextures, 1, MaxTextures, 1,
                             [this, &instrumenter, fnChanged] {
                                 RebuildPorts();
                                 m_bRebuild = true;
                                 m_TextureTypes.RebuildControls(instrumenter, m_DynamicPorts.GetCount(), fnChanged);
                             });
    m_TextureTypes.RebuildControls(instrumenter, m_DynamicPorts.GetCount(), fnChanged);
}

// The textures are made by the first Process; InitResources has nothing to do.
void FilterMultiTextureSource3D::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    for (TextureEntry& entry : m_Textures) entry.m_Texture.Release();
}

void FilterMultiTextureSource3D::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const bool bChanged = m_bRebuild || hHeight->HasChanged() || hWidth->HasChanged() || hDepth->HasChanged();
    if (bChanged) {
        RebuildTextures();
        m_bRebuild = false;
    }
    for (std::size_t i = 0; i < m_DynamicPorts.GetCount() && i < m_Textures.size(); ++i)
        m_DynamicPorts[i]->SetData(&m_Textures[i].m_Texture, bChanged);
}

void FilterMultiTextureSource3D::RebuildPorts()
{
    m_DynamicPorts.RebuildOutputs(*this, static_cast<std::size_t>(m_iNumberOfTextures));
    m_TextureTypes.Resize(m_DynamicPorts.GetCount());
}

void FilterMultiTextureSource3D::RebuildTextures()
{
    for (TextureEntry& entry : m_Textures) entry.m_Texture.Release();
    m_Textures.resize(m_DynamicPorts.GetCount());
    const int iWidth = ReadSize(*this, *hWidth), iHeight = ReadSize(*this, *hHeight), iDepth = ReadSize(*this, *hDepth);

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (std::size_t i = 0; i < m_Textures.size(); ++i) {
        const GLenum eFormat = m_TextureTypes.GetFormat(i);
        GLuint uiName = 0;
        glGenTextures(1, &uiName);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_3D, uiName);
        glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexStorage3D(GL_TEXTURE_3D, 1, eFormat, iWidth, iHeight, iDepth);
        m_Textures[i].m_Texture.m_uiName = uiName;
        m_Textures[i].m_eFormat = eFormat;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

} // namespace Prismvale
