// All sixteen compute filters table by table: registration, ports, a skipped
// pass, samplers, settings and release; the per-texel members on every target
// format against CPU references; a chain; the image-unit format table, and
// integer and unwritable targets on every member; ambient occlusion where the
// answer is known.

#include "ComputeFilterTestSupport.h"

#include "frame/ImageUnitFormat.h"
#include "frame/ShaderPrograms.h"

#include "host/FlowGraph/Graph.h"

#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/ValuePorts.h"

#include <cctype>
#include <functional>
#include <map>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;
using TexturePort = SimplePortT<TextureObject2D>;

namespace {

// Kinds: T texture input, O texture output, M matrix input; lower case for
// optional inputs: f float, s sampler, i int, v ivec2.
struct FixedPort {
    const char *szLabel, *szKey;
    char cKind;
};

// "label in|out [optional] type": what a port is.
std::string Signature(const std::string& strLabel, bool bOutput, bool bOptional, const std::string& strType)
{
    return strLabel + (bOutput ? " out " : " in ") + (bOptional ? "optional " : "") + strType;
}

std::string Signature(const FixedPort& port)
{
    const char c = port.cKind;
    return Signature(port.szLabel, c == 'O', std::islower(c) != 0,
                     c == 'f'   ? SimplePortT<float>::s_strTypeName
                     : c == 'M' ? SimplePortT<Ondo::Matrix44f>::s_strTypeName
                     : c == 's' ? SimplePortT<GLuint>::s_strTypeName
                     : c == 'i' ? SimplePortT<int>::s_strTypeName
                     : c == 'v' ? SimplePortT<Ondo::Vector2i>::s_strTypeName
                                : TexturePort::s_strTypeName);
}

struct Member {
    const char *szType, *szClass, *szDescription, *szKeywords;
    std::vector<FixedPort> ports;          // fixed, in creation order
    std::vector<std::string> shaderPorts; // added by the hooker on attach
    std::vector<std::string> keys;        // settings in order
    GLint iOwnWrap;                       // wrap mode of the sampler the filter owns; 0 for none
    const char* szMissing;                // what a pass without inputs reports
};

const char *const NoTarget = "\"Target Texture\" carries no texture",
           *const NoInput = "\"Texture In\" carries no texture";

// Target, maybe an input of its own, output; the hooker's state, the two
// handles, maybe the own input's.
Member Hooked(const char* szType, const char* szClass, const char* szDescription, const char* szKeywords,
              const char* szOutput, std::vector<std::string> shaderPorts, FixedPort own = {},
              const char* szHooker = "ShaderPorts")
{
    Member m{szType, szClass, szDescription, szKeywords,
             {{"Target Texture", "hTargetTexture", 'T'}, {szOutput, "hTextureOut", 'O'}}, std::move(shaderPorts),
             {szHooker, "hTargetTexture", "hTextureOut"}, 0,
             own.cKind == 'M' ? "\"Projection Matrix\" carries no value" : NoTarget};
    if (own.szLabel) {
        m.ports.insert(m.ports.begin() + 1, own);
        m.keys.push_back(own.szKey);
    }
    return m;
}

Member Sampled(const char* szType, const char* szClass, const char* szDescription, const char* szKeywords,
               const char* szOutput, GLint iOwnWrap)
{
    return {szType, szClass, szDescription, szKeywords,
            {{"Texture In", "hTextureIn", 'T'}, {"Target Texture", "hTargetTexture", 'T'},
             {"Sampler State", "hSamplerState", 's'}, {szOutput, "hTextureOut", 'O'}},
            {}, {"hTextureIn", "hTargetTexture", "hTextureOut", "hSamplerState"}, iOwnWrap, NoInput};
}

const std::vector<Member>& Members()
{
    const std::vector<std::string> ab = {"Image A", "Image B"}, image = {"Image"}, depth = {"Depth Texture"};
    const FixedPort matrix = {"Projection Matrix", "hProjectionMatrix", 'M'};
    static const std::vector<Member> members = {
        Hooked("OpenGL.Texture.Add", "FilterTextureAdd", "For adding two textures", "OpenGL;Texture;Add", "Sum", ab),
        Hooked("OpenGL.Texture.Multiply", "FilterTextureMultiply", "For multiplying two textures",
               "OpenGL;Texture;Multiply", "Sum", ab),
        Hooked("OpenGL.Texture.Blend", "FilterTextureBlend", "For blending between two textures",
               "OpenGL;Texture;Blend", "Blended Image", {"Image A", "Image B", "Factor"}),
        Hooked("OpenGL.NegativeImage", "FilterNegativeImage", "Compute the negative image",
               "OpenGL;Texture;Negative;", "Negative Image", image),
        Hooked("OpenGL.LogLuminance", "FilterLogLuminance", "Compute the log(Intensity) of an image",
               "OpenGL;Texture;Autoexposure;Log;", "Negative Image", image),
        Hooked("OpenGL.MakeRedCyan", "FilterMakeRedCyan", "Combine two images to a red/cyan 3D anaglyph image",
               "OpenGL;Texture;3D;anaglyph;Stereo", "Red/Cyan", {"Left Image", "Right Image"}),
        Hooked("OpenGL.SSAO_01", "FilterSSAO_01", "SSAO Example (not done yet)", "OpenGL;SSAO;AO;Ambient Occlusion;",
               "Ambient Occlusion", {"Depth", "Normals", "Radius", "Texel Size"}, {}, "ShaderHelper"),
        Hooked("OpenGL.Texture.AbsDifference", "FilterTextureAbsDifference",
               "For computing the absolute difference between two images", "OpenGL;Texture;Difference",
               "Abs Difference", ab, {"Amplifier", "hAmplifier", 'f'}),
        Hooked("OpenGL.Texture.ScalarMultiply", "FilterTextureScalarMultiply", "For scaling the values in a texture",
               "OpenGL;Texture;Multiply;Scale", "Product", image, {"Factor", "hScalarIn", 'f'}),
        {"OpenGL.GammaCorrection", "FilterGammaCorrection", "Gamma correction", "OpenGL;Gamma Correction;PostProcess;",
         {{"Gamma Value", "hGammaIn", 'f'}, {"Target Texture", "hTargetTexture", 'T'},
          {"Corrected", "hTextureOut", 'O'}},
         image, {"ShaderPorts", "hGammaIn", "hTargetTexture", "hTextureOut"}, 0, NoTarget},
        Hooked("OpenGL.Texture.DepthToViewSpacePosition", "FilterDepthToViewSpacePos",
               "For reconstructing the viewspace position from the depth buffer", "OpenGL;Texture;Depth;Reconstruct",
               "Viewspace Position", depth, matrix),
        Hooked("OpenGL.Texture.LinearizeDepth", "FilterLinearizeDepth", "For linearizing a depth texture",
               "OpenGL;Texture;Depth", "Lin. Depth", depth, matrix, "ShaderHelper"),
        Sampled("OpenGL.NormalizeColors", "FilterNormalizeColors",
                "This is a debugging filter and will convert values between [-1,1] to [0,1] range for display only",
                "OpenGL;Texture;Debug;", "Normalized", GL_CLAMP_TO_EDGE),
        Sampled("OpenGL.ResampleImage", "FilterResampleImage", "Copy a texture with resampling",
                "OpenGL;Texture;Copy;Resample", "Resampled", GL_REPEAT),
        {"OpenGL.Texture.TexelCopy", "FilterTexelCopy", "For copying the texels from one texture to another",
         "OpenGL;Texture;Copy",
         {{"Texture In", "hTextureIn", 'T'}, {"Target Texture", "hTargetTexture", 'T'},
          {"Sampler State", "hSamplerState", 's'}, {"LoD Level", "hLoDLevel", 'i'}, {"Offset", "hOffset", 'v'},
          {"Copy", "hTextureOut", 'O'}},
         {}, {"hTextureIn", "hTargetTexture", "hTextureOut", "hLoDLevel", "hOffset", "hSamplerState"},
         GL_CLAMP_TO_EDGE, NoInput},
        Sampled("OpenGL.Texture.LeanMap", "FilterLeanMap", "For creating a lean map from a normal map",
                "OpenGL;Texture;NormalMap", "LeanMap", 0),
    };
    return members;
}

// What the format table says when it refuses a format; "" when it does not.
std::string Refusal(GLenum eFormat, const std::string& strPort)
{
    return OndoTest::ErrorOf([&] { Prismvale::RequireImageUnitFormat(eFormat, strPort); });
}

// (key, PortID) of each element, the PortID empty where there is none.
std::vector<std::pair<std::string, std::string>> Elements(const TiXmlElement* pRoot)
{
    std::vector<std::pair<std::string, std::string>> elements;
    for (const TiXmlElement* pChild = pRoot->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement())
        elements.emplace_back(pChild->Value(), pChild->Attribute("PortID") ? pChild->Attribute("PortID") : "");
    return elements;
}

} // namespace

