// The hooked compute filters whose only fixed input is their target (multiply,
// blend, negative, log luminance, red/cyan, SSAO_01): registration, pictures
// against CPU references, known ambient-occlusion answers, settings, release.

#include "support/FilterHarness.h"
#include "support/GLObjects.h"
#include "support/GLTestEnvironment.h"

#include "frame/PluginLoad.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;
using RGBA = std::array<float, 4>;

namespace {

struct Member {
    const char* szName;
    const char* szClass;
    const char* szDescription;
    const char* szKeywords;
    const char* szOutput;
    bool bNestedHooker;
};

const Member c_Members[] = {
    {"OpenGL.Texture.Multiply", "FilterTextureMultiply", "For multiplying two textures", "OpenGL;Texture;Multiply",
     "Sum", false},
    {"OpenGL.Texture.Blend", "FilterTextureBlend", "For blending between two textures", "OpenGL;Texture;Blend",
     "Blended Image", false},
    {"OpenGL.NegativeImage", "FilterNegativeImage", "Compute the negative image", "OpenGL;Texture;Negative;",
     "Negative Image", false},
    {"OpenGL.LogLuminance", "FilterLogLuminance", "Compute the log(Intensity) of an image",
     "OpenGL;Texture;Autoexposure;Log;", "Negative Image", false},
    {"OpenGL.MakeRedCyan", "FilterMakeRedCyan", "Combine two images to a red/cyan 3D anaglyph image",
     "OpenGL;Texture;3D;anaglyph;Stereo", "Red/Cyan", false},
    {"OpenGL.SSAO_01", "FilterSSAO_01", "SSAO Example (not done yet)", "OpenGL;SSAO;AO;Ambient Occlusion;",
     "Ambient Occlusion", true},
};

std::shared_ptr<Ondo::OpenGL::BaseFilter> MakeFilter(Ondo::Core& core, const std::string& strType)
{
    Prismvale::LoadIntoCore(core);
    const FilterDescriptor* pDescriptor = FilterRegistry::Get(core).FindFilter(strType);
    if (!pDescriptor) return nullptr;
    std::shared_ptr<Ondo::OpenGL::BaseFilter> pFilter(
        dynamic_cast<Ondo::OpenGL::BaseFilter*>(pDescriptor->m_fnFactory(core, "F")));
    pFilter->Initialize();
    return pFilter;
}

// Texels in [0, 1], different per seed, channel and position.
std::vector<float> Pattern(int iWidth, int iHeight, int iSeed)
{
    std::vector<float> texels(static_cast<std::size_t>(iWidth * iHeight * 4));
    for (std::size_t i = 0; i < texels.size(); ++i)
        texels[i] = static_cast<float>((i * 37 + static_cast<std::size_t>(iSeed) * 101) % 256) / 255.0f;
    return texels;
}

// The target's texels as RGBA floats; an R32UI target holds RGBA8 bytes (R in the low byte).
std::vector<float> ReadTarget(const TextureObject2D& target, GLenum eFormat, int iTexels)
{
    if (eFormat != GL_R32UI) return OndoTest::ReadTexture(target);
    std::vector<GLuint> words(static_cast<std::size_t>(iTexels));
    glBindTexture(GL_TEXTURE_2D, target.m_uiName);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED_INTEGER, GL_UNSIGNED_INT, words.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    std::vector<float> texels;
    for (GLuint uiWord : words)
        for (int c = 0; c < 4; ++c) texels.push_back(static_cast<float>((uiWord >> (8 * c)) & 0xFFu) / 255.0f);
    return texels;
}

float LogLuminance(const RGBA& c)
{
    const float fL = std::max(0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2], 0.0f);
    return std::clamp((std::log2(fL + 1e-4f) + 13.3f) / 17.3f, 0.0f, 1.0f);
}

} // namespace

TEST(ComputeFiltersHooked, AreRegisteredAsDescribedWithTheirFixedPorts)
{
    Ondo::Core core;
    for (const Member& member : c_Members) {
        SCOPED_TRACE(member.szName);
        auto pFilter = MakeFilter(core, member.szName);
        ASSERT_NE(pFilter, nullptr);
        const FilterDescriptor& descriptor = *FilterRegistry::Get(core).FindFilter(member.szName);
        EXPECT_EQ(descriptor.m_strSourceFile, std::string("src\\") + member.szClass);
        EXPECT_EQ(descriptor.m_strDescription, member.szDescription);
        EXPECT_EQ(descriptor.m_strKeywords, member.szKeywords);
        const auto handles = pFilter->GetPortHandles();
        ASSERT_EQ(handles.size(), 2u);
        EXPECT_EQ(handles[0]->GetLabel(), "Target Texture");
        EXPECT_FALSE(handles[0]->IsOutput());
        EXPECT_EQ(handles[1]->GetLabel(), member.szOutput);
        EXPECT_TRUE(handles[1]->IsOutput());
    }
}

