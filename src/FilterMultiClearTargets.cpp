#include "src/FilterMultiClearTargets.h"

#include "frame/DescriptorList.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/ShaderCompiler.h"

#include <algorithm>
#include <array>
#include <functional>
#include <stdexcept>
#include <vector>

namespace Prismvale {

namespace {
const FilterRegistration<FilterMultiClearTargets> s_Registration("OpenGL.Texture.MultiClear",
                                                                 "src\\FilterMultiClearTargets",
                                                                 "For clearing several textures",
                                                                 "OpenGL;Texture;Clear");

const Ondo::Vector4f DefaultClearColor(0.0f, 0.0f, 0.0f, 1.0f);
constexpr float DefaultClearDepth = 1.0f;

constexpr std::array<GLenum, 16> DrawBuffers = {
    GL_COLOR_ATTACHMENT0,  GL_COLOR_ATTACHMENT1,  GL_COLOR_ATTACHMENT2,  GL_COLOR_ATTACHMENT3,
    GL_COLOR_ATTACHMENT4,  GL_COLOR_ATTACHMENT5,  GL_COLOR_ATTACHMENT6,  GL_COLOR_ATTACHMENT7,
    GL_COLOR_ATTACHMENT8,  GL_COLOR_ATTACHMENT9,  GL_COLOR_ATTACHMENT10, GL_COLOR_ATTACHMENT11,
    GL_COLOR_ATTACHMENT12, GL_COLOR_ATTACHMENT13, GL_COLOR_ATTACHMENT14, GL_COLOR_ATTACHMENT15};

// Where a target goes in the framebuffer: depth formats at the depth
// attachment, depth-stencil formats nowhere (they are not cleared), every
// other format at the next colour attachment.
enum class Attachment { Colour, Depth, None };

Attachment AttachmentOf(GLint iFormat)
{
    switch (iFormat) {
    case GL_DEPTH_COMPONENT16:
    case GL_DEPTH_COMPONENT24:
    case GL_DEPTH_COMPONENT32:
    case GL_DEPTH_COMPONENT32F: return Attachment::Depth;
    case GL_DEPTH24_STENCIL8:
    case GL_DEPTH32F_STENCIL8: return Attachment::None;
    default: return Attachment::Colour;
    }
}

struct Target {
    GLuint m_uiName;
    Attachment m_eAttachment;
};

// Attaches the targets in order, or detaches them (name 0); colour targets
// take consecutive colour attachments from 0. When several depth targets are
// given each replaces the one before, so only the last one is cleared.
void SetAttachments(const std::vector<Target>& targets, bool bAttach)
{
    GLenum eColour = GL_COLOR_ATTACHMENT0;
    for (const Target& target : targets) {
        const GLuint uiName = bAttach ? target.m_uiName : 0;
        if (target.m_eAttachment == Attachment::Depth)
            glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, uiName, 0);
        else if (target.m_eAttachment == Attachment::Colour)
            glFramebufferTexture(GL_FRAMEBUFFER, eColour++, uiName, 0);
    }
}

// How many colour targets one clear can take: the draw-buffer list, the
// context's draw buffers and its colour attachments, whichever is fewest.
GLsizei ColourTargetLimit()
{
    GLint iDrawBuffers = 0, iAttachments = 0;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &iDrawBuffers);
    glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &iAttachments);
    return std::min({static_cast<GLsizei>(DrawBuffers.size()), iDrawBuffers, iAttachments});
}
} // namespace

FilterMultiClearTargets::FilterMultiClearTargets(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterMultiClearTargets::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hInClearColor, {PortType::Input, "ClearColor", true});
    CreatePort(hInClearDepth, {PortType::Input, "ClearDepth", true});
    RebuildPorts();
}

void FilterMultiClearTargets::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hInClearColor", hInClearColor);
    serializer.Serialize("hInClearDepth", hInClearDepth);
    SerializeCount(serializer, "sNumOfTargets", m_iNumOfTargets, MaxTargets);
    m_DynamicPortsIn.Serialize(serializer, "DynamicPortsIn", "PortHandle");
    m_DynamicPortsOut.Serialize(serializer, "DynamicPortsOut", "PortHandle");
    if (!serializer.IsReader()) return;
    RebuildPorts();
}

