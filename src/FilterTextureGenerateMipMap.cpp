#include "src/FilterTextureGenerateMipMap.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureGenerateMipMap> s_Registration("OpenGL.Texture.GenerateMipMap",
                                                                     "src\\FilterTextureGenerateMipMap",
                                                                     "For explicit mipmap generation",
                                                                     "OpenGL;Texture;MipMap");
} // namespace

FilterTextureGenerateMipMap::FilterTextureGenerateMipMap(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterTextureGenerateMipMap::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "MipMapped", false});
}

void FilterTextureGenerateMipMap::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTextureOut", hTextureOut);
}

// The maximum level is raised first, so the whole chain is built whatever
// level limit the texture had. A connected input without a texture is skipped.
void FilterTextureGenerateMipMap::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTexture = hTextureIn->GetData();
    if (!pTexture) return;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, pTexture->m_uiName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
    glGenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    hTextureOut->SetData(pTexture, true);
}

} // namespace Prismvale
