#include "src/FilterTextureSize.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureSize> s_Registration("OpenGL.Texture.Size", "src\\FilterTextureSize",
                                                           "For retrieving the size of an OpenGL texture",
                                                           "OpenGL;Texture;Size");
} // namespace

FilterTextureSize::FilterTextureSize(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterTextureSize::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hInTex, {PortType::Input, "Texture", false});
    CreatePort(hInTarget, {PortType::Output, "Width", false});
    CreatePort(hOutTex, {PortType::Output, "Height", false});
}

void FilterTextureSize::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hInTex", hInTex);
    serializer.Serialize("hInTarget", hInTarget);
    serializer.Serialize("hOutTex", hOutTex);
}

// A connected input without a texture leaves the outputs as they are. A change
// flag already set in this frame stays set.
void FilterTextureSize::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const Ondo::OpenGL::TextureObject2D* pTexture = hInTex->GetData();
    if (!pTexture) return;
    GLint iWidth = 0, iHeight = 0;
    glBindTexture(GL_TEXTURE_2D, pTexture->m_uiName);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &iWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &iHeight);
    glBindTexture(GL_TEXTURE_2D, 0);

    const bool bWidthChanged = iWidth != m_iWidth, bHeightChanged = iHeight != m_iHeight;
    m_iWidth = iWidth;
    m_iHeight = iHeight;
    hInTarget->SetData(&m_iWidth, hInTarget->HasChanged() || bWidthChanged);
    hOutTex->SetData(&m_iHeight, hOutTex->HasChanged() || bHeightChanged);
}

} // namespace Prismvale