TEST(ComputeFilters, RegistrationPortsSkippedPassSamplersSettingsAndRelease)
{
    // Work groups of 16 x 16 cover the target, partial ones included.
    const std::pair<int, GLuint> groups[] = {{17, 2}, {16, 1}, {33, 3}, {1, 1}, {0, 0}};
    for (const auto& [iSize, uiGroups] : groups) EXPECT_EQ(Prismvale::GroupCount16(iSize), uiGroups) << iSize;
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    TextureObject2D input = OndoTest::MakeTexture(3, 2, GL_RGBA8);
    GLuint uiGiven = 0;
    glGenSamplers(1, &uiGiven);
    for (const Member& m : Members()) {
        SCOPED_TRACE(m.szType);
        Ondo::Core core;
        Ondo::CollectingLogger logger;
        core.SetLogger(&logger);
        auto pFilter = OndoTest::MakeFilter(core, m.szType);
        ASSERT_NE(pFilter, nullptr);
        const FilterDescriptor& descriptor = *FilterRegistry::Get(core).FindFilter(m.szType);
        EXPECT_EQ(descriptor.m_strSourceFile, std::string("src\\") + m.szClass);
        EXPECT_EQ(descriptor.m_strDescription, m.szDescription);
        EXPECT_EQ(descriptor.m_strKeywords, m.szKeywords);

        pFilter->ReleaseResources(device, device.GetContext()); // before any resources: nothing
        const int iPrograms = OndoTest::CountLive(glIsProgram), iShaders = OndoTest::CountLive(glIsShader),
                  iSamplers = OndoTest::CountLive(glIsSampler);
        pFilter->AttachDevice(device);
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms + 1);
        EXPECT_EQ(OndoTest::CountLive(glIsSampler), iSamplers + (m.iOwnWrap ? 1 : 0));

        const auto handles = pFilter->GetPortHandles();
        std::vector<std::string> ports, expectedPorts;
        for (const FixedPort& port : m.ports) expectedPorts.push_back(Signature(port));
        expectedPorts.insert(expectedPorts.end(), m.shaderPorts.begin(), m.shaderPorts.end());
        for (const auto& h : handles)
            ports.push_back(ports.size() < m.ports.size()
                                ? Signature(h->GetLabel(), h->IsOutput(), h->IsOptional(), h->GetTransportedType())
                                : h->GetLabel());
        ASSERT_EQ(ports, expectedPorts) << "the fixed ports in creation order, then the shader's";

        // A pass without a required input does nothing and says why.
        TextureObject2D target = OndoTest::MakeTexture(3, 2, GL_RGBA32F, std::vector<float>(24, 3.0f));
        if (m.szMissing != NoTarget)
            PortHandle<TexturePort>(pFilter->FindPort("Target Texture"))->SetData(&target, false);
        ScopeExecuter executer;
        pFilter->Execute(executer);
        EXPECT_EQ(logger.GetMessages(),
                  (std::vector<std::string>{"F: " + std::string(m.szMissing) + "; the pass was skipped.\n"}));
        EXPECT_EQ(PortHandle<TexturePort>(handles[m.ports.size() - 1])->GetData(), nullptr);
        for (float fValue : OndoTest::ReadTexture(target)) ASSERT_EQ(fValue, 3.0f) << "the target is untouched";
        // With an input: the own sampler, or none, until "Sampler State" carries one.
        if (m.szMissing == NoInput) {
            PortHandle<TexturePort>(pFilter->FindPort("Texture In"))->SetData(&input, false);
            glBindSampler(0, uiGiven); // what an earlier pass may have left on unit 0
            pFilter->Execute(executer);
            const GLuint uiOwn = OndoTest::SamplerOnUnit0();
            EXPECT_EQ(uiOwn == uiGiven, m.iOwnWrap == 0) << "binds its own sampler, where it has one";
            if (m.iOwnWrap) {
                GLint iWrap = 0;
                glGetSamplerParameteriv(uiOwn, GL_TEXTURE_WRAP_S, &iWrap);
                EXPECT_EQ(iWrap, m.iOwnWrap);
            }
            PortHandle<Ondo::OpenGL::GLuintPort>(pFilter->FindPort("Sampler State"))->SetData(&uiGiven, true);
            glBindSampler(0, 0);
            pFilter->Execute(executer);
            EXPECT_EQ(OndoTest::SamplerOnUnit0(), m.iOwnWrap ? uiGiven : 0u) << "the connected one, where it samples";
        }
        target.Release();

        // Settings: the keys in order, each handle under the number of its own port.
        Serialization::SaveInfo rotated;
        for (std::size_t i = 1; i <= handles.size(); ++i) rotated.AddPort(handles[i % handles.size()]);
        TiXmlDocument document, again;
        TiXmlElement* pRoot = OndoTest::Settings(*pFilter, document);
        std::vector<std::pair<std::string, std::string>> expected;
        for (const std::string& strKey : m.keys) {
            expected.emplace_back(strKey, "");
            for (std::size_t i = 0; i < m.ports.size(); ++i)
                if (m.ports[i].szKey == strKey) expected.back().second = std::to_string(i);
        }
        EXPECT_EQ(Elements(pRoot), expected);
        // The hooker records each port its shader declares, under "ShaderHelper" where named so.
        const TiXmlElement* pHooker = pRoot->FirstChildElement(m.keys[0].c_str());
        if (pHooker && m.keys[0] == "ShaderHelper") pHooker = pHooker->FirstChildElement("ShaderPorts");
        std::size_t uiSaved = 0;
        for (auto* pItem = pHooker ? pHooker->FirstChildElement("STL_Item") : nullptr; pItem;
             pItem = pItem->NextSiblingElement())
            ++uiSaved;
        EXPECT_EQ(uiSaved, m.shaderPorts.size());
        // Read under other numbers and written again, a handle keeps its
        // number only when it was read from its own key.
        EXPECT_NO_THROW(OndoTest::Settings(*pFilter, document, pRoot, &rotated));
        EXPECT_EQ(Elements(OndoTest::Settings(*pFilter, again, nullptr, &rotated)), expected);

        for (int iRelease = 0; iRelease < 2; ++iRelease) { // a second release does nothing
            iRelease == 0 ? pFilter->DetachDevice() : pFilter->ReleaseResources(device, device.GetContext());
            EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
            EXPECT_EQ(OndoTest::CountLive(glIsShader), iShaders);
            EXPECT_EQ(OndoTest::CountLive(glIsSampler), iSamplers) << "the own sampler goes with the filter";
        }
        pFilter->AttachDevice(device);
        EXPECT_EQ(pFilter->GetPortHandles(), handles) << "a second build makes no new ports";
        pFilter->DetachDevice();
    }
    glBindSampler(0, 0);
    glDeleteSamplers(1, &uiGiven);
    input.Release();
}

