// What the engine adds to the work of the filters, on the headless context:
//
// HostCostPerFilter/N: one frame of a chain of N filters that do next to
//   nothing (each passes a float on), with every engine step a real frame
//   takes: execution order, pulling inputs, the readiness check, making the
//   context current, the GL error check after each filter. "per_filter" is
//   the frame's time over N, and should stay flat as N grows.
// FilterFrame/<filter>/<width> against BareDispatch/<filter>/<width>: a compute filter's frame
//   (its Process through the graph, hooker, checks) against a bare
//   glDispatchCompute of the same program on the same textures, glFinish
//   after each. Sizes: 1920 x 1080, and 3840 x 2160 for the bandwidth
//   figures (bytes each pass reads and writes, as bytes_per_second).

#include "frame/PluginLoad.h"

#include "host/FlowGraph/Graph.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/Device.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/OpenGL/ShaderCompiler.h"

#include "frame/ShaderPrograms.h"

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace Ondo::FlowGraph;

Ondo::OpenGL::Device& BenchDevice()
{
    static Ondo::OpenGL::Device s_Device(Ondo::OpenGL::Context::CreateHeadless());
    s_Device.MakeCurrent();
    return s_Device;
}

// Passes its input on: the cheapest filter there is.
class Pass : public Ondo::OpenGL::BaseFilter {
public:
    Pass(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override
    {
        CreatePort(hIn, {PortType::Input, "In", true});
        CreatePort(hOut, {PortType::Output, "Out", false});
    }
    void Process(ScopeExecuter&) override
    {
        m_fValue = hIn->GetData() ? *hIn->GetData() + 1.0f : 0.0f;
        hOut->SetData(&m_fValue, true);
    }
    PortHandle<SimplePortT<float>> hIn, hOut;
    float m_fValue = 0.0f;
};

// Publishes a texture the benchmark owns.
class TextureFeed : public Ondo::OpenGL::BaseFilter {
public:
    TextureFeed(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override { CreatePort(hOut, {PortType::Output, "Texture", false}); }
    void Process(ScopeExecuter&) override { hOut->SetData(m_pTexture, true); }
    PortHandle<SimplePortT<Ondo::OpenGL::TextureObject2D>> hOut;
    Ondo::OpenGL::TextureObject2D* m_pTexture = nullptr;
};

template <class F>
void Register(Ondo::Core& core, const char* szType)
{
    FilterRegistry::Get(core).RegisterFilter(
        {szType, "", "", "", [](Ondo::Core& c, const std::string& n) -> Filter* { return new F(c, n); }});
}

void HostCostPerFilter(benchmark::State& state)
{
    Ondo::Core core;
    Register<Pass>(core, "Bench.Pass");
    Graph graph(core);
    graph.AttachDevice(BenchDevice());
    const auto iFilters = static_cast<int>(state.range(0));
    for (int i = 0; i < iFilters; ++i) {
        graph.AddItem(graph.GetRoot(), "Bench.Pass", "Pass" + std::to_string(i));
        if (i > 0)
            graph.Connect(graph.GetRoot(), "Pass" + std::to_string(i - 1), "Out", "Pass" + std::to_string(i), "In");
    }
    ScopeExecuter executer;
    graph.RunFrame(executer); // the execution order is worked out once
    for (auto _ : state) graph.RunFrame(executer);
    if (executer.GetNumberOfSkipped() != 0) state.SkipWithError("a filter was skipped");
    state.counters["per_filter"] =
        benchmark::Counter(static_cast<double>(iFilters), benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
}

// One compute filter and the textures it reads and writes, RGBA8.
struct ComputeCase {
    const char* szType;
    const wchar_t* szShader;
    std::vector<const char*> inputs; // input labels, in the order of the units the bare dispatch binds
    const char* szTargetLabel;
    GLuint uiImageUnit;
    int iBytesPerTexel; // read and written, per target texel
};

const ComputeCase& CaseOf(int iCase)
{
    static const ComputeCase s_Cases[] = {
        {"OpenGL.GammaCorrection", L"GammaCorrection/GammaCorrection.comp", {"Image"}, "Target Texture", 1, 8},
        {"OpenGL.Texture.Add", L"TextureAdd/TextureAdd.comp", {"Image A", "Image B"}, "Target Texture", 2, 12},
        {"OpenGL.Texture.TexelCopy", L"TexelCopy/TexelCopy.comp", {"Texture In"}, "Target Texture", 1, 8},
    };
    return s_Cases[iCase];
}

struct ComputeSetup {
    explicit ComputeSetup(const ComputeCase& c, int iWidth, int iHeight) : graph(core)
    {
        Prismvale::LoadIntoCore(core);
        Register<TextureFeed>(core, "Bench.TextureFeed");
        graph.AttachDevice(BenchDevice());
        const std::vector<unsigned char> texels(static_cast<std::size_t>(iWidth) * iHeight * 4, 100);
        for (std::size_t i = 0; i <= c.inputs.size(); ++i) {
            Ondo::OpenGL::TextureObject2D texture;
            glGenTextures(1, &texture.m_uiName);
            glBindTexture(GL_TEXTURE_2D, texture.m_uiName);
            glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, iWidth, iHeight);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, iWidth, iHeight, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            textures.push_back(std::make_unique<Ondo::OpenGL::TextureObject2D>(texture));
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        graph.AddItem(graph.GetRoot(), c.szType, "Filter");
        for (std::size_t i = 0; i <= c.inputs.size(); ++i) {
            const std::string strFeed = "Feed" + std::to_string(i);
            auto& feed = dynamic_cast<TextureFeed&>(graph.AddItem(graph.GetRoot(), "Bench.TextureFeed", strFeed));
            feed.m_pTexture = textures[i].get();
            graph.Connect(graph.GetRoot(), strFeed, "Texture", "Filter", i < c.inputs.size() ? c.inputs[i] : c.szTargetLabel);
        }
        // The filter's own program: programs are shared by shader text.
        uiProgram = Ondo::OpenGL::AcquireProgram({{GL_COMPUTE_SHADER, Prismvale::ShaderPath(c.szShader)}}, L"");
    }
    ~ComputeSetup()
    {
        Ondo::OpenGL::ReleaseProgram(uiProgram);
        graph.DetachDevice();
        for (auto& pTexture : textures) pTexture->Release();
    }

    Ondo::Core core;
    Graph graph;
    std::vector<std::unique_ptr<Ondo::OpenGL::TextureObject2D>> textures; // inputs, then the target
    GLuint uiProgram = 0;
};

void Finish(benchmark::State& state, const ComputeCase& c, int iWidth, int iHeight)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * iWidth * iHeight * c.iBytesPerTexel);
    state.SetLabel(c.szType);
}

void FilterFrame(benchmark::State& state)
{
    const ComputeCase& c = CaseOf(static_cast<int>(state.range(0)));
    const int iWidth = static_cast<int>(state.range(1)), iHeight = iWidth * 9 / 16;
    ComputeSetup setup(c, iWidth, iHeight);
    ScopeExecuter executer;
    setup.graph.RunFrame(executer);
    glFinish();
    for (auto _ : state) {
        setup.graph.RunFrame(executer);
        glFinish();
    }
    if (executer.GetNumberOfSkipped() != 0) state.SkipWithError("the filter was skipped");
    Finish(state, c, iWidth, iHeight);
}

// The same program on the same textures, bound as the filter binds them
// (inputs on units 0, 1, ..., the target as a write-only image), then one
// dispatch of 16 x 16 groups and the barrier.
void BareDispatch(benchmark::State& state)
{
    const ComputeCase& c = CaseOf(static_cast<int>(state.range(0)));
    const int iWidth = static_cast<int>(state.range(1)), iHeight = iWidth * 9 / 16;
    ComputeSetup setup(c, iWidth, iHeight);
    const GLuint uiProgram = setup.uiProgram;
    // Samplers in declaration order take the units the inputs are bound to.
    GLint iUniforms = 0, iUnit = 0;
    glGetProgramInterfaceiv(uiProgram, GL_UNIFORM, GL_ACTIVE_RESOURCES, &iUniforms);
    std::vector<GLint> samplers;
    for (GLint u = 0; u < iUniforms; ++u) {
        const GLenum properties[] = {GL_TYPE, GL_LOCATION};
        GLint values[2] = {0, -1};
        glGetProgramResourceiv(uiProgram, GL_UNIFORM, static_cast<GLuint>(u), 2, properties, 2, nullptr, values);
        if (values[0] == GL_SAMPLER_2D) samplers.push_back(values[1]);
    }
    const auto fnDispatch = [&] {
        glUseProgram(uiProgram);
        for (std::size_t i = 0; i < c.inputs.size(); ++i) {
            glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
            glBindTexture(GL_TEXTURE_2D, setup.textures[i]->m_uiName);
            glBindSampler(static_cast<GLuint>(i), 0);
        }
        iUnit = 0;
        for (const GLint iLocation : samplers) glProgramUniform1i(uiProgram, iLocation, iUnit++);
        glBindImageTexture(c.uiImageUnit, setup.textures.back()->m_uiName, 0, GL_FALSE, 0, GL_WRITE_ONLY, GL_RGBA8);
        glDispatchCompute(Prismvale::GroupCount16(iWidth), Prismvale::GroupCount16(iHeight), 1);
        glUseProgram(0);
        glMemoryBarrier(GL_SHADER_IMAGE_ACCESS_BARRIER_BIT);
        glFinish();
    };
    fnDispatch();
    for (auto _ : state) fnDispatch();
    Finish(state, c, iWidth, iHeight);
}

void ComputeSizes(benchmark::internal::Benchmark* pBenchmark)
{
    for (int iCase = 0; iCase < 3; ++iCase)
        for (const int iWidth : {1920, 3840}) pBenchmark->Args({iCase, iWidth});
    pBenchmark->ArgNames({"filter", "width"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(HostCostPerFilter)->Arg(250)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMicrosecond);
BENCHMARK(FilterFrame)->Apply(ComputeSizes);
BENCHMARK(BareDispatch)->Apply(ComputeSizes);

BENCHMARK_MAIN();
