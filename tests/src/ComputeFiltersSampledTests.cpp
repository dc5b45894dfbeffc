// The compute-pass filters that sample a fixed input texture: normalize
// colours, resample, texel copy and LEAN map, each against a CPU reference,
// and what they share (ports, settings, samplers, release) table by table.

#include "support/FilterHarness.h"
#include "support/GLObjects.h"
#include "support/GLTestEnvironment.h"

#include "frame/PluginLoad.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;
using TexturePort = SimplePortT<TextureObject2D>;

namespace {

struct Member {
    const char* szType;
    const char* szSource;
    const char* szDescription;
    const char* szKeywords;
    std::vector<std::string> ports;                 // labels in creation order, the output last
    std::vector<std::pair<std::string, int>> keys; // settings in order, each with the index of its port
    GLint iDefaultWrap;                             // wrap mode of the own sampler; 0 for none
};

const std::vector<Member>& Members()
{
    static const std::vector<std::pair<std::string, int>> keys = {
        {"hTextureIn", 0}, {"hTargetTexture", 1}, {"hTextureOut", 3}, {"hSamplerState", 2}};
    static const std::vector<Member> members = {
        {"OpenGL.NormalizeColors", "src\\FilterNormalizeColors",
         "This is a debugging filter and will convert values between [-1,1] to [0,1] range for display only",
         "OpenGL;Texture;Debug;", {"Texture In", "Target Texture", "Sampler State", "Normalized"}, keys,
         GL_CLAMP_TO_EDGE},
        {"OpenGL.ResampleImage", "src\\FilterResampleImage", "Copy a texture with resampling",
         "OpenGL;Texture;Copy;Resample", {"Texture In", "Target Texture", "Sampler State", "Resampled"}, keys,
         GL_REPEAT},
        {"OpenGL.Texture.TexelCopy", "src\\FilterTexelCopy", "For copying the texels from one texture to another",
         "OpenGL;Texture;Copy", {"Texture In", "Target Texture", "Sampler State", "LoD Level", "Offset", "Copy"},
         {{"hTextureIn", 0}, {"hTargetTexture", 1}, {"hTextureOut", 5}, {"hLoDLevel", 3}, {"hOffset", 4},
          {"hSamplerState", 2}},
         GL_CLAMP_TO_EDGE},
        {"OpenGL.Texture.LeanMap", "src\\FilterLeanMap", "For creating a lean map from a normal map",
         "OpenGL;Texture;NormalMap", {"Texture In", "Target Texture", "Sampler State", "LeanMap"}, keys, 0},
    };
    return members;
}

std::shared_ptr<Ondo::OpenGL::BaseFilter> MakeFilter(Ondo::Core& core, const std::string& strType,
                                                     const std::string& strName)
{
    Prismvale::LoadIntoCore(core);
    const FilterDescriptor* pDescriptor = FilterRegistry::Get(core).FindFilter(strType);
    if (!pDescriptor) return nullptr;
    std::shared_ptr<Ondo::OpenGL::BaseFilter> pFilter(
        dynamic_cast<Ondo::OpenGL::BaseFilter*>(pDescriptor->m_fnFactory(core, strName)));
    pFilter->Initialize();
    return pFilter;
}

// RGBA values in [fLow, fHigh], different in every channel of every texel.
std::vector<float> Pattern(int iWidth, int iHeight, float fLow, float fHigh, unsigned int uiSeed)
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
float Unorm8(float f) { return std::round(std::clamp(f, 0.0f, 1.0f) * 255.0f) / 255.0f; }

// Every channel of every texel within fAbsolute + fRelative * |expected|.
void ExpectTexels(const std::vector<float>& result, const std::vector<float>& expected, float fAbsolute,
                  int iWidth, const std::string& strWhat, float fRelative = 0.0f)
{
    ASSERT_EQ(result.size(), expected.size()) << strWhat;
    for (std::size_t i = 0; i < result.size(); ++i)
        ASSERT_NEAR(result[i], expected[i], fAbsolute + fRelative * std::fabs(expected[i]))
            << strWhat << ": texel " << (i / 4) % iWidth << "," << (i / 4) / iWidth << " channel " << i % 4;
}

// Adds a filter with its input and target fed from the test's textures.
void AddFed(OndoTest::FilterHarness& harness, const std::string& strType, const std::string& strName,
            TextureObject2D& input, TextureObject2D& target)
{
    harness.Add(strType, strName);
    harness.Feed(strName, "Texture In", input);
    harness.Feed(strName, "Target Texture", target);
}

void ExpectOutputIsTarget(OndoTest::FilterHarness& harness, const std::string& strFilter, const std::string& strLabel,
                          const TextureObject2D& target)
{
    bool bChanged = false;
    EXPECT_EQ(harness.Output<TextureObject2D>(strFilter, strLabel, &bChanged), &target) << "the target object itself";
    EXPECT_TRUE(bChanged) << strFilter;
}

// Publishes one sampler name that the test owns.
class SamplerFeed : public Ondo::OpenGL::BaseFilter {
public:
    SamplerFeed(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override { CreatePort(m_hOut, {PortType::Output, "Sampler", false}); }
    void Process(ScopeExecuter&) override { m_hOut->SetData(&m_uiSampler, true); }

    PortHandle<Ondo::OpenGL::GLuintPort> m_hOut;
    GLuint m_uiSampler = 0;
};

GLuint SamplerOnUnit0()
{
    glActiveTexture(GL_TEXTURE0);
    GLint iSampler = 0;
    glGetIntegerv(GL_SAMPLER_BINDING, &iSampler);
    return static_cast<GLuint>(iSampler);
}

// Every case makes the test device current first.
class ComputeFiltersSampled : public ::testing::Test {
protected:
    void SetUp() override { OndoTest::TestDevice(); }
};

} // namespace

TEST_F(ComputeFiltersSampled, RegisteredWithTheirPortsSettingsAndResourcesAsDescribed)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    TextureObject2D target = OndoTest::MakeTexture(3, 2, GL_RGBA8);
    // The settings as (key, PortID) in document order. A writer numbers the
    // ports in index order; a reader numbers them backwards and reads pRoot
    // first, so only handles really read are written back with the same IDs.
    const auto save = [](Ondo::OpenGL::BaseFilter& filter, TiXmlElement* pRoot) {
        TiXmlDocument document;
        TiXmlElement* pOut = document.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
        auto handles = filter.GetPortHandles();
        if (pRoot) std::reverse(handles.begin(), handles.end());
        Serialization::SaveInfo info;
        for (const auto& hPort : handles) info.AddPort(hPort);
        if (pRoot) {
            Serialization::Serializer reader(nullptr, pRoot, &info);
            filter.Serialize(reader);
        }
        Serialization::Serializer writer(&document, pOut, &info);
        filter.Serialize(writer);
        std::vector<std::pair<std::string, std::string>> keys;
        for (TiXmlElement* pChild = pOut->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement())
            keys.emplace_back(pChild->Value(), pChild->Attribute("PortID"));
        return std::make_pair(keys, std::make_unique<TiXmlElement>(*pOut));
    };
    for (const Member& member : Members()) {
        SCOPED_TRACE(member.szType);
        Ondo::Core core;
        auto pFilter = MakeFilter(core, member.szType, "F");
        ASSERT_NE(pFilter, nullptr);
        const FilterDescriptor* pDescriptor = FilterRegistry::Get(core).FindFilter(member.szType);
        EXPECT_EQ(pDescriptor->m_strSourceFile, member.szSource);
        EXPECT_EQ(pDescriptor->m_strDescription, member.szDescription);
        EXPECT_EQ(pDescriptor->m_strKeywords, member.szKeywords);

        const auto handles = pFilter->GetPortHandles();
        ASSERT_EQ(handles.size(), member.ports.size());
        for (std::size_t i = 0; i < handles.size(); ++i) {
            const std::string& strLabel = member.ports[i];
            EXPECT_EQ(handles[i]->GetLabel(), strLabel);
            EXPECT_EQ(handles[i]->IsOutput(), i + 1 == handles.size()) << strLabel;
            EXPECT_EQ(handles[i]->IsOptional(),
                      strLabel == "Sampler State" || strLabel == "LoD Level" || strLabel == "Offset")
                << strLabel;
        }
        // Each key names its own port, and a second instance that reads the
        // settings writes them again unchanged.
        const auto [keys, pSaved] = save(*pFilter, nullptr);
        ASSERT_EQ(keys.size(), member.keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(keys[i], std::make_pair(member.keys[i].first, std::to_string(member.keys[i].second)));
        auto pRead = MakeFilter(core, member.szType, "G");
        EXPECT_EQ(save(*pRead, pSaved.get()).first, keys);

        // Resources: a program and (but for the LEAN map) a sampler, all
        // deleted on release; a pass without an input texture is skipped.
        Ondo::CollectingLogger logger;
        core.SetLogger(&logger);
        const int iPrograms = OndoTest::CountLive(glIsProgram), iSamplers = OndoTest::CountLive(glIsSampler);
        pFilter->AttachDevice(device);
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms + 1);
        EXPECT_EQ(OndoTest::CountLive(glIsSampler), iSamplers + (member.iDefaultWrap ? 1 : 0));
        PortHandle<TexturePort>(pFilter->FindPort("Target Texture"))->SetData(&target, false);
        ScopeExecuter executer;
        pFilter->Execute(executer);
        EXPECT_EQ(PortHandle<TexturePort>(pFilter->FindPort(member.ports.back()))->GetData(), nullptr);
        EXPECT_EQ(logger.GetMessages(),
                  (std::vector<std::string>{"F: \"Texture In\" carries no texture; the pass was skipped.\n"}));
        for (int iRelease = 0; iRelease < 2; ++iRelease) { // a second release does nothing
            pFilter->DetachDevice();
            pFilter->ReleaseResources(device, device.GetContext());
            EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
            EXPECT_EQ(OndoTest::CountLive(glIsSampler), iSamplers);
        }
    }
    target.Release();
}

