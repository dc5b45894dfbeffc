#pragma once

// What the compute-filter suites share: input patterns, target formats and
// what they store, a filter made outside a graph, the sampler on unit 0,
// texel comparison and the check that an output carries the target.

#include "support/FilterHarness.h"
#include "support/GLObjects.h"

#include "frame/PluginLoad.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
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

// The output carries the very target object, marked changed.
inline void ExpectOutputIsTarget(FilterHarness& harness, const std::string& strFilter, const std::string& strLabel,
                                 const Ondo::OpenGL::TextureObject2D& target)
{
    bool bChanged = false;
    EXPECT_EQ(harness.Output<Ondo::OpenGL::TextureObject2D>(strFilter, strLabel, &bChanged), &target);
    EXPECT_TRUE(bChanged) << strLabel;
}

} // namespace OndoTest