void FilterMultiClearTargets::Instrument(Ondo::Instrumenter& instrumenter)
{
    instrumenter.AddIntRange("Number of Targets", &m_iNumOfTargets, 1, MaxTargets, 1,
                             std::bind(&FilterMultiClearTargets::RebuildPorts, this));
}

void FilterMultiClearTargets::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    glGenFramebuffers(1, &m_uiFBO);
}

void FilterMultiClearTargets::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    if (m_uiFBO == 0) return;
    glDeleteFramebuffers(1, &m_uiFBO);
    m_uiFBO = 0;
}

void FilterMultiClearTargets::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    if (m_DynamicPortsIn.GetCount() > 0) ClearTargets();
    for (std::size_t i = 0; i < m_DynamicPortsIn.GetCount() && i < m_DynamicPortsOut.GetCount(); ++i)
        m_DynamicPortsOut[i]->SetData(m_DynamicPortsIn[i]->GetData(), true);
}

// Inputs and outputs alternate, so that target i's input and output are
// next to each other: input 0, output 0, input 1, output 1, ...
void FilterMultiClearTargets::RebuildPorts()
{
    m_DynamicPortsIn.RemoveAll(*this);
    m_DynamicPortsOut.RemoveAll(*this);
    for (int i = 0; i < m_iNumOfTargets; ++i) {
        m_DynamicPortsIn.Add(*this, {Ondo::FlowGraph::PortType::Input, "Target" + std::to_string(i), false});
        m_DynamicPortsOut.Add(*this, {Ondo::FlowGraph::PortType::Output, "Clear Target" + std::to_string(i), false});
    }
}

void FilterMultiClearTargets::ClearTargets()
{
    const Ondo::Vector4f* pColour = hInClearColor->GetData();
    const float* pDepth = hInClearDepth->GetData();
    const Ondo::Vector4f colour = pColour ? *pColour : DefaultClearColor;
    const float fDepth = pDepth ? *pDepth : DefaultClearDepth;

    // Every format is read before anything is attached, so that a set of
    // targets the framebuffer cannot take is refused without a GL error.
    std::vector<Target> targets;
    GLsizei iColourTargets = 0;
    for (std::size_t i = 0; i < m_DynamicPortsIn.GetCount(); ++i) {
        const Ondo::OpenGL::TextureObject2D* pTexture = m_DynamicPortsIn[i]->GetData();
        // A target without a texture is left alone and passed on as it came;
        // the run is told, since what follows expects a cleared target.
        if (!pTexture || pTexture->m_uiName == 0) {
            GetCore().ReportError("\"" + m_DynamicPortsIn[i]->GetLabel() + "\" carries no texture; it was not cleared");
            continue;
        }
        GLint iFormat = 0;
        glBindTexture(GL_TEXTURE_2D, pTexture->m_uiName);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &iFormat);
        glBindTexture(GL_TEXTURE_2D, 0);
        targets.push_back({pTexture->m_uiName, AttachmentOf(iFormat)});
        if (targets.back().m_eAttachment == Attachment::Colour) ++iColourTargets;
    }
    const GLsizei iLimit = ColourTargetLimit();
    if (iColourTargets > iLimit)
        throw std::runtime_error(std::to_string(iColourTargets) +
                                 " colour targets cannot be cleared at once; this context draws to at most " +
                                 std::to_string(iLimit) + " (GL_MAX_DRAW_BUFFERS)");
    // Only depth-stencil targets, or none with a texture: nothing to clear,
    // and a framebuffer without attachments would be incomplete.
    if (std::none_of(targets.begin(), targets.end(),
                     [](const Target& target) { return target.m_eAttachment != Attachment::None; }))
        return;

    glBindFramebuffer(GL_FRAMEBUFFER, m_uiFBO);
    SetAttachments(targets, true);
    glDrawBuffers(iColourTargets, DrawBuffers.data());
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
    glClearDepth(fDepth);
    // An incomplete framebuffer (mixed sizes, a format it cannot render to)
    // is left without attachments and unbound before the error is raised.
    if (!Ondo::OpenGL::CheckFrameBufferStatus(m_uiFBO, nullptr)) {
        SetAttachments(targets, false);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        throw std::runtime_error("OpenGL::CheckFrameBufferStatus( m_uiFBO, nullptr )");
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SetAttachments(targets, false);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

} // namespace Prismvale