// Each member on a target of 19 x 13 texels (partial work groups on both
// axes), against the same operation on the CPU. Tolerances: 1e-6 on RGBA32F
// targets (a plain float operation); one RGBA8 step (1/255) on 8-bit targets,
// which round to the nearest step. An R32UI target is size-compatible with an
// RGBA8 image view, so its bits show that a member writes through RGBA8 and
// not through the target's own format.
TEST(ComputeFiltersHooked, WriteTheReferencePictureIntoTheTargetAndPublishIt)
{
    OndoTest::TestDevice();
    struct Case {
        const char* szName;
        std::vector<std::string> inputs;
        GLenum eFormat;
        float fTolerance;
        std::function<RGBA(const RGBA&, const RGBA&)> fnReference;
        const char* szFactor; // a value for "Factor", or null to leave it unconnected
    };
    const float f8Bit = 1.0f / 255.0f;
    auto mix = [](float f) {
        return [f](const RGBA& a, const RGBA& b) {
            return RGBA{a[0] * (1 - f) + b[0] * f, a[1] * (1 - f) + b[1] * f, a[2] * (1 - f) + b[2] * f,
                        a[3] * (1 - f) + b[3] * f};
        };
    };
    auto negative = [](const RGBA& a, const RGBA&) { return RGBA{1 - a[0], 1 - a[1], 1 - a[2], a[3]}; };
    const std::vector<Case> cases = {
        {"OpenGL.Texture.Multiply", {"Image A", "Image B"}, GL_RGBA32F, 1e-6f,
         [](const RGBA& a, const RGBA& b) { return RGBA{a[0] * b[0], a[1] * b[1], a[2] * b[2], a[3] * b[3]}; }, nullptr},
        {"OpenGL.Texture.Blend", {"Image A", "Image B", "Factor"}, GL_RGBA32F, 1e-6f, mix(0.5f), nullptr},
        {"OpenGL.Texture.Blend", {"Image A", "Image B", "Factor"}, GL_RGBA32F, 1e-6f, mix(0.2f), "0.2"},
        {"OpenGL.NegativeImage", {"Image"}, GL_RGBA32F, 1e-6f, negative, nullptr},
        {"OpenGL.NegativeImage", {"Image"}, GL_RGBA8, f8Bit, negative, nullptr},
        {"OpenGL.LogLuminance", {"Image"}, GL_RGBA8, f8Bit,
         [](const RGBA& a, const RGBA&) { return RGBA{LogLuminance(a), LogLuminance(a), LogLuminance(a), 1.0f}; },
         nullptr},
        {"OpenGL.MakeRedCyan", {"Left Image", "Right Image"}, GL_RGBA8, f8Bit,
         [](const RGBA& l, const RGBA& r) { return RGBA{l[0], r[1], r[2], 1.0f}; }, nullptr},
    };
    const int iWidth = 19, iHeight = 13, iTexels = iWidth * iHeight;
    const std::vector<float> a = Pattern(iWidth, iHeight, 1), b = Pattern(iWidth, iHeight, 2);
    std::vector<Case> all = cases;
    // The two RGBA8-bound members once more on an R32UI target.
    for (const Case& c : cases)
        if (c.eFormat == GL_RGBA8 && std::string(c.szName) != "OpenGL.NegativeImage")
            all.push_back({c.szName, c.inputs, GL_R32UI, f8Bit, c.fnReference, nullptr});

    for (const Case& c : all) {
        SCOPED_TRACE(std::string(c.szName) + " format " + std::to_string(c.eFormat) +
                     " factor " + (c.szFactor ? c.szFactor : "unconnected"));
        TextureObject2D target = OndoTest::MakeTexture(
            iWidth, iHeight, c.eFormat,
            c.eFormat == GL_R32UI ? std::vector<float>{} : std::vector<float>(a.size(), -7.0f));
        TextureObject2D textureA = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, a);
        TextureObject2D textureB = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, b);

        OndoTest::FilterHarness harness;
        const auto handles = harness.Add(c.szName, "F").GetPortHandles();
        ASSERT_EQ(handles.size(), 2 + c.inputs.size());
        for (std::size_t i = 0; i < c.inputs.size(); ++i) EXPECT_EQ(handles[2 + i]->GetLabel(), c.inputs[i]);
        harness.Feed("F", "Target Texture", target);
        harness.Feed("F", c.inputs[0], textureA);
        if (c.inputs.size() > 1) harness.Feed("F", c.inputs[1], textureB);
        if (c.szFactor) harness.Set("F", "Factor", c.szFactor);
        ASSERT_TRUE(harness.Run()) << ::testing::PrintToString(harness.GetLogger().GetMessages());

        const std::vector<float> result = ReadTarget(target, c.eFormat, iTexels);
        for (int i = 0; i < iTexels; ++i) {
            const std::size_t k = static_cast<std::size_t>(i) * 4;
            const RGBA expected = c.fnReference({a[k], a[k + 1], a[k + 2], a[k + 3]}, {b[k], b[k + 1], b[k + 2], b[k + 3]});
            for (std::size_t ch = 0; ch < 4; ++ch)
                ASSERT_NEAR(result[k + ch], expected[ch], c.fTolerance)
                    << "texel " << i % iWidth << "," << i / iWidth << " channel " << ch;
        }
        bool bChanged = false;
        EXPECT_EQ(harness.Output<TextureObject2D>("F", handles[1]->GetLabel(), &bChanged), &target);
        EXPECT_TRUE(bChanged);
        for (TextureObject2D* pTexture : {&target, &textureA, &textureB}) pTexture->Release();
    }
}

