#pragma once

// What the filter suites share: input patterns, target formats and what they
// store, a filter made outside a graph, the sampler on unit 0, texel
// comparison, a texel's colour, depth read back, nothing left bound, the
// check that an output carries the target, value feeds, refusals, matrices
// in text form, and settings written and read.

#include "support/FilterHarness.h"
#include "support/GLObjects.h"

#include "frame/PluginLoad.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace OndoTest {

// 19 x 13 texels leave partial 16 x 16 work groups on both axes.
constexpr int OddWidth = 19, OddHeight = 13;

// RGBA values in [fLow, fHigh], different in every channel of every texel.
inline std::vector<float> Pattern(int iWidth, int iHeight, unsigned int uiSeed, float fLow = 0.0f,
                                  float fHigh = 1.0f)
{
    std::vector<float> texels(static_cast<std::size_t>(iWidth * iHeight * 4));
    unsigned int uiState = uiSeed * 2654435761u + 1u;
    for (float& f : texels) {
        uiState = uiState * 1664525u + 1013904223u;
        f = fLow + (fHigh - fLow) * static_cast<float>(uiState >> 8) / 16777215.0f;
    }
    return texels;
}

// What an 8-bit normalised texel stores for f.
inline float Unorm8(float f) { return std::round(std::clamp(f, 0.0f, 1.0f) * 255.0f) / 255.0f; }

// A target format the filters write, and what reading it back gives for a
// value written to channel c: 8-bit normalised channels round and clamp,
// half floats keep about three decimal digits (NaN, unchecked, beyond their
// range), missing channels read as 0 (alpha as 1).
struct TargetFormat {
    GLenum eFormat;
    const char* szName;
    int iChannels;
    enum { Norm8, Half, Float32 } eStore;

    float Stored(int c, float f) const
    {
        if (c >= iChannels) return c == 3 ? 1.0f : 0.0f;
        if (eStore == Norm8) return Unorm8(f);
        return eStore == Half && std::fabs(f) > 65504.0f ? std::nanf("") : f;
    }
    // The tolerance of ExpectTexels for a computation exact to fTolerance.
    float Tolerance(float fTolerance) const
    {
        return eStore == Norm8 ? fTolerance + 1.0f / 255 : eStore == Half ? std::max(fTolerance, 1e-3f) : fTolerance;
    }
};

inline const std::vector<TargetFormat>& TargetFormats()
{
    static const std::vector<TargetFormat> formats = {
        {GL_RGBA8, "GL_RGBA8", 4, TargetFormat::Norm8}, {GL_RGBA16F, "GL_RGBA16F", 4, TargetFormat::Half},
        {GL_RGBA32F, "GL_RGBA32F", 4, TargetFormat::Float32}, {GL_R8, "GL_R8", 1, TargetFormat::Norm8},
        {GL_RG16F, "GL_RG16F", 2, TargetFormat::Half}};
    return formats;
}

// The sampler bound to texture unit 0.
inline GLuint SamplerOnUnit0()
{
    glActiveTexture(GL_TEXTURE0);
    GLint iSampler = 0;
    glGetIntegerv(GL_SAMPLER_BINDING, &iSampler);
    return static_cast<GLuint>(iSampler);
}

// A registered filter made and initialised outside a graph.
inline std::shared_ptr<Ondo::OpenGL::BaseFilter> MakeFilter(Ondo::Core& core, const std::string& strType,
                                                            const std::string& strName = "F")
{
    Prismvale::LoadIntoCore(core);
    const Ondo::FlowGraph::FilterDescriptor* pDescriptor =
        Ondo::FlowGraph::FilterRegistry::Get(core).FindFilter(strType);
    if (!pDescriptor) return nullptr;
    std::shared_ptr<Ondo::OpenGL::BaseFilter> pFilter(
        dynamic_cast<Ondo::OpenGL::BaseFilter*>(pDescriptor->m_fnFactory(core, strName)));
    pFilter->Initialize();
    return pFilter;
}

// Every channel of every texel within fTolerance * max(1, |expected|);
// expected NaNs are not checked.
inline void ExpectTexels(const std::vector<float>& result, const std::vector<float>& expected, float fTolerance,
                         int iWidth)
{
    ASSERT_EQ(result.size(), expected.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (std::isnan(expected[i])) continue;
        ASSERT_NEAR(result[i], expected[i], fTolerance * std::max(1.0f, std::fabs(expected[i])))
            << "texel " << (i / 4) % static_cast<std::size_t>(iWidth) << ","
            << (i / 4) / static_cast<std::size_t>(iWidth) << " channel " << i % 4;
    }
}

// The colour of texel i of RGBA floats.
inline Ondo::Vector3f Texel3(const std::vector<float>& rgba, std::size_t i)
{
    return {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]};
}

// Level 0 of a depth texture of iTexels texels, rows from the bottom.
inline std::vector<float> ReadDepth(const Ondo::OpenGL::TextureObject2D& depth, int iTexels)
{
    std::vector<float> values(static_cast<std::size_t>(iTexels));
    glGetTextureImage(depth.m_uiName, 0, GL_DEPTH_COMPONENT, GL_FLOAT, static_cast<GLsizei>(4 * values.size()),
                      values.data());
    return values;
}