TEST_F(ComputeFiltersSampled, WithoutASamplerStateEachSamplesWithItsOwnAndWithOneUsesIt)
{
    GLuint uiGiven = 0;
    glGenSamplers(1, &uiGiven);
    TextureObject2D input = OndoTest::MakeTexture(5, 3, GL_RGBA8), target = OndoTest::MakeTexture(5, 3, GL_RGBA8);
    for (const Member& member : Members()) {
        SCOPED_TRACE(member.szType);
        GLuint uiOwn = 0;
        {
            OndoTest::FilterHarness harness;
            AddFed(harness, member.szType, "F", input, target);
            glBindSampler(0, uiGiven); // what an earlier pass may have left on unit 0
            ASSERT_TRUE(harness.Run());
            uiOwn = SamplerOnUnit0();
            if (!member.iDefaultWrap) {
                EXPECT_EQ(uiOwn, uiGiven) << "binds no sampler";
                continue;
            }
            EXPECT_NE(uiOwn, uiGiven);
            GLint iWrap = 0;
            glGetSamplerParameteriv(uiOwn, GL_TEXTURE_WRAP_S, &iWrap);
            EXPECT_EQ(iWrap, member.iDefaultWrap);

            // A sampler arriving on "Sampler State" is the one bound.
            FilterRegistry::Get(harness.GetGraph().GetCore())
                .RegisterFilter({"Test.SamplerFeed", "", "", "",
                                 [](Ondo::Core& core, const std::string& strName) -> Filter* {
                                     return new SamplerFeed(core, strName);
                                 }});
            dynamic_cast<SamplerFeed&>(harness.Add("Test.SamplerFeed", "Samplers")).m_uiSampler = uiGiven;
            harness.GetGraph().Connect(harness.GetGraph().GetRoot(), "Samplers", "Sampler", "F", "Sampler State");
            glBindSampler(0, 0);
            ASSERT_TRUE(harness.Run());
            EXPECT_EQ(SamplerOnUnit0(), uiGiven);
        }
        EXPECT_FALSE(glIsSampler(uiOwn)) << "the sampler used without a connection goes with the filter";
    }
    glBindSampler(0, 0);
    glDeleteSamplers(1, &uiGiven);
    input.Release();
    target.Release();
}