// Each channel of a texel from the same texel of the inputs, on every target
// format in turn (so float targets hold what 8-bit ones clamp); a value input
// runs with its default, then with a given value. A shader-declared input
// left unconnected keeps the member from running.
TEST(ComputeFilters, PerTexelMembersMatchTheirReferenceOnEveryTargetFormat)
{
    OndoTest::TestDevice();
    using Texel = const float*;
    struct Case { // a value input (szScalar) runs with its default, then with a given value
        const char *szType, *szOutput;
        std::vector<const char*> images;
        GLuint uiUnit;    // image unit of the target
        float fTolerance; // times max(1, |expected|)
        const char* szScalar; float fDefault; const char* szGiven;
        std::function<float(Texel, Texel, int, float)> fnChannel;
    };
    const std::vector<const char*> ab = {"Image A", "Image B"}, image = {"Image"}, in = {"Texture In"};
    const auto copy = [](Texel a, Texel, int c, float) { return a[c]; };
    const std::vector<Case> cases = {
        {"OpenGL.Texture.Add", "Sum", ab, 2, 1e-6f, nullptr, 0, nullptr,
         [](Texel a, Texel b, int c, float) { return a[c] + b[c]; }},
        {"OpenGL.Texture.Multiply", "Sum", ab, 2, 1e-6f, nullptr, 0, nullptr,
         [](Texel a, Texel b, int c, float) { return a[c] * b[c]; }},
        {"OpenGL.Texture.Blend", "Blended Image", ab, 2, 1e-6f, "Factor", 0.5f, "0.2",
         [](Texel a, Texel b, int c, float s) { return a[c] * (1 - s) + b[c] * s; }},
        {"OpenGL.NegativeImage", "Negative Image", image, 1, 1e-6f, nullptr, 0, nullptr,
         [](Texel a, Texel, int c, float) { return c == 3 ? a[3] : 1 - a[c]; }},
        {"OpenGL.LogLuminance", "Negative Image", image, 1, 1e-4f, nullptr, 0, nullptr,
         [](Texel a, Texel, int c, float) {
             const float fL = std::max(0.2126f * a[0] + 0.7152f * a[1] + 0.0722f * a[2], 0.0f);
             return c == 3 ? 1.0f : std::clamp((std::log2(fL + 1e-4f) + 13.3f) / 17.3f, 0.0f, 1.0f);
         }},
        {"OpenGL.MakeRedCyan", "Red/Cyan", {"Left Image", "Right Image"}, 2, 1e-6f, nullptr, 0, nullptr,
         [](Texel l, Texel r, int c, float) { return c == 0 ? l[0] : c == 3 ? 1.0f : r[c]; }},
        {"OpenGL.Texture.AbsDifference", "Abs Difference", ab, 2, 1e-6f, "Amplifier", 1.0f, "2.5",
         [](Texel a, Texel b, int c, float s) { return c == 3 ? a[3] : std::fabs(a[c] - b[c]) * s; }},
        {"OpenGL.Texture.ScalarMultiply", "Product", image, 2, 1e-6f, "Factor", 1.0f, "-0.75",
         [](Texel a, Texel, int c, float s) { return a[c] * s; }},
        // The image takes unit 0, so the target goes to image unit 1.
        {"OpenGL.GammaCorrection", "Corrected", image, 1, 2e-5f, "Gamma Value", 2.2f, "1.8",
         [](Texel a, Texel, int c, float s) { return c == 3 ? a[3] : std::pow(std::max(a[c], 0.0f), 1 / s); }},
        {"OpenGL.NormalizeColors", "Normalized", in, 1, 1e-6f, nullptr, 0, nullptr,
         [](Texel a, Texel, int c, float) { return a[c] * 0.5f + 0.5f; }},
        {"OpenGL.Texture.LeanMap", "LeanMap", in, 1, 1e-5f, nullptr, 0, nullptr,
         [](Texel a, Texel, int c, float) {
             const float fB = (a[c % 2] * 2 - 1) / std::max(a[2] * 2 - 1, 1.0f / 1024);
             return c < 2 ? fB * 0.5f + 0.5f : fB * fB;
         }},
        // Same-size targets: texel centres sample the texels themselves.
        {"OpenGL.Texture.TexelCopy", "Copy", in, 1, 0.0f, nullptr, 0, nullptr, copy},
        {"OpenGL.ResampleImage", "Resampled", in, 1, 1e-5f, nullptr, 0, nullptr, copy},
    };
    const int iWidth = OndoTest::OddWidth, iHeight = OndoTest::OddHeight;
    const std::vector<float> a = OndoTest::Pattern(iWidth, iHeight, 1, -0.2f, 1.2f),
                             b = OndoTest::Pattern(iWidth, iHeight, 2, -0.2f, 1.2f);
    TextureObject2D inputs[2] = {OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, a),
                                 OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, b)};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.szType);
        std::vector<TextureObject2D> targets;
        for (const OndoTest::TargetFormat& format : OndoTest::TargetFormats())
            targets.push_back(OndoTest::MakeTexture(iWidth, iHeight, format.eFormat, std::vector<float>(a.size(), -7)));
        OndoTest::FilterHarness harness;
        harness.Add(k.szType, "M");
        TextureObject2D*& pTarget = harness.Feed("M", "Target Texture", targets[0]);
        for (std::size_t i = 0; i + 1 < k.images.size(); ++i) harness.Feed("M", k.images[i], inputs[i]);
        EXPECT_FALSE(harness.Run());
        EXPECT_EQ(harness.GetLogger().GetMessages(),
                  (std::vector<std::string>{"M: Port \"" + std::string(k.images.back()) +
                                            "\" requires a connection to run.\n"}));
        harness.Feed("M", k.images.back(), inputs[k.images.size() - 1]);
        for (const bool bGiven : {false, true}) {
            if (bGiven && !k.szScalar) break;
            if (bGiven) harness.Set("M", k.szScalar, k.szGiven);
            for (std::size_t j = 0; j < targets.size(); ++j) {
                const OndoTest::TargetFormat& format = OndoTest::TargetFormats()[j];
                SCOPED_TRACE(std::string(format.szName) + (bGiven ? ", given value" : ", default value"));
                pTarget = &targets[j];
                for (GLuint uiUnit : {1u, 2u}) glBindImageTexture(uiUnit, 0, 0, GL_FALSE, 0, GL_WRITE_ONLY, GL_RGBA8);
                ASSERT_TRUE(harness.Run()) << ::testing::PrintToString(harness.GetLogger().GetMessages());
                GLint iBound = 0, iFormat = 0;
                glGetIntegeri_v(GL_IMAGE_BINDING_NAME, k.uiUnit, &iBound);
                glGetIntegeri_v(GL_IMAGE_BINDING_FORMAT, k.uiUnit, &iFormat);
                EXPECT_EQ(static_cast<GLuint>(iBound), targets[j].m_uiName) << "image unit of the target";
                EXPECT_EQ(static_cast<GLenum>(iFormat), format.eFormat) << "bound in its own format";

                const float fScalar = bGiven ? std::stof(k.szGiven) : k.fDefault;
                std::vector<float> expected(a.size());
                for (std::size_t i = 0; i < a.size(); ++i) {
                    const int c = static_cast<int>(i % 4);
                    expected[i] = format.Stored(c, k.fnChannel(&a[i - i % 4], &b[i - i % 4], c, fScalar));
                }
                OndoTest::ExpectTexels(OndoTest::ReadTexture(targets[j]), expected, format.Tolerance(k.fTolerance),
                                       iWidth);
                OndoTest::ExpectOutputIsTarget(harness, "M", k.szOutput, targets[j]);
            }
        }
        for (TextureObject2D& target : targets) target.Release();
    }
    for (TextureObject2D& input : inputs) input.Release();
}