// The text form of a matrix input: sixteen numbers, row by row.
inline std::string MatrixText(const Ondo::Matrix44f& m)
{
    std::ostringstream text;
    text.precision(9);
    for (std::size_t i = 0; i < 16; ++i) text << (i ? " " : "") << m(i / 4, i % 4);
    return text.str();
}

// A projection as glFrustum makes it: off-centre when l != -r or b != -t.
inline Ondo::Matrix44f Frustum(float l, float r, float b, float t, float n, float f)
{
    return Ondo::Matrix44f::FromRows({2 * n / (r - l), 0, (r + l) / (r - l), 0, 0, 2 * n / (t - b), (t + b) / (t - b),
                                      0, 0, 0, -(f + n) / (f - n), -2 * f * n / (f - n), 0, 0, -1, 0});
}

// No framebuffer and no program bound: the state a run leaves, drawn or
// refused.
inline void ExpectNothingBound()
{
    GLint iFramebuffer = -1, iProgram = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &iFramebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &iProgram);
    EXPECT_EQ(std::make_pair(iFramebuffer, iProgram), std::make_pair(0, 0));
}

// The output carries the very target object, marked changed.
inline void ExpectOutputIsTarget(FilterHarness& harness, const std::string& strFilter, const std::string& strLabel,
                                 const Ondo::OpenGL::TextureObject2D& target)
{
    bool bChanged = false;
    EXPECT_EQ(harness.Output<Ondo::OpenGL::TextureObject2D>(strFilter, strLabel, &bChanged), &target);
    EXPECT_TRUE(bChanged) << strLabel;
}

// Publishes a value the test owns on its output "Value", nothing while the
// test gives none; marked changed in the first run and whenever the test sets
// m_bChanged again.
template <class T>
class ValueFeed : public Ondo::OpenGL::BaseFilter {
public:
    ValueFeed(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override { CreatePort(m_hOut, {Ondo::FlowGraph::PortType::Output, "Value", false}); }
    void Process(Ondo::FlowGraph::ScopeExecuter&) override
    {
        m_hOut->SetData(m_Value ? &*m_Value : nullptr, m_bChanged);
        m_bChanged = false;
    }
    // Makes the core build feeds of this kind as strType.
    static void Register(Ondo::Core& core, const std::string& strType)
    {
        Ondo::FlowGraph::FilterRegistry::Get(core).RegisterFilter(
            {strType, "", "", "", [](Ondo::Core& c, const std::string& strName) -> Ondo::FlowGraph::Filter* {
                 return new ValueFeed(c, strName);
             }});
    }

    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<T>> m_hOut;
    std::optional<T> m_Value;
    bool m_bChanged = true;
};

// A feed of a registered ValueFeed type, named strName and connected to an
// input of strFilter, holding a default-made value.
template <class T>
ValueFeed<T>& FeedValue(FilterHarness& harness, const std::string& strType, const std::string& strName,
                        const std::string& strFilter, const std::string& strInput)
{
    auto& feed = dynamic_cast<ValueFeed<T>&>(harness.Add(strType, strName));
    harness.Connect(strName, "Value", strFilter, strInput);
    feed.m_Value.emplace();
    return feed;
}

// A refusal names the filter and says why, before anything was bound.
inline void ExpectRefusal(const std::string& strError, const std::string& strFilter, const std::string& strMessage)
{
    EXPECT_NE(strError.find(strFilter), std::string::npos) << "the filter is named: " << strError;
    EXPECT_NE(strError.find(strMessage), std::string::npos) << strError;
    ExpectNothingBound();
}

// What fn threw, or strNone when it returned.
inline std::string ErrorOf(const std::function<void()>& fn, const std::string& strNone = {})
{
    try {
        fn();
    } catch (const std::exception& error) {
        return error.what();
    }
    return strNone;
}

// The item's settings written under a new "Filter" root of the document (the
// ports numbered in index order unless pInfo numbers them), or read from
// pRead when it is given; the root either way.
inline TiXmlElement* Settings(Ondo::FlowGraph::ScopeItem& item, TiXmlDocument& document,
                              TiXmlElement* pRead = nullptr, Ondo::FlowGraph::Serialization::SaveInfo* pInfo = nullptr)
{
    Ondo::FlowGraph::Serialization::SaveInfo info;
    for (const auto& hPort : item.GetPortHandles()) info.AddPort(hPort);
    TiXmlElement* pRoot = pRead ? pRead : document.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
    Ondo::FlowGraph::Serialization::Serializer serializer(pRead ? nullptr : &document, pRoot, pInfo ? pInfo : &info);
    item.Serialize(serializer);
    return pRoot;
}

// The names of the elements below root, in document order.
inline std::vector<std::string> Keys(const TiXmlElement& root)
{
    std::vector<std::string> keys;
    for (const TiXmlElement* pChild = root.FirstChildElement(); pChild; pChild = pChild->NextSiblingElement())
        keys.push_back(pChild->Value());
    return keys;
}

} // namespace OndoTest
