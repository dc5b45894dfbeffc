// The hooked compute filters with an input of their own: amplified absolute
// difference, scalar multiply, gamma correction, view-space position and
// linear depth from a projection matrix.

#include "support/FilterHarness.h"
#include "support/GLObjects.h"

#include "frame/PluginLoad.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <sstream>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;
using TexturePort = SimplePortT<TextureObject2D>;

namespace {

// Targets 19 x 13 cover a partial work group in both directions.
constexpr int Width = 19, Height = 13;

std::vector<float> Pattern(float fSeed, float fStep)
{
    std::vector<float> texels(static_cast<std::size_t>(Width * Height * 4));
    for (std::size_t i = 0; i < texels.size(); ++i) texels[i] = fSeed + fStep * static_cast<float>(i % 89);
    return texels;
}

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

struct Member {
    const char *szType, *szSource, *szDescription, *szKeywords;
    // Fixed ports in creation order: label, optional, transported type, settings key.
    std::vector<std::tuple<std::string, bool, std::string, std::string>> ports;
    // Settings keys in the order written.
    std::vector<std::string> keys;
};

const std::string Tex = "Ondo::OpenGL::TextureObject2D", Flt = "float", Mat = "Ondo::Matrix44f";

const std::vector<Member>& Members()
{
    static const std::vector<Member> members = {
        {"OpenGL.Texture.AbsDifference", "src\\FilterTextureAbsDifference",
         "For computing the absolute difference between two images", "OpenGL;Texture;Difference",
         {{"Target Texture", false, Tex, "hTargetTexture"}, {"Amplifier", true, Flt, "hAmplifier"},
          {"Abs Difference", false, Tex, "hTextureOut"}},
         {"ShaderPorts", "hTargetTexture", "hTextureOut", "hAmplifier"}},
        {"OpenGL.Texture.ScalarMultiply", "src\\FilterTextureScalarMultiply", "For scaling the values in a texture",
         "OpenGL;Texture;Multiply;Scale",
         {{"Target Texture", false, Tex, "hTargetTexture"}, {"Factor", true, Flt, "hScalarIn"},
          {"Product", false, Tex, "hTextureOut"}},
         {"ShaderPorts", "hTargetTexture", "hTextureOut", "hScalarIn"}},
        {"OpenGL.GammaCorrection", "src\\FilterGammaCorrection", "Gamma correction",
         "OpenGL;Gamma Correction;PostProcess;",
         {{"Gamma Value", true, Flt, "hGammaIn"}, {"Target Texture", false, Tex, "hTargetTexture"},
          {"Corrected", false, Tex, "hTextureOut"}},
         {"ShaderPorts", "hGammaIn", "hTargetTexture", "hTextureOut"}},
        {"OpenGL.Texture.DepthToViewSpacePosition", "src\\FilterDepthToViewSpacePos",
         "For reconstructing the viewspace position from the depth buffer", "OpenGL;Texture;Depth;Reconstruct",
         {{"Target Texture", false, Tex, "hTargetTexture"}, {"Projection Matrix", false, Mat, "hProjectionMatrix"},
          {"Viewspace Position", false, Tex, "hTextureOut"}},
         {"ShaderPorts", "hTargetTexture", "hTextureOut", "hProjectionMatrix"}},
        {"OpenGL.Texture.LinearizeDepth", "src\\FilterLinearizeDepth", "For linearizing a depth texture",
         "OpenGL;Texture;Depth",
         {{"Target Texture", false, Tex, "hTargetTexture"}, {"Projection Matrix", false, Mat, "hProjectionMatrix"},
          {"Lin. Depth", false, Tex, "hTextureOut"}},
         {"ShaderHelper", "hTargetTexture", "hTextureOut", "hProjectionMatrix"}},
    };
    return members;
}

// The handle elements of a settings element: key and PortID.
std::vector<std::pair<std::string, std::string>> Elements(TiXmlElement* pRoot)
{
    std::vector<std::pair<std::string, std::string>> elements;
    for (TiXmlElement* pChild = pRoot->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement())
        elements.emplace_back(pChild->Value(), pChild->Attribute("PortID") ? pChild->Attribute("PortID") : "");
    return elements;
}

} // namespace