// Ambient occlusion where the answer is known: planes (camera-facing, or
// tilted with their true normal) are unoccluded (1.0); at a step in depth the
// lower (farther) side is darkened within the sampling radius and nowhere
// else; a foreground object far in front casts no halo.
TEST(ComputeFiltersHooked, SSAOIsOneOnPlanesAndDarkensTheLowerSideOfAStep)
{
    OndoTest::TestDevice();
    const int iWidth = 37, iHeight = 21, iStep = 18; // columns below iStep are the lower side
    auto run = [&](const std::function<float(int)>& fnDepth, const RGBA& normal, const char* szRadius) {
        std::vector<float> depth, normals;
        for (int y = 0; y < iHeight; ++y)
            for (int x = 0; x < iWidth; ++x) {
                depth.insert(depth.end(), {fnDepth(x), 0.0f, 0.0f, 1.0f});
                normals.insert(normals.end(), normal.begin(), normal.end());
            }
        TextureObject2D target = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, std::vector<float>(depth.size(), -7.0f));
        TextureObject2D textureDepth = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, depth);
        TextureObject2D textureNormals = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, normals);
        OndoTest::FilterHarness harness;
        harness.Add("OpenGL.SSAO_01", "AO");
        harness.Feed("AO", "Target Texture", target);
        harness.Feed("AO", "Depth", textureDepth);
        harness.Feed("AO", "Normals", textureNormals);
        if (szRadius) harness.Set("AO", "Radius", szRadius);
        EXPECT_TRUE(harness.Run());
        bool bChanged = false;
        EXPECT_EQ(harness.Output<TextureObject2D>("AO", "Ambient Occlusion", &bChanged), &target);
        EXPECT_TRUE(bChanged);
        // Grey with alpha 1; the AO values in rows from the bottom.
        const std::vector<float> texels = OndoTest::ReadTexture(target);
        std::vector<float> ao;
        for (std::size_t k = 0; k < texels.size(); k += 4) {
            EXPECT_EQ(texels[k + 1], texels[k]);
            EXPECT_EQ(texels[k + 2], texels[k]);
            EXPECT_EQ(texels[k + 3], 1.0f);
            ao.push_back(texels[k]);
        }
        for (TextureObject2D* pTexture : {&target, &textureDepth, &textureNormals}) pTexture->Release();
        return ao;
    };
    auto at = [&](const std::vector<float>& ao, int x, int y) { return ao[static_cast<std::size_t>(y * iWidth + x)]; };

    const RGBA facing{0.0f, 0.0f, 1.0f, 0.0f};
    for (float fAO : run([](int) { return 10.0f; }, facing, nullptr)) EXPECT_NEAR(fAO, 1.0f, 1e-6f) << "flat depth";
    // The plane n . P = -10 n.z with n = (0.5, 0, 1) / |.|, placed as the shader
    // places texels (default texel size 0.002): d = 10 n.z / (n.z - n.x 0.002 u).
    const float fNx = 0.5f / std::sqrt(1.25f), fNz = 1.0f / std::sqrt(1.25f);
    auto tilted = [&](int x) { return 10.0f * fNz / (fNz - fNx * 0.002f * (static_cast<float>(x) + 0.5f - 18.5f)); };
    for (float fAO : run(tilted, {fNx, 0.0f, fNz, 0.0f}, nullptr)) EXPECT_NEAR(fAO, 1.0f, 1e-6f) << "tilted plane";
    for (float fAO : run([&](int x) { return x >= iStep ? 2.0f : 10.0f; }, facing, nullptr))
        EXPECT_GT(fAO, 0.99f) << "no halo from a foreground object far in front";

    // Every row, edge rows included (the perspective placement makes rows differ slightly).
    auto stepDepth = [&](int x) { return x >= iStep ? 9.9f : 10.0f; };
    const std::vector<float> step = run(stepDepth, facing, nullptr), wide = run(stepDepth, facing, "8");
    for (int y = 0; y < iHeight; ++y) {
        SCOPED_TRACE("row " + std::to_string(y));
        for (int x = 0; x < iWidth; ++x) {
            if (x >= iStep || x < iStep - 4)
                EXPECT_EQ(at(step, x, y), 1.0f) << "column " << x << ": upper side or beyond the radius";
            else
                EXPECT_LT(at(step, x, y), 1.0f - 1e-3f) << "column " << x << ": within 4 texels below the step";
        }
        EXPECT_LT(at(step, iStep - 1, y), 0.95f) << "the texel next to the step is clearly darker";
        EXPECT_LT(at(step, iStep - 1, y), at(step, iStep - 4, y)) << "darkest at the step";
        EXPECT_LT(at(wide, iStep - 6, y), 1.0f - 1e-3f) << "radius 8 reaches 6 texels below the step";
        EXPECT_EQ(at(wide, iStep - 9, y), 1.0f);
        EXPECT_EQ(at(wide, iStep, y), 1.0f);
    }
}

