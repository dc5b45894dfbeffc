#include "src/FilterTextureChannelSelectToGreyscale.h"

#include "frame/DescriptorList.h"
#include "src/FilterChannelSelect.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"

#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterTextureChannelSelectToGreyscale>
    s_Registration("OpenGL.Texture.ChannelSelectionToGreyscale", "src\\FilterTextureChannelSelectToGreyscale",
                   "Selectively copy only data from one specific channel to all others",
                   "OpenGL;Channel;PostProcess;");
} // namespace

FilterTextureChannelSelectToGreyscale::FilterTextureChannelSelectToGreyscale(Ondo::Core& core,
                                                                             const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, std::wstring(), HookedComputePass::TargetUnit::One, {}, TargetKinds::FloatOnly)
{
}

std::string FilterTextureChannelSelectToGreyscale::ShaderText(int iChannel, bool bCopyToW)
{
    if (iChannel < 0 || iChannel > 3) throw std::runtime_error("Invalid");
    const std::string strChannel = std::string("vColOrg.") + "xyzw"[iChannel];
    return ChannelSelectionShaderText(bCopyToW ? "vCol = vec4( " + strChannel + " );\n"
                                               : "vCol = vec4( vec3( " + strChannel + " ), 1.0 );\n");
}

void FilterTextureChannelSelectToGreyscale::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Output", false});
}

// Values read take effect at the next build, not at once: reading asks for
// no rebuild.
void FilterTextureChannelSelectToGreyscale::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("m_bCopyToW", m_bCopyToW);
    serializer.Serialize("m_iChannel", m_iChannel);
}

void FilterTextureChannelSelectToGreyscale::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    instrumenter.AddChoice("Channel", {"R", "G", "B", "A"}, m_iChannel, [this](int iChosen) {
        m_iChannel = iChosen;
        m_bRebuild = true;
    });
    instrumenter.AddBool("Copy to w-component", &m_bCopyToW, [this] { m_bRebuild = true; });
}

void FilterTextureChannelSelectToGreyscale::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    Rebuild();
}

void FilterTextureChannelSelectToGreyscale::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
}

void FilterTextureChannelSelectToGreyscale::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    if (m_bRebuild) Rebuild();
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (RunChannelSelection(*this, m_Pass, pTarget)) hTextureOut->SetData(pTarget, true);
}

// The old program goes before the text is written, so a channel out of range
// leaves no program behind, and the flag stays set: every later pass refuses
// again until the channel is chosen anew.
void FilterTextureChannelSelectToGreyscale::Rebuild()
{
    m_Pass.Release();
    m_Pass.BuildFromMemory(ShaderText(m_iChannel, m_bCopyToW));
    m_bRebuild = false;
}

} // namespace Prismvale