TEST_F(ComputeFiltersSampled, ResampleImageRepeatsAndFiltersBilinearlyAtTargetTexelCentres)
{
    // Bilinear lookup of the input at target texel centres with REPEAT at the
    // borders, which is what the own sampler does at level 0.
    const auto reference = [](const std::vector<float>& in, int iW, int iH, int iTW, int iTH) {
        std::vector<float> out(static_cast<std::size_t>(iTW * iTH * 4));
        const auto at = [&](int x, int y, int c) {
            return in[static_cast<std::size_t>((((y % iH + iH) % iH) * iW + (x % iW + iW) % iW) * 4 + c)];
        };
        for (int y = 0; y < iTH; ++y)
            for (int x = 0; x < iTW; ++x) {
                const float fx = (x + 0.5f) * iW / iTW - 0.5f, fy = (y + 0.5f) * iH / iTH - 0.5f;
                const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
                const float ax = fx - x0, ay = fy - y0;
                for (int c = 0; c < 4; ++c)
                    out[static_cast<std::size_t>((y * iTW + x) * 4 + c)] =
                        Unorm8((1 - ax) * (1 - ay) * at(x0, y0, c) + ax * (1 - ay) * at(x0 + 1, y0, c) +
                               (1 - ax) * ay * at(x0, y0 + 1, c) + ax * ay * at(x0 + 1, y0 + 1, c));
            }
        return out;
    };
    // {input size, target size, tolerance}: 2x up, the same size, 2x down.
    // RGBA8 targets round to 1/255; the interpolation weights of the
    // texture unit may be quantised too, so scaled cases allow 2/255.
    struct Case { int iW, iH, iTW, iTH; float fTolerance; };
    const Case cases[] = {{13, 9, 26, 18, 2.0f / 255}, {13, 9, 13, 9, 0.6f / 255}, {34, 18, 17, 9, 2.0f / 255}};
    std::vector<TextureObject2D> textures;
    textures.reserve(2 * std::size(cases)); // the feeds keep pointers to them
    OndoTest::FilterHarness harness;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& k = cases[i];
        textures.push_back(OndoTest::MakeTexture(k.iW, k.iH, GL_RGBA32F, Pattern(k.iW, k.iH, 0.0f, 1.0f, 7 + i)));
        textures.push_back(OndoTest::MakeTexture(k.iTW, k.iTH, GL_RGBA8));
        AddFed(harness, "OpenGL.ResampleImage", "R" + std::to_string(i), textures[2 * i], textures[2 * i + 1]);
    }
    ASSERT_TRUE(harness.Run());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& k = cases[i];
        ExpectTexels(OndoTest::ReadTexture(textures[2 * i + 1]),
                     reference(Pattern(k.iW, k.iH, 0.0f, 1.0f, 7 + i), k.iW, k.iH, k.iTW, k.iTH), k.fTolerance,
                     k.iTW, "case " + std::to_string(i));
        ExpectOutputIsTarget(harness, "R" + std::to_string(i), "Resampled", textures[2 * i + 1]);
    }
    // The parameters of the own sampler, bound by the last pass (enumerants
    // read as floats are exact).
    const std::pair<GLenum, float> parameters[] = {
        {GL_TEXTURE_WRAP_S, GL_REPEAT}, {GL_TEXTURE_WRAP_T, GL_REPEAT}, {GL_TEXTURE_WRAP_R, GL_REPEAT},
        {GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR}, {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
        {GL_TEXTURE_MIN_LOD, -1000.0f}, {GL_TEXTURE_MAX_LOD, 1000.0f}, {GL_TEXTURE_LOD_BIAS, 0.0f}};
    for (const auto& [eName, fValue] : parameters) {
        GLfloat fRead = 1.0f;
        glGetSamplerParameterfv(SamplerOnUnit0(), eName, &fRead);
        EXPECT_EQ(fRead, fValue) << std::hex << eName;
    }
    for (TextureObject2D& texture : textures) texture.Release();
}

