#include "src/FilterTextureSize3D.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/OpenGL/Textures.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureSize3D> s_Registration("OpenGL.Texture3D.Size", "src\\FilterTextureSize3D",
                                                             "For retrieving the size of an OpenGL 3D texture",
                                                             "OpenGL;Texture;Texture3D;Size");

// Points the output at the value; marks it changed when the value differs
// from the one before, and keeps a flag already set in this frame.
void Publish(Ondo::FlowGraph::SimplePortT<int>& port, int& iMember, int iValue)
{
    const bool bChanged = iValue != iMember;
    iMember = iValue;
    port.SetData(&iMember, port.HasChanged() || bChanged);
}
} // namespace

FilterTextureSize3D::FilterTextureSize3D(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterTextureSize3D::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hInTex, {PortType::Input, "Texture", false});
    CreatePort(hInTarget, {PortType::Output, "Width", false});
    CreatePort(hOutTex, {PortType::Output, "Height", false});
    CreatePort(hDepthOut, {PortType::Output, "Depth", false});
}

void FilterTextureSize3D::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hInTex", hInTex);
    serializer.Serialize("hInTarget", hInTarget);
    serializer.Serialize("hOutTex", hOutTex);
    serializer.Serialize("hDepthOut", hDepthOut);
}

// A connected input without a texture leaves the outputs as they are.
void FilterTextureSize3D::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const Ondo::OpenGL::TextureObject3D* pTexture = hInTex->GetData();
    if (!pTexture) return;
    const Ondo::VectorT<int, 3> size = Ondo::OpenGL::GetImageSize3D(pTexture->m_uiName);
    Publish(*hInTarget, m_iWidth, size[0]);
    Publish(*hOutTex, m_iHeight, size[1]);
    Publish(*hDepthOut, m_iDepth, size[2]);
}

} // namespace Prismvale