TEST(ComputeFiltersUniform, RegistrationPortsSettingsAndRelease)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    for (const Member& member : Members()) {
        SCOPED_TRACE(member.szType);
        Ondo::Core core;
        auto pFilter = MakeFilter(core, member.szType);
        ASSERT_NE(pFilter, nullptr);
        const FilterDescriptor& descriptor = *FilterRegistry::Get(core).FindFilter(member.szType);
        EXPECT_EQ(descriptor.m_strSourceFile, member.szSource);
        EXPECT_EQ(descriptor.m_strDescription, member.szDescription);
        EXPECT_EQ(descriptor.m_strKeywords, member.szKeywords);

        const auto fixed = pFilter->GetPortHandles();
        ASSERT_EQ(fixed.size(), member.ports.size());
        for (std::size_t i = 0; i < fixed.size(); ++i) {
            const auto& [strLabel, bOptional, strType, strKey] = member.ports[i];
            EXPECT_EQ(fixed[i]->GetLabel(), strLabel);
            EXPECT_EQ(fixed[i]->IsOptional(), bOptional) << strLabel;
            EXPECT_EQ(fixed[i]->GetTransportedType(), strType) << strLabel;
            EXPECT_EQ(fixed[i]->IsOutput(), i + 1 == fixed.size()) << "the output comes last";
        }

        const int iPrograms = OndoTest::CountLive(glIsProgram), iShaders = OndoTest::CountLive(glIsShader);
        pFilter->AttachDevice(device);
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms + 1);
        const auto handles = pFilter->GetPortHandles();
        EXPECT_GT(handles.size(), fixed.size()) << "the shader declares its image input";

        // Write: the keys in order, each handle under the number of its own port.
        TiXmlDocument document;
        TiXmlElement* pRoot = document.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
        Serialization::SaveInfo info;
        for (const auto& hPort : handles) info.AddPort(hPort);
        Serialization::Serializer writer(&document, pRoot, &info);
        pFilter->Serialize(writer);
        const auto written = Elements(pRoot);
        ASSERT_EQ(written.size(), member.keys.size());
        for (std::size_t i = 0; i < written.size(); ++i) EXPECT_EQ(written[i].first, member.keys[i]);
        for (std::size_t i = 0; i < fixed.size(); ++i)
            EXPECT_STREQ(pRoot->FirstChildElement(std::get<3>(member.ports[i]).c_str())->Attribute("PortID"),
                         std::to_string(info.m_PortToID.at(fixed[i])).c_str());
        // The nested hooker state holds the hooker's own element.
        EXPECT_EQ(member.keys[0] == "ShaderHelper",
                  pRoot->FirstChildElement(member.keys[0].c_str())->FirstChildElement("ShaderPorts") != nullptr);

        // Read into a second instance: its handles take the first one's
        // ports, so writing it again gives the same numbers.
        auto pSecond = MakeFilter(core, member.szType);
        Serialization::Serializer reader(nullptr, pRoot, &info);
        pSecond->Serialize(reader);
        TiXmlDocument again;
        TiXmlElement* pAgain = again.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
        Serialization::Serializer rewriter(&again, pAgain, &info);
        pSecond->Serialize(rewriter);
        EXPECT_EQ(Elements(pAgain), written);

        pFilter->DetachDevice();
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
        EXPECT_EQ(OndoTest::CountLive(glIsShader), iShaders);
        pFilter->ReleaseResources(device, device.GetContext()); // a second release does nothing
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
    }
}

namespace {

// A member with a scalar input: its shader-declared images, the scalar's
// default and a value given to it, the image unit of the target and the
// operation per channel (c) on the inputs' values.
struct ScalarCase {
    const char *szType, *szOutput;
    std::vector<const char*> images;
    const char* szScalar;
    float fDefault;
    const char* szGiven;
    float fGiven;
    GLuint uiUnit; // image unit of the target
    std::function<float(const std::vector<float>&, int, float)> fnReference;
};

} // namespace

