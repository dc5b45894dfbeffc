#include "src/FilterTextureFlipper.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureFlipper> s_Registration("OpenGL.Texture.Flipper", "src\\FilterTextureFlipper",
                                                              "For flipping between two textures",
                                                              "OpenGL;Texture;Flip");
} // namespace

FilterTextureFlipper::FilterTextureFlipper(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterTextureFlipper::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn0, {PortType::Input, "Texture0", false});
    CreatePort(hTextureIn1, {PortType::Input, "Texture1", false});
    CreatePort(hTextureOut, {PortType::Output, "Flipped", false});
}

void FilterTextureFlipper::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn0", hTextureIn0);
    serializer.Serialize("hTextureIn1", hTextureIn1);
    serializer.Serialize("hTextureOut", hTextureOut);
}

// Both inputs are resolved before the output, so an unbound output handle is
// reported only once both inputs resolved.
void FilterTextureFlipper::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTexture0 = hTextureIn0->GetData();
    Ondo::OpenGL::TextureObject2D* pTexture1 = hTextureIn1->GetData();
    hTextureOut->SetData(m_bFlip ? pTexture0 : pTexture1, true);
    m_bFlip = !m_bFlip;
}

} // namespace Prismvale