TEST_F(ComputeFiltersSampled, TexelCopyFetchesTheOffsetTexelOfTheChosenLevel)
{
    // Two levels of different contents, 8-bit values the texture holds exactly.
    const int iW = 22, iH = 14, iTW = 17, iTH = 6;
    std::vector<std::vector<float>> levels = {Pattern(iW, iH, 0.0f, 1.0f, 11), Pattern(iW / 2, iH / 2, 0.0f, 1.0f, 12)};
    GLuint uiInput = 0;
    glGenTextures(1, &uiInput);
    glBindTexture(GL_TEXTURE_2D, uiInput);
    glTexStorage2D(GL_TEXTURE_2D, 2, GL_RGBA8, iW, iH);
    for (int iLevel = 0; iLevel < 2; ++iLevel) {
        std::vector<float>& level = levels[static_cast<std::size_t>(iLevel)];
        std::transform(level.begin(), level.end(), level.begin(), Unorm8);
        glTexSubImage2D(GL_TEXTURE_2D, iLevel, 0, 0, iW >> iLevel, iH >> iLevel, GL_RGBA, GL_FLOAT, level.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    TextureObject2D input(uiInput), target = OndoTest::MakeTexture(iTW, iTH, GL_RGBA8);
    OndoTest::FilterHarness harness;
    AddFed(harness, "OpenGL.Texture.TexelCopy", "C", input, target);
    // {LoD level, offset}; the first leaves both inputs unconnected, which
    // means level 0 and (0, 0). Texels outside the level come out as zero.
    struct Case { int iLevel, iX, iY; };
    const Case cases[] = {{0, 0, 0}, {1, 2, 1}, {0, -3, 4}, {1, -1, -2}};
    for (const Case& k : cases) {
        const std::string strOffset = std::to_string(k.iX) + " " + std::to_string(k.iY);
        SCOPED_TRACE("level " + std::to_string(k.iLevel) + " offset " + strOffset);
        if (&k != cases) {
            harness.Set("C", "LoD Level", std::to_string(k.iLevel));
            harness.Set("C", "Offset", strOffset);
        }
        ASSERT_TRUE(harness.Run());
        const int iLW = iW >> k.iLevel, iLH = iH >> k.iLevel;
        std::vector<float> expected(static_cast<std::size_t>(iTW * iTH * 4), 0.0f);
        for (int y = 0; y < iTH; ++y)
            for (int x = 0; x < iTW; ++x) {
                const int sx = x + k.iX, sy = y + k.iY;
                if (sx < 0 || sy < 0 || sx >= iLW || sy >= iLH) continue;
                for (std::size_t c = 0; c < 4; ++c)
                    expected[static_cast<std::size_t>(y * iTW + x) * 4 + c] =
                        levels[static_cast<std::size_t>(k.iLevel)][static_cast<std::size_t>(sy * iLW + sx) * 4 + c];
            }
        // Both textures hold 8-bit values: the copy is exact.
        ExpectTexels(OndoTest::ReadTexture(target), expected, 0.25f / 255, iTW, "copy");
        ExpectOutputIsTarget(harness, "C", "Copy", target);
    }
    input.Release();
    target.Release();
}

TEST_F(ComputeFiltersSampled, NormalizeColorsAndLeanMapComputeEachTexelFromTheInputTexel)
{
    // Normalize colours: c * 0.5 + 0.5. LEAN map, with n = 2c - 1 and
    // nz at least 1/1024: b = n.xy / nz, written as (b * 0.5 + 0.5, b * b).
    const auto normalize = [](const float* c, float* out) {
        for (int i = 0; i < 4; ++i) out[i] = c[i] * 0.5f + 0.5f;
    };
    const auto lean = [](const float* c, float* out) {
        const float nz = std::max(c[2] * 2 - 1, 1.0f / 1024), bx = (c[0] * 2 - 1) / nz, by = (c[1] * 2 - 1) / nz;
        const float values[4] = {bx * 0.5f + 0.5f, by * 0.5f + 0.5f, bx * bx, by * by};
        std::copy(values, values + 4, out);
    };
    // RGBA8 targets round to the nearest 1/255 (and clamp to [0, 1]); the
    // float target keeps one part in 10^5 of the value (second moments reach
    // 10^6 where nz is clamped), which also shows it is written in its own
    // format.
    struct Case {
        const char* szType;
        const char* szOutput;
        float fLow;
        GLenum eFormat;
        void (*fnTexel)(const float*, float*);
    };
    const Case cases[] = {{"OpenGL.NormalizeColors", "Normalized", -1.0f, GL_RGBA8, normalize},
                          {"OpenGL.Texture.LeanMap", "LeanMap", 0.0f, GL_RGBA32F, lean},
                          {"OpenGL.Texture.LeanMap", "LeanMap", 0.0f, GL_RGBA8, lean}};
    const int iW = 19, iH = 13;
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.szType) + (k.eFormat == GL_RGBA8 ? " RGBA8" : " RGBA32F"));
        std::vector<float> in = Pattern(iW, iH, k.fLow, 1.0f, 5);
        in[2] = 0.5f;  // a normal lying in the surface: nz = 0
        in[6] = 0.25f; // one pointing into it: nz < 0
        TextureObject2D input = OndoTest::MakeTexture(iW, iH, GL_RGBA32F, in);
        TextureObject2D target = OndoTest::MakeTexture(iW, iH, k.eFormat, std::vector<float>(in.size(), 0.3f));
        OndoTest::FilterHarness harness;
        AddFed(harness, k.szType, "F", input, target);
        ASSERT_TRUE(harness.Run());
        std::vector<float> expected(in.size());
        for (std::size_t i = 0; i < in.size(); i += 4) k.fnTexel(&in[i], &expected[i]);
        if (k.eFormat == GL_RGBA8) {
            std::transform(expected.begin(), expected.end(), expected.begin(), Unorm8);
            ExpectTexels(OndoTest::ReadTexture(target), expected, 1.0f / 255, iW, "RGBA8");
        } else {
            ExpectTexels(OndoTest::ReadTexture(target), expected, 1e-5f, iW, "RGBA32F", 1e-5f);
        }
        ExpectOutputIsTarget(harness, "F", k.szOutput, target);
        input.Release();
        target.Release();
    }
}