TEST(ComputeFiltersUniform, ScalarMembersMatchTheirReferenceWithDefaultAndGivenValue)
{
    OndoTest::TestDevice();
    const std::vector<ScalarCase> cases = {
        {"OpenGL.Texture.AbsDifference", "Abs Difference", {"Image A", "Image B"}, "Amplifier", 1.0f, "2.5", 2.5f, 2,
         [](const std::vector<float>& v, int c, float s) { return c == 3 ? v[0] : std::fabs(v[0] - v[1]) * s; }},
        {"OpenGL.Texture.ScalarMultiply", "Product", {"Image"}, "Factor", 1.0f, "-0.75", -0.75f, 2,
         [](const std::vector<float>& v, int, float s) { return v[0] * s; }},
        // The image takes unit 0, so the target goes to image unit 1.
        {"OpenGL.GammaCorrection", "Corrected", {"Image"}, "Gamma Value", 2.2f, "1.8", 1.8f, 1,
         [](const std::vector<float>& v, int c, float s) {
             return c == 3 ? v[0] : std::pow(std::max(v[0], 0.0f), 1.0f / s);
         }},
    };
    for (const ScalarCase& test : cases) {
        SCOPED_TRACE(test.szType);
        std::vector<std::vector<float>> inputs;
        std::vector<TextureObject2D> textures;
        for (std::size_t i = 0; i < test.images.size(); ++i) {
            inputs.push_back(Pattern(-0.2f + 0.45f * static_cast<float>(i), 0.0137f * static_cast<float>(i + 1)));
            textures.push_back(OndoTest::MakeTexture(Width, Height, GL_RGBA32F, inputs.back()));
        }
        TextureObject2D target =
            OndoTest::MakeTexture(Width, Height, GL_RGBA32F, std::vector<float>(inputs[0].size(), -7.0f));

        OndoTest::FilterHarness harness;
        harness.Add(test.szType, "M");
        harness.Feed("M", "Target Texture", target);
        for (std::size_t i = 0; i < textures.size(); ++i) harness.Feed("M", test.images[i], textures[i]);

        for (const bool bGiven : {false, true}) {
            SCOPED_TRACE(bGiven ? "given value" : "default");
            if (bGiven) harness.Set("M", test.szScalar, test.szGiven);
            for (GLuint uiUnit : {1u, 2u}) glBindImageTexture(uiUnit, 0, 0, GL_FALSE, 0, GL_WRITE_ONLY, GL_RGBA8);
            ASSERT_TRUE(harness.Run()) << "the scalar input is optional";
            GLint iBound = 0;
            glGetIntegeri_v(GL_IMAGE_BINDING_NAME, test.uiUnit, &iBound);
            EXPECT_EQ(static_cast<GLuint>(iBound), target.m_uiName) << "image unit of the target";
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

            const float fScalar = bGiven ? test.fGiven : test.fDefault;
            const std::vector<float> result = OndoTest::ReadTexture(target);
            for (std::size_t i = 0; i < result.size(); ++i) {
                std::vector<float> values;
                for (const auto& input : inputs) values.push_back(input[i]);
                const float fExpected = test.fnReference(values, static_cast<int>(i % 4), fScalar);
                // RGBA32F throughout: only the GPU's float arithmetic (pow in
                // the gamma shader) separates the two.
                ASSERT_NEAR(result[i], fExpected, 2e-5f) << "texel " << (i / 4) % Width << "," << i / 4 / Width
                                                         << " channel " << i % 4;
            }
            bool bChanged = false;
            EXPECT_EQ(harness.Output<TextureObject2D>("M", test.szOutput, &bChanged), &target);
            EXPECT_TRUE(bChanged);
        }
        target.Release();
        for (TextureObject2D& texture : textures) texture.Release();
    }
}