// A chain in which each filter reads what the one before wrote: a sum, its
// negative (texelFetch of the sum), a copy of that (a sampled pass).
TEST(ComputeFilters, AChainReadsWhatTheFilterBeforeWrote)
{
    OndoTest::TestDevice();
    const int iWidth = OndoTest::OddWidth, iHeight = OndoTest::OddHeight;
    const std::vector<float> a = OndoTest::Pattern(iWidth, iHeight, 3), b = OndoTest::Pattern(iWidth, iHeight, 4);
    TextureObject2D textures[5] = {OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, a),
                                   OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, b),
                                   OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA16F),
                                   OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F),
                                   OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F)};
    OndoTest::FilterHarness harness;
    harness.Add("OpenGL.Texture.Add", "A");
    harness.Add("OpenGL.NegativeImage", "N");
    harness.Add("OpenGL.Texture.TexelCopy", "C");
    const char* feeds[][2] = {{"A", "Image A"}, {"A", "Image B"}, {"A", "Target Texture"}, {"N", "Target Texture"},
                              {"C", "Target Texture"}};
    for (int i = 0; i < 5; ++i) harness.Feed(feeds[i][0], feeds[i][1], textures[i]);
    harness.Connect("A", "Sum", "N", "Image");
    harness.Connect("N", "Negative Image", "C", "Texture In");
    for (int iFrame = 0; iFrame < 2; ++iFrame) ASSERT_TRUE(harness.Run());
    std::vector<float> expected(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) expected[i] = i % 4 == 3 ? a[i] + b[i] : 1 - (a[i] + b[i]);
    OndoTest::ExpectTexels(OndoTest::ReadTexture(textures[4]), expected, 2e-3f, iWidth);
    for (TextureObject2D& texture : textures) texture.Release();
}

