// What the engine keeps between frames for speed: one program for every
// instance of a shader, and each scope's execution order. Neither may show
// in a picture: instances keep their own uniforms, and every edit of the
// graph is followed by the next frame.

#include "ComputeFilterTestSupport.h"

#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/OpenGL/ShaderCompiler.h"

#include <cmath>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;

namespace {

constexpr int Width = OndoTest::OddWidth, Height = OndoTest::OddHeight;

} // namespace

// Three blends of the same shader: one program, each instance with its own
// factor, the one given none with the shader's own 0.5 although the program
// it shares was last given another; releasing them all frees the program.
TEST(SharedPrograms, InstancesShareOneProgramAndKeepTheirOwnUniforms)
{
    OndoTest::TestDevice();
    const std::size_t uiShared = Ondo::OpenGL::GetNumberOfSharedPrograms();
    const std::size_t uiUsers = Ondo::OpenGL::GetNumberOfProgramUsers();
    const int iPrograms = OndoTest::CountLive(glIsProgram);
    const std::vector<float> a = OndoTest::Pattern(Width, Height, 5), b = OndoTest::Pattern(Width, Height, 6);
    TextureObject2D inputs[2] = {OndoTest::MakeTexture(Width, Height, GL_RGBA32F, a),
                                 OndoTest::MakeTexture(Width, Height, GL_RGBA32F, b)};
    TextureObject2D targets[3] = {OndoTest::MakeTexture(Width, Height, GL_RGBA32F),
                                  OndoTest::MakeTexture(Width, Height, GL_RGBA32F),
                                  OndoTest::MakeTexture(Width, Height, GL_RGBA32F)};
    {
        OndoTest::FilterHarness harness;
        const char* names[3] = {"Blend 0.2", "Blend 0.9", "Blend default"};
        for (int i = 0; i < 3; ++i) {
            harness.Add("OpenGL.Texture.Blend", names[i]);
            harness.Feed(names[i], "Image A", inputs[0]);
            harness.Feed(names[i], "Image B", inputs[1]);
            harness.Feed(names[i], "Target Texture", targets[i]);
        }
        EXPECT_EQ(Ondo::OpenGL::GetNumberOfSharedPrograms(), uiShared + 1) << "one program for the three";
        EXPECT_EQ(Ondo::OpenGL::GetNumberOfProgramUsers(), uiUsers + 3);
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms + 1);
        harness.Set(names[0], "Factor", "0.2");
        harness.Set(names[1], "Factor", "0.9");
        for (int iFrame = 0; iFrame < 2; ++iFrame) ASSERT_TRUE(harness.Run());
        const float factors[3] = {0.2f, 0.9f, 0.5f};
        for (int i = 0; i < 3; ++i) {
            std::vector<float> expected(a.size());
            for (std::size_t t = 0; t < a.size(); ++t) expected[t] = a[t] + (b[t] - a[t]) * factors[i];
            SCOPED_TRACE(names[i]);
            OndoTest::ExpectTexels(OndoTest::ReadTexture(targets[i]), expected, 1e-5f, Width);
        }
    }
    EXPECT_EQ(Ondo::OpenGL::GetNumberOfSharedPrograms(), uiShared);
    EXPECT_EQ(Ondo::OpenGL::GetNumberOfProgramUsers(), uiUsers);
    EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms) << "the last user's release deletes the program";
    for (TextureObject2D& texture : inputs) texture.Release();
    for (TextureObject2D& texture : targets) texture.Release();
}