TEST(ComputeFiltersUniform, ScalarMultiplyWritesAnRGBA8TargetInItsOwnFormat)
{
    OndoTest::TestDevice();
    const std::vector<float> input = Pattern(0.0f, 0.0113f);
    TextureObject2D source = OndoTest::MakeTexture(Width, Height, GL_RGBA32F, input);
    TextureObject2D target = OndoTest::MakeTexture(Width, Height, GL_RGBA8, std::vector<float>(input.size(), 0.25f));
    OndoTest::FilterHarness harness;
    harness.Add("OpenGL.Texture.ScalarMultiply", "M");
    harness.Feed("M", "Target Texture", target);
    harness.Feed("M", "Image", source);
    harness.Set("M", "Factor", "1.8");
    ASSERT_TRUE(harness.Run());
    const std::vector<float> result = OndoTest::ReadTexture(target);
    // Stored as 8-bit unsigned normalised: clamped to [0, 1], within half a step.
    for (std::size_t i = 0; i < result.size(); ++i)
        ASSERT_NEAR(result[i], std::min(std::max(input[i] * 1.8f, 0.0f), 1.0f), 0.5f / 255.0f + 1e-5f) << i;
    source.Release();
    target.Release();
}

namespace {

// gluPerspective(fovy, aspect, near, far), stored column by column.
Ondo::Matrix44f Perspective(float fFovY, float fAspect, float fNear, float fFar)
{
    const float f = 1.0f / std::tan(fFovY / 2.0f);
    return Ondo::Matrix44f::FromRows({f / fAspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (fFar + fNear) / (fNear - fFar),
                                      2 * fFar * fNear / (fNear - fFar), 0, 0, -1, 0});
}

// The text form of a matrix: sixteen numbers row by row, each exact.
std::string RowsText(const Ondo::Matrix44f& m)
{
    std::ostringstream text;
    text.precision(9);
    for (std::size_t i = 0; i < 16; ++i) text << m(i / 4, i % 4) << ' ';
    return text.str();
}

} // namespace