// Which targets a compute shader can write, and what the refusals say (the
// filters pass these on as they are).
TEST(ComputeFilters, ImageUnitFormatTable)
{
    using Prismvale::TexelKind;
    const std::pair<GLenum, TexelKind> writable[] = {
        {GL_RGBA16, TexelKind::Float}, {GL_RG8_SNORM, TexelKind::Float}, {GL_R11F_G11F_B10F, TexelKind::Float},
        {GL_RGB10_A2, TexelKind::Float}, {GL_RG32I, TexelKind::Int}, {GL_R8UI, TexelKind::UInt},
        {GL_RGB10_A2UI, TexelKind::UInt}};
    for (const auto& [eFormat, eKind] : writable) {
        const Prismvale::ImageUnitFormat unit = Prismvale::RequireImageUnitFormat(eFormat, "T");
        EXPECT_EQ(unit.m_eFormat, eFormat);
        EXPECT_EQ(unit.m_eKind, eKind) << Prismvale::FormatName(eFormat);
    }
    const std::string strRGBA = "Give it an RGBA target such as GL_RGBA8, GL_RGBA16F or GL_RGBA32F.";
    const std::pair<GLenum, std::string> refused[] = {
        {GL_RGB8, "is a GL_RGB8 texture, which a compute shader cannot write: image load/store has no three-channel "
                  "formats. " + strRGBA},
        {GL_RGB32F, "is a GL_RGB32F texture, which a compute shader cannot write: image load/store has no "
                    "three-channel formats. " + strRGBA},
        {GL_DEPTH_COMPONENT24, "is a GL_DEPTH_COMPONENT24 texture, which a compute shader cannot write: image stores "
                               "cannot write depth or stencil formats. Give it a colour target such as GL_R32F or "
                               "GL_RGBA32F."},
        {GL_COMPRESSED_RGBA8_ETC2_EAC, "is a GL_COMPRESSED_RGBA8_ETC2_EAC texture, which a compute shader cannot "
                                       "write: image stores cannot write compressed formats. Give it an uncompressed "
                                       "RGBA target such as GL_RGBA8, GL_RGBA16F or GL_RGBA32F."},
        {GL_RGB32I, "is a GL_RGB32I texture, which a compute shader cannot write: image load/store has no "
                    "three-channel formats. Give it an RGBA target such as GL_RGBA8I, GL_RGBA16I or GL_RGBA32I."},
        {GL_SRGB8_ALPHA8, "is a GL_SRGB8_ALPHA8 texture, which a compute shader cannot write: image stores cannot "
                          "write sRGB formats. Give it a linear RGBA target such as GL_RGBA8, GL_RGBA16F or "
                          "GL_RGBA32F."},
        {GL_RGBA4, "is a GL_RGBA4 texture, which a compute shader cannot write: image load/store has no format "
                   "with this bit layout. " + strRGBA},
        {GL_RGBA, "is a GL_RGBA texture, which a compute shader cannot write: it is unsized (the driver chose its "
                  "precision) and image units bind sized formats only. " + strRGBA},
        {0x1234, "is a GL format 0x1234 texture, which a compute shader cannot write: image load/store does not "
                 "know this format. " + strRGBA}};
    for (const auto& [eFormat, strMessage] : refused) EXPECT_EQ(Refusal(eFormat, "T"), "\"T\" " + strMessage);
}