// The negative is added before the sum it comes to read, so only a fresh
// order runs the sum first. Each edit is followed by one frame whose sum
// differs from the last (a new first image), so a stale order reads the
// previous frame's sum. Edits: a connection replaced, a filter added in
// between, that filter removed again.
TEST(ExecutionOrder, EveryEditOfTheGraphIsFollowedByTheNextFrame)
{
    OndoTest::TestDevice();
    std::vector<std::vector<float>> firsts;
    for (unsigned int uiSeed = 10; uiSeed < 14; ++uiSeed) firsts.push_back(OndoTest::Pattern(Width, Height, uiSeed));
    const std::vector<float> b = OndoTest::Pattern(Width, Height, 7, 0.0f, 0.5f);
    const std::vector<float> other = OndoTest::Pattern(Width, Height, 8);
    std::vector<TextureObject2D> textures;
    for (const std::vector<float>& first : firsts) textures.push_back(OndoTest::MakeTexture(Width, Height, GL_RGBA32F, first));
    TextureObject2D second = OndoTest::MakeTexture(Width, Height, GL_RGBA32F, b);
    TextureObject2D otherImage = OndoTest::MakeTexture(Width, Height, GL_RGBA32F, other);
    TextureObject2D sum = OndoTest::MakeTexture(Width, Height, GL_RGBA32F);
    TextureObject2D negative = OndoTest::MakeTexture(Width, Height, GL_RGBA32F);
    TextureObject2D corrected = OndoTest::MakeTexture(Width, Height, GL_RGBA32F);
    {
        OndoTest::FilterHarness harness;
        Graph& graph = harness.GetGraph();
        Scope& root = graph.GetRoot();
        harness.Add("OpenGL.NegativeImage", "Negative");
        harness.Add("OpenGL.Texture.Add", "Add");
        harness.Feed("Negative", "Target Texture", negative);
        harness.Feed("Negative", "Image", otherImage);
        TextureObject2D*& pFirst = harness.Feed("Add", "Image A", textures[0]);
        harness.Feed("Add", "Image B", second);
        harness.Feed("Add", "Target Texture", sum);
        const auto expectNegativeOf = [&](const std::function<float(float)>& fnColour, const std::vector<float>& in) {
            std::vector<float> expected(in.size());
            for (std::size_t t = 0; t < in.size(); ++t) expected[t] = t % 4 == 3 ? in[t] : 1.0f - fnColour(in[t]);
            OndoTest::ExpectTexels(OndoTest::ReadTexture(negative), expected, 1e-4f, Width);
        };
        const auto sumOf = [&](std::size_t uiFirst) {
            std::vector<float> s(b.size());
            for (std::size_t t = 0; t < b.size(); ++t) s[t] = firsts[uiFirst][t] + b[t];
            return s;
        };
        const auto same = [](float f) { return f; };
        ASSERT_TRUE(harness.Run());
        expectNegativeOf(same, other);

        const PortHandle<Port> hImage = graph.FindPort(root, "Negative", "Image", false);
        root.Disconnect(hImage);
        graph.Connect(root, "Add", "Sum", "Negative", "Image");
        pFirst = &textures[1];
        ASSERT_TRUE(harness.Run());
        {
            SCOPED_TRACE("connection replaced");
            expectNegativeOf(same, sumOf(1));
        }

        harness.Add("OpenGL.GammaCorrection", "Gamma");
        graph.Connect(root, "Add", "Sum", "Gamma", "Image");
        harness.Feed("Gamma", "Target Texture", corrected);
        harness.Set("Gamma", "Gamma Value", "2");
        root.Disconnect(hImage);
        graph.Connect(root, "Gamma", "Corrected", "Negative", "Image");
        pFirst = &textures[2];
        ASSERT_TRUE(harness.Run());
        {
            SCOPED_TRACE("filter added");
            expectNegativeOf([](float f) { return std::sqrt(f); }, sumOf(2));
        }

        // The scope drops the filter with its connections: the negative has
        // no image left and waits, its picture untouched.
        auto& gamma = dynamic_cast<Ondo::OpenGL::BaseFilter&>(graph.RequireItem("Gamma"));
        gamma.DetachDevice();
        root.RemoveItem(gamma);
        pFirst = &textures[3];
        EXPECT_FALSE(harness.Run());
        {
            SCOPED_TRACE("filter removed");
            expectNegativeOf([](float f) { return std::sqrt(f); }, sumOf(2));
        }
        graph.Connect(root, "Add", "Sum", "Negative", "Image");
        ASSERT_TRUE(harness.Run());
        expectNegativeOf(same, sumOf(3));
    }
    for (TextureObject2D* pTexture : {&second, &otherImage, &sum, &negative, &corrected}) pTexture->Release();
    for (TextureObject2D& texture : textures) texture.Release();
}
