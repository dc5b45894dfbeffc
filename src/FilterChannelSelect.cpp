#include "src/FilterChannelSelect.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Textures.h"

#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterChannelSelect> s_Registration("OpenGL.Texture.ChannelSelection",
                                                             "src\\FilterChannelSelect",
                                                             "Selectively copy only data from specific channel",
                                                             "OpenGL;Channel;PostProcess;");

// Everything up to the lines that set vCol. The pragma makes the port hooker
// offer the sampler InColor as the input "Color In", on texture unit 0; the
// target is bound to image unit 1, OutColor's binding. (That is the unit
// after the hooker's, except where the shader reads no input and the hooker
// hooks nothing to it.)
const char* const s_szHeader = "#version 430 core\n"
                               "#extension GL_ARB_compute_shader : require\n"
                               "#extension GL_ARB_shader_storage_buffer_object : require\n"
                               "// Tiling Settings\n"
                               "#define TILE_WIDTH 16\n"
                               "#define TILE_HEIGHT 16\n"
                               "// Port hooks\n"
                               "#pragma ONDO_PORT_UNIFORM(InColor,\"Color In\");\n"
                               "layout( local_size_x = TILE_WIDTH, local_size_y = TILE_HEIGHT ) in;\n"
                               "// in/out textures\n"
                               "layout(binding = 0) uniform sampler2D InColor;\n"
                               "layout(binding = 1) writeonly uniform image2D OutColor;\n"
                               "ivec2 GetSamplePos()\n"
                               "{\n"
                               "\tivec2 tile_xy   = ivec2( gl_WorkGroupID );\n"
                               "\tivec2 thread_xy = ivec2( gl_LocalInvocationID );\n"
                               "\tivec2 tileSize  = ivec2( TILE_WIDTH, TILE_HEIGHT );\n"
                               "\treturn ( tile_xy * tileSize + thread_xy );\n"
                               "}\n"
                               "void main()\n"
                               "{\n"
                               "\tconst ivec2 uv = GetSamplePos();\n"
                               "\tvec4 vColOrg = texelFetch( InColor, uv, 0 );\n"
                               " vec4 vCol = vec4( 0 );\n";

// Invocations beyond the target store nothing: image stores outside the
// image are ignored.
const char* const s_szClosing = "\timageStore( OutColor, uv, vCol );\n"
                                "}\n";
} // namespace

std::string ChannelSelectionShaderText(const std::string& strBody) { return s_szHeader + strBody + s_szClosing; }

bool RunChannelSelection(Ondo::OpenGL::BaseFilter& filter, HookedComputePass& pass,
                         Ondo::OpenGL::TextureObject2D* pTarget)
{
    if (!pTarget) return pass.Run(pTarget); // which reports the missing target
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    const auto hInput = filter.FindPort("Color In", false);
    const TexturePort* pInputPort = hInput.IsNone() ? nullptr : dynamic_cast<TexturePort*>(hInput.Get());
    const Ondo::OpenGL::TextureObject2D* pInput = pInputPort ? pInputPort->GetData() : nullptr;
    if (!pInput || pInput->m_uiName == 0) {
        ReportMissingTexture(filter, "Color In");
        return false;
    }
    if (pTarget->m_uiName != 0) {
        const Ondo::Vector2i input = Ondo::OpenGL::GetImageSize2D(pInput->m_uiName);
        const Ondo::Vector2i target = Ondo::OpenGL::GetImageSize2D(pTarget->m_uiName);
        if (input.x() < target.x() || input.y() < target.y())
            throw std::runtime_error(
                "\"Color In\" is " + std::to_string(input.x()) + " x " + std::to_string(input.y()) +
                " texels, smaller than the " + std::to_string(target.x()) + " x " + std::to_string(target.y()) +
                " \"Target Texture\": each texel is fetched where it is written, so the texels beyond the input "
                "would be undefined. Give it a target no larger than the input.");
    }
    return pass.Run(pTarget);
}

FilterChannelSelect::FilterChannelSelect(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, std::wstring(), HookedComputePass::TargetUnit::One, {}, TargetKinds::FloatOnly)
{
}

std::string FilterChannelSelect::ShaderText(const std::array<bool, 4>& keep)
{
    static const char* const s_szCopies[4] = {"vCol.x = vColOrg.x;\n", "vCol.y = vColOrg.y;\n",
                                              "vCol.z = vColOrg.z;\n", "vCol.w = vColOrg.w;\n"};
    std::string strBody;
    for (std::size_t c = 0; c < keep.size(); ++c)
        if (keep[c]) strBody += s_szCopies[c];
    return ChannelSelectionShaderText(strBody);
}

void FilterChannelSelect::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Output", false});
}

// Values read take effect at the next build, not at once: reading asks for
// no rebuild.
void FilterChannelSelect::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    for (std::size_t c = 0; c < m_abKeepChannel.size(); ++c)
        serializer.Serialize("bKeepChannel_" + std::to_string(c), m_abKeepChannel[c]);
}

void FilterChannelSelect::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    static const char* const s_szLabels[4] = {"Keep R", "Keep G", "Keep B", "Keep A"};
    for (std::size_t c = 0; c < m_abKeepChannel.size(); ++c)
        instrumenter.AddBool(s_szLabels[c], &m_abKeepChannel[c], [this] { m_bRebuild = true; });
}

void FilterChannelSelect::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { Rebuild(); }

void FilterChannelSelect::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterChannelSelect::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    if (m_bRebuild) Rebuild();
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    if (RunChannelSelection(*this, m_Pass, pTarget)) hTextureOut->SetData(pTarget, true);
}

// With no channel kept the shader reads nothing, and the compiler drops the
// input "Color In"; its port is then made from the text that keeps every
// channel, so that it and its connection stay.
void FilterChannelSelect::Rebuild()
{
    const bool bReads = m_abKeepChannel[0] || m_abKeepChannel[1] || m_abKeepChannel[2] || m_abKeepChannel[3];
    m_Pass.BuildFromMemory(ShaderText(m_abKeepChannel), bReads ? std::string() : ShaderText({true, true, true, true}));
    m_bRebuild = false;
}

} // namespace Prismvale
