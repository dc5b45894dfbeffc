#include "src/FilterConstSamplerState.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"

#include <string>
#include <utility>
#include <vector>

namespace Prismvale {

namespace {
const FilterRegistration<FilterConstSamplerState> s_Registration("OpenGL.ConstSamplerState",
                                                                 "src\\FilterConstSamplerState",
                                                                 "An OpenGL Sampler State Object",
                                                                 "OpenGL;Texture;Sampler;SamplerState");

// The enumerants the editor offers, with their GL names, in the order of the
// choice lists.
using EnumTable = std::vector<std::pair<GLenum, std::string>>;

const EnumTable s_WrapModes = {{GL_CLAMP_TO_EDGE, "GL_CLAMP_TO_EDGE"},
                               {GL_MIRRORED_REPEAT, "GL_MIRRORED_REPEAT"},
                               {GL_REPEAT, "GL_REPEAT"},
                               {GL_MIRROR_CLAMP_TO_EDGE, "GL_MIRROR_CLAMP_TO_EDGE"},
                               {GL_CLAMP_TO_BORDER, "GL_CLAMP_TO_BORDER"}};

const EnumTable s_MinFilters = {{GL_NEAREST, "GL_NEAREST"},
                                {GL_LINEAR, "GL_LINEAR"},
                                {GL_NEAREST_MIPMAP_NEAREST, "GL_NEAREST_MIPMAP_NEAREST"},
                                {GL_LINEAR_MIPMAP_NEAREST, "GL_LINEAR_MIPMAP_NEAREST"},
                                {GL_NEAREST_MIPMAP_LINEAR, "GL_NEAREST_MIPMAP_LINEAR"},
                                {GL_LINEAR_MIPMAP_LINEAR, "GL_LINEAR_MIPMAP_LINEAR"}};

const EnumTable s_MagFilters = {{GL_NEAREST, "GL_NEAREST"}, {GL_LINEAR, "GL_LINEAR"}};

// Adds a choice list over a table. The selected item is the first entry
// holding the member's value, or one past the last (no item) when the value
// is none of the table's. The callback keeps its own copy of the values.
void AddEnumChoice(Ondo::Instrumenter& instrumenter, const std::string& strLabel, const EnumTable& table,
                   GLint& eMember, bool& bDirty)
{
    std::vector<std::string> names;
    std::vector<GLenum> values;
    for (const auto& [eValue, strName] : table) {
        names.push_back(strName);
        values.push_back(eValue);
    }
    int iSelected = 0;
    while (iSelected < static_cast<int>(values.size()) &&
           static_cast<GLint>(values[static_cast<std::size_t>(iSelected)]) != eMember)
        ++iSelected;
    GLint* pMember = &eMember;
    bool* pDirty = &bDirty;
    instrumenter.AddChoice(strLabel, names, iSelected, [values, pMember, pDirty](int iIndex) {
        if (iIndex < 0 || iIndex >= static_cast<int>(values.size())) return;
        *pMember = static_cast<GLint>(values[static_cast<std::size_t>(iIndex)]);
        *pDirty = true;
    });
}
} // namespace

FilterConstSamplerState::FilterConstSamplerState(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterConstSamplerState::CreatePorts()
{
    CreatePort(hOutSamplerState, {Ondo::FlowGraph::PortType::Output, "SamplerState", false});
}

// Reading leaves the dirty flag alone: settings read later take effect at the
// next InitResources or after the next choice in the editor.
void FilterConstSamplerState::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("hOutSamplerState", hOutSamplerState);
    serializer.Serialize("WrapS", m_eWrapS);
    serializer.Serialize("WrapT", m_eWrapT);
    serializer.Serialize("WrapR", m_eWrapR);
    serializer.Serialize("MinFilter", m_eMinFilter);
    serializer.Serialize("MagFilter", m_eMagFilter);
    serializer.Serialize("MinLod", m_fMinLod);
    serializer.Serialize("MaxLod", m_fMaxLod);
    serializer.Serialize("LODBias", m_fLodBias);
}

// The level-of-detail settings have no control; they live in the settings only.
void FilterConstSamplerState::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    AddEnumChoice(instrumenter, "WrapS", s_WrapModes, m_eWrapS, m_bDirty);
    AddEnumChoice(instrumenter, "WrapT", s_WrapModes, m_eWrapT, m_bDirty);
    AddEnumChoice(instrumenter, "WrapR", s_WrapModes, m_eWrapR, m_bDirty);
    AddEnumChoice(instrumenter, "Min Filter", s_MinFilters, m_eMinFilter, m_bDirty);
    AddEnumChoice(instrumenter, "Mag Filter", s_MagFilters, m_eMagFilter, m_bDirty);
}

void FilterConstSamplerState::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { BuildSampler(); }

void FilterConstSamplerState::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    if (m_uiSampler == 0) return;
    glDeleteSamplers(1, &m_uiSampler);
    m_uiSampler = 0;
}

// The sampler is published on every run; it counts as changed only on the run
// that rebuilt it.
void FilterConstSamplerState::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const bool bRebuilt = m_bDirty;
    if (m_bDirty) {
        BuildSampler();
        m_bDirty = false;
    }
    hOutSamplerState->SetData(&m_uiSampler, bRebuilt);
}

// A rebuild makes the new sampler before it deletes the old one. GL may hand
// a freed name out again at once; this way a rebuilt sampler always has a new
// name, so consumers that compare names see a different object.
void FilterConstSamplerState::BuildSampler()
{
    const GLuint uiOld = m_uiSampler;
    glGenSamplers(1, &m_uiSampler);
    if (uiOld != 0) glDeleteSamplers(1, &uiOld);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_WRAP_S, m_eWrapS);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_WRAP_T, m_eWrapT);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_WRAP_R, m_eWrapR);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_MIN_FILTER, m_eMinFilter);
    glSamplerParameteri(m_uiSampler, GL_TEXTURE_MAG_FILTER, m_eMagFilter);
    glSamplerParameterf(m_uiSampler, GL_TEXTURE_MIN_LOD, m_fMinLod);
    glSamplerParameterf(m_uiSampler, GL_TEXTURE_MAX_LOD, m_fMaxLod);
    glSamplerParameterf(m_uiSampler, GL_TEXTURE_LOD_BIAS, m_fLodBias);
}

} // namespace Prismvale