TEST(ComputeFiltersUniform, ProjectionMembersReconstructFromDepth)
{
    OndoTest::TestDevice();
    const float fFovY = 0.9f, fAspect = 1.6f, fNear = 0.5f, fFar = 40.0f;
    const Ondo::Matrix44f projection = Perspective(fFovY, fAspect, fNear, fFar);
    const float* e = projection.data();

    // Window depths across [0, 1], both ends at the corner texels.
    std::vector<float> depth(static_cast<std::size_t>(Width * Height * 4), 0.0f);
    for (int i = 0; i < Width * Height; ++i)
        depth[static_cast<std::size_t>(i) * 4] = static_cast<float>(i) / static_cast<float>(Width * Height - 1);
    TextureObject2D depthTexture = OndoTest::MakeTexture(Width, Height, GL_R32F, depth);

    for (const bool bPosition : {true, false}) {
        const char* szType = bPosition ? "OpenGL.Texture.DepthToViewSpacePosition" : "OpenGL.Texture.LinearizeDepth";
        const char* szOutput = bPosition ? "Viewspace Position" : "Lin. Depth";
        SCOPED_TRACE(szType);
        TextureObject2D target =
            OndoTest::MakeTexture(Width, Height, GL_RGBA32F, std::vector<float>(depth.size(), -7.0f));
        OndoTest::FilterHarness harness;
        // The filter's program: the one its creation added.
        std::set<GLuint> before;
        for (GLuint uiName = 1; uiName <= 2048; ++uiName)
            if (glIsProgram(uiName)) before.insert(uiName);
        harness.Add(szType, "D");
        GLuint uiProgram = 0;
        for (GLuint uiName = 1; uiName <= 2048; ++uiName)
            if (glIsProgram(uiName) && !before.count(uiName)) uiProgram = uiName;
        ASSERT_NE(uiProgram, 0u);

        harness.Feed("D", "Target Texture", target);
        harness.Feed("D", "Depth Texture", depthTexture);
        EXPECT_FALSE(harness.Run()) << "the matrix is required";
        EXPECT_EQ(harness.GetLogger().GetMessages(),
                  (std::vector<std::string>{"D: Port \"Projection Matrix\" requires a connection to run.\n"}));
        harness.Set("D", "Projection Matrix", RowsText(projection));
        ASSERT_TRUE(harness.Run());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

        // The uniforms: near and far as built, the frustum edges from the
        // matrix elements (e0 ... e15 in storage order).
        GLfloat fN = 0, fF = 0, xy[2] = {0, 0};
        glGetUniformfv(uiProgram, 1, &fN);
        glGetUniformfv(uiProgram, 2, &fF);
        EXPECT_NEAR(fN, fNear, 1e-4f * fNear);
        EXPECT_NEAR(fF, fFar, 1e-4f * fFar);
        if (bPosition) {
            glGetUniformfv(uiProgram, 0, xy);
            const float fN2 = e[14] / (e[10] - 1.0f);
            const float fY = ((e[6] + 1.0f) * fN2 / e[5]) / fN2;
            const float fX = -(((e[2] - 1.0f) * fN2 / e[0]) / ((e[6] - 1.0f) * fN2 / e[5])) * fY;
            EXPECT_FLOAT_EQ(xy[0], fX);
            EXPECT_FLOAT_EQ(xy[1], fY);
            // For this matrix: the left and top edges at unit distance.
            EXPECT_NEAR(xy[1], std::tan(fFovY / 2.0f), 1e-5f);
            EXPECT_NEAR(xy[0], -fAspect * std::tan(fFovY / 2.0f), 1e-5f);
        }

        // Reference: linear distance from the window depth, position by the
        // inverse of the projection at the texel centre.
        const std::vector<float> result = OndoTest::ReadTexture(target);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y * Width + x) * 4;
                const double d = depth[i], n = fNear, f = fFar;
                const double z = 2.0 * n * f / (f + n - (2.0 * d - 1.0) * (f - n));
                const double nx = (x + 0.5) / Width * 2.0 - 1.0, ny = (y + 0.5) / Height * 2.0 - 1.0;
                const double expected[4] = {bPosition ? nx * z / e[0] : z, bPosition ? ny * z / e[5] : z,
                                            bPosition ? -z : z, 1.0};
                for (int c = 0; c < 4; ++c)
                    // Single-precision shader arithmetic: relative 1e-4, at least 1e-4.
                    ASSERT_NEAR(result[i + c], expected[c], 1e-4 * std::max(1.0, std::fabs(expected[c])))
                        << "texel " << x << "," << y << " channel " << c;
            }
        bool bChanged = false;
        EXPECT_EQ(harness.Output<TextureObject2D>("D", szOutput, &bChanged), &target);
        EXPECT_TRUE(bChanged);
        target.Release();
    }
    depthTexture.Release();
}

TEST(ComputeFiltersUniform, ProjectionMembersSkipThePassWithoutAMatrixValue)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    for (const char* szType : {"OpenGL.Texture.DepthToViewSpacePosition", "OpenGL.Texture.LinearizeDepth"}) {
        SCOPED_TRACE(szType);
        Ondo::Core core;
        Ondo::CollectingLogger logger;
        core.SetLogger(&logger);
        auto pFilter = MakeFilter(core, szType);
        pFilter->AttachDevice(device);
        TextureObject2D target = OndoTest::MakeTexture(Width, Height, GL_RGBA32F, Pattern(3.0f, 0.0f));
        PortHandle<TexturePort>(pFilter->FindPort("Target Texture"))->SetData(&target, true);
        ScopeExecuter executer;
        pFilter->Execute(executer);
        EXPECT_EQ(logger.GetMessages(),
                  (std::vector<std::string>{"F: \"Projection Matrix\" carries no value; the pass was skipped.\n"}));
        EXPECT_EQ(PortHandle<TexturePort>(pFilter->GetPortHandles()[2])->GetData(), nullptr);
        for (float fValue : OndoTest::ReadTexture(target)) ASSERT_EQ(fValue, 3.0f) << "the target is untouched";
        pFilter->DetachDevice();
        target.Release();
    }
}