// Every member, given targets of the formats above: integer targets are
// computed by the members whose arithmetic holds on integers (from integer
// inputs of the same kind) and refused by the rest; inputs of another kind
// than the target are refused; targets no image store can write are refused
// by all. A refusal changes no GL state and leaves no GL error.
TEST(ComputeFilters, IntegerTargetsAreComputedOrRefusedAndUnwritableTargetsRefused)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    const int iWidth = 5, iHeight = 3;
    const std::vector<float> a = OndoTest::Pattern(iWidth, iHeight, 5, 0.0f, 90.0f),
                             b = OndoTest::Pattern(iWidth, iHeight, 6, -40.0f, 40.0f);
    const std::map<std::string, std::function<float(float, float)>> integerMembers = {
        {"OpenGL.Texture.Add", [](float x, float y) { return x + y; }},
        {"OpenGL.Texture.Multiply", [](float x, float y) { return x * y; }},
        {"OpenGL.Texture.TexelCopy", [](float x, float) { return x; }}};
    Ondo::Matrix44f projection = Ondo::Matrix44f::FromRows(
        {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1.5f, -2.5f, 0, 0, -1, 0});

    for (const Member& m : Members()) {
        SCOPED_TRACE(m.szType);
        Ondo::Core core;
        auto pFilter = OndoTest::MakeFilter(core, m.szType);
        const int iPrograms = OndoTest::CountLive(glIsProgram), iSamplers = OndoTest::CountLive(glIsSampler);
        pFilter->AttachDevice(device);
        if (auto hMatrix = pFilter->FindPort("Projection Matrix"); !hMatrix.IsNone())
            PortHandle<SimplePortT<Ondo::Matrix44f>>(hMatrix)->SetData(&projection, true);
        std::vector<PortHandle<TexturePort>> inputs; // the textures read, in the order the pass checks them
        for (const auto& hPort : pFilter->GetPortHandles())
            if (!hPort->IsOutput() && hPort->GetTransportedType() == TexturePort::s_strTypeName &&
                hPort->GetLabel() != "Target Texture")
                inputs.emplace_back(hPort);
        // Runs the member with a target and its inputs; "" or what it refused with.
        ScopeExecuter executer;
        auto run = [&](TextureObject2D& target, TextureObject2D& first, TextureObject2D& rest) {
            PortHandle<TexturePort>(pFilter->FindPort("Target Texture"))->SetData(&target, true);
            for (std::size_t i = 0; i < inputs.size(); ++i) inputs[i]->SetData(i == 0 ? &first : &rest, true);
            glUseProgram(0);
            try {
                pFilter->Execute(executer);
            } catch (const std::runtime_error& error) {
                GLint iProgram = -1;
                glGetIntegerv(GL_CURRENT_PROGRAM, &iProgram);
                EXPECT_EQ(iProgram, 0) << "a refusal uses no program";
                return std::string(error.what());
            }
            return std::string();
        };
        TextureObject2D floats = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, a);
        // A photo's format, an HDR image's, a depth buffer's and a compressed one.
        for (const GLenum eFormat : {GL_RGB8, GL_RGB32F, GL_DEPTH_COMPONENT24, GL_COMPRESSED_RGBA8_ETC2_EAC}) {
            TextureObject2D target = OndoTest::MakeTexture(iWidth, iHeight, eFormat);
            EXPECT_EQ(run(target, floats, floats), Refusal(eFormat, "Target Texture"));
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            target.Release();
        }
        for (const GLenum eFormat : {GL_RGBA32I, GL_R32UI}) {
            const bool bSigned = eFormat == GL_RGBA32I;
            const std::string strFormat = bSigned ? "GL_RGBA32I" : "GL_R32UI",
                              strKind = bSigned ? "signed-integer" : "unsigned-integer";
            SCOPED_TRACE(strFormat);
            TextureObject2D target = OndoTest::MakeTexture(iWidth, iHeight, eFormat, std::vector<float>(a.size(), 7)),
                            first = OndoTest::MakeTexture(iWidth, iHeight, eFormat, a),
                            second = OndoTest::MakeTexture(iWidth, iHeight, eFormat, bSigned ? b : a);
            const auto it = integerMembers.find(m.szType);
            if (it == integerMembers.end()) {
                EXPECT_EQ(run(target, first, second),
                          "\"Target Texture\" is a " + strFormat + " texture of " + strKind +
                              " texels, which this filter cannot compute: it works on float or normalised colours. "
                              "Give it a target such as GL_RGBA8, GL_RGBA16F or GL_RGBA32F.");
            } else {
                EXPECT_EQ(run(target, floats, second),
                          "\"" + inputs[0]->GetLabel() + "\" is a GL_RGBA32F texture of float or normalised texels, "
                          "but with a " + strFormat + " \"Target Texture\" the filter reads it as " + strKind +
                              " texels. Give the inputs and the target the same kind of texels.");
                ASSERT_EQ(run(target, first, second), "");
                const std::vector<float>& other = bSigned ? b : a;
                std::vector<float> expected(a.size());
                for (std::size_t i = 0; i < a.size(); ++i)
                    expected[i] = bSigned || i % 4 == 0 ? it->second(std::round(a[i]), std::round(other[i]))
                                                        : (i % 4 == 3 ? 1.0f : 0.0f);
                EXPECT_EQ(OndoTest::ReadTexture(target), expected);
            }
            // Integer inputs to a float target.
            TextureObject2D floatTarget = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA8);
            EXPECT_EQ(run(floatTarget, first, second),
                      "\"" + inputs[0]->GetLabel() + "\" is a " + strFormat + " texture of " + strKind +
                          " texels, but with a GL_RGBA8 \"Target Texture\" the filter reads it as float or "
                          "normalised texels. Give the inputs and the target the same kind of texels.");
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            for (TextureObject2D* pTexture : {&target, &first, &second, &floatTarget}) pTexture->Release();
        }
        floats.Release();
        pFilter->DetachDevice();
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms) << "the integer builds go with the filter";
        EXPECT_EQ(OndoTest::CountLive(glIsSampler), iSamplers);
    }
}