// Settings: the hooker's state (directly, or nested under "ShaderHelper" for
// SSAO_01), then the two handles; reading stores the handles back. Release
// deletes the program, and a second release does nothing.
TEST(ComputeFiltersHooked, SettingsRoundTripAndReleaseLeavesNothing)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    for (const Member& member : c_Members) {
        SCOPED_TRACE(member.szName);
        Ondo::Core core;
        auto pFilter = MakeFilter(core, member.szName);
        ASSERT_NE(pFilter, nullptr);
        pFilter->ReleaseResources(device, device.GetContext()); // without resources: nothing
        const int iPrograms = OndoTest::CountLive(glIsProgram), iShaders = OndoTest::CountLive(glIsShader);
        pFilter->AttachDevice(device);
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms + 1);

        const auto handles = pFilter->GetPortHandles();
        Serialization::SaveInfo info;
        for (const auto& hPort : handles) info.AddPort(hPort);
        auto write = [&](TiXmlDocument& document) {
            TiXmlElement* pRoot = document.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
            Serialization::Serializer writer(&document, pRoot, &info);
            pFilter->Serialize(writer);
            return pRoot;
        };
        TiXmlDocument document;
        TiXmlElement* pRoot = write(document);
        std::vector<std::string> names;
        for (TiXmlElement* pChild = pRoot->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement())
            names.push_back(pChild->Value());
        const char* szHooker = member.bNestedHooker ? "ShaderHelper" : "ShaderPorts";
        EXPECT_EQ(names, (std::vector<std::string>{szHooker, "hTargetTexture", "hTextureOut"}));
        TiXmlElement* pPorts = pRoot->FirstChildElement(szHooker);
        if (member.bNestedHooker && pPorts) pPorts = pPorts->FirstChildElement("ShaderPorts");
        ASSERT_NE(pPorts, nullptr);
        std::size_t uiSaved = 0;
        for (TiXmlElement* pItem = pPorts->FirstChildElement("STL_Item"); pItem; pItem = pItem->NextSiblingElement())
            ++uiSaved;
        EXPECT_EQ(uiSaved, handles.size() - 2) << "every shader-declared port is recorded";
        EXPECT_STREQ(pRoot->FirstChildElement("hTargetTexture")->Attribute("PortID"), "0");
        EXPECT_STREQ(pRoot->FirstChildElement("hTextureOut")->Attribute("PortID"), "1");

        // Read a document with the two handles swapped, then write again: the swap shows.
        pRoot->FirstChildElement("hTargetTexture")->SetAttribute("PortID", "1");
        pRoot->FirstChildElement("hTextureOut")->SetAttribute("PortID", "0");
        Serialization::Serializer reader(nullptr, pRoot, &info);
        EXPECT_NO_THROW(pFilter->Serialize(reader));
        TiXmlDocument again;
        TiXmlElement* pAgain = write(again);
        EXPECT_STREQ(pAgain->FirstChildElement("hTargetTexture")->Attribute("PortID"), "1");
        EXPECT_STREQ(pAgain->FirstChildElement("hTextureOut")->Attribute("PortID"), "0");

        pFilter->DetachDevice();
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
        EXPECT_EQ(OndoTest::CountLive(glIsShader), iShaders);
        pFilter->ReleaseResources(device, device.GetContext()); // a second release does nothing
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
    }
}