// Planes (camera-facing, or tilted with their true normal) are unoccluded;
// at a step in depth the lower (farther) side darkens within the sampling
// radius only; a foreground object far in front casts no halo. Every target
// format holds the grey result.
TEST(ComputeFiltersHooked, SSAOIsOneOnPlanesAndDarkensTheLowerSideOfAStep)
{
    OndoTest::TestDevice();
    const int iWidth = 37, iHeight = 21, iStep = 18; // columns below iStep are the lower side
    // The AO per texel, rows from the bottom, for a depth per column and one normal.
    auto run = [&](const std::function<float(int)>& fnDepth, std::vector<float> normal, const char* szRadius,
                   const OndoTest::TargetFormat& format = OndoTest::TargetFormats()[2]) {
        std::vector<float> depth, normals;
        for (int i = 0; i < iWidth * iHeight; ++i) {
            depth.insert(depth.end(), {fnDepth(i % iWidth), 0.0f, 0.0f, 1.0f});
            normals.insert(normals.end(), normal.begin(), normal.end());
        }
        TextureObject2D textures[3] = {
            OndoTest::MakeTexture(iWidth, iHeight, format.eFormat, std::vector<float>(depth.size(), -7)),
            OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, depth),
            OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, normals)};
        OndoTest::FilterHarness harness;
        harness.Add("OpenGL.SSAO_01", "AO");
        const char* inputs[] = {"Target Texture", "Depth", "Normals"};
        for (int i = 0; i < 3; ++i) harness.Feed("AO", inputs[i], textures[i]);
        if (szRadius) harness.Set("AO", "Radius", szRadius);
        EXPECT_TRUE(harness.Run());
        OndoTest::ExpectOutputIsTarget(harness, "AO", "Ambient Occlusion", textures[0]);
        const std::vector<float> texels = OndoTest::ReadTexture(textures[0]);
        std::vector<float> ao;
        for (std::size_t k = 0; k < texels.size(); k += 4) { // grey, alpha 1
            for (int c = 1; c < 4; ++c) EXPECT_EQ(texels[k + c], format.Stored(c, c == 3 ? 1.0f : texels[k])) << k / 4;
            ao.push_back(texels[k]);
        }
        for (TextureObject2D& texture : textures) texture.Release();
        return ao;
    };
    auto at = [&](const std::vector<float>& ao, int x, int y) { return ao[static_cast<std::size_t>(y * iWidth + x)]; };

    const std::vector<float> facing{0.0f, 0.0f, 1.0f, 0.0f};
    for (const OndoTest::TargetFormat& format : OndoTest::TargetFormats())
        for (float fAO : run([](int) { return 10.0f; }, facing, nullptr, format))
            EXPECT_NEAR(fAO, 1.0f, 1e-6f) << "flat depth, " << format.szName;
    // The plane n . P = -10 n.z with n = (0.5, 0, 1) / |.|, placed as the shader
    // places texels (default texel size 0.002): d = 10 n.z / (n.z - n.x 0.002 u).
    const float fNx = 0.5f / std::sqrt(1.25f), fNz = 1.0f / std::sqrt(1.25f);
    auto tilted = [&](int x) { return 10.0f * fNz / (fNz - fNx * 0.002f * (static_cast<float>(x) + 0.5f - 18.5f)); };
    for (float fAO : run(tilted, {fNx, 0.0f, fNz, 0.0f}, nullptr)) EXPECT_NEAR(fAO, 1.0f, 1e-6f) << "tilted plane";
    for (float fAO : run([&](int x) { return x >= iStep ? 2.0f : 10.0f; }, facing, nullptr))
        EXPECT_GT(fAO, 0.99f) << "no halo from a foreground object far in front";

    auto stepDepth = [&](int x) { return x >= iStep ? 9.9f : 10.0f; };
    const std::vector<float> step = run(stepDepth, facing, nullptr), wide = run(stepDepth, facing, "8");
    for (int y = 0; y < iHeight; ++y) { // every row: placed by depth, rows differ slightly
        SCOPED_TRACE("row " + std::to_string(y));
        for (int x = 0; x < iWidth; ++x) {
            if (x >= iStep || x < iStep - 4)
                EXPECT_EQ(at(step, x, y), 1.0f) << "column " << x << ": upper side or beyond the default radius 4";
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
