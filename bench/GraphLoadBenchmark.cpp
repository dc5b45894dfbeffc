// Loading a graph document, text to graph (and releasing it), and saving a
// graph, at sizes from a thousand to a hundred thousand filters: half of
// them constants, each feeding a camera, so there are half as many
// connections as filters. The "BigO" line of each fits the times to N, the
// "RMS" line says how well they fit (a few per cent for linear growth).

#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/GraphFile.h"
#include "host/Modules/HostModules.h"

#include "Ondo/Core.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string MakeDocument(std::int64_t iFilters)
{
    std::string strText = "<OndoGraph version=\"1\">\n<Scope name=\"Root\">\n";
    for (std::int64_t i = 0; i < iFilters / 2; ++i) {
        const std::string strIndex = std::to_string(i);
        strText += "<Filter type=\"Host.Constant.Float\" name=\"Aspect" + strIndex + "\" />\n"
                   "<Filter type=\"Host.Camera\" name=\"Camera" + strIndex + "\" />\n"
                   "<Connection from=\"Aspect" + strIndex + "\" output=\"Value\" to=\"Camera" + strIndex +
                   "\" input=\"Aspect\" />\n";
    }
    return strText + "</Scope>\n</OndoGraph>\n";
}

void LoadGraph(benchmark::State& state)
{
    Ondo::Core core;
    Ondo::Host::RegisterHostModules(core);
    const std::string strText = MakeDocument(state.range(0));
    for (auto _ : state) {
        auto pGraph = Ondo::FlowGraph::LoadGraphFromText(core, nullptr, strText, "bench.xml");
        benchmark::DoNotOptimize(pGraph.get());
    }
    state.SetComplexityN(state.range(0));
    state.counters["filters"] = static_cast<double>(state.range(0));
    state.counters["connections"] = static_cast<double>(state.range(0) / 2);
}

// The loaded graph written back as a document.
void SaveGraph(benchmark::State& state)
{
    Ondo::Core core;
    Ondo::Host::RegisterHostModules(core);
    const auto pGraph =
        Ondo::FlowGraph::LoadGraphFromText(core, nullptr, MakeDocument(state.range(0)), "bench.xml");
    for (auto _ : state) benchmark::DoNotOptimize(Ondo::FlowGraph::SaveGraphToText(*pGraph));
    state.SetComplexityN(state.range(0));
}

// A thousand to a hundred thousand filters, in steps of about three.
void Sizes(benchmark::internal::Benchmark* pBenchmark)
{
    for (const int iFilters : {1000, 3000, 10000, 30000, 100000}) pBenchmark->Arg(iFilters);
    pBenchmark->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
}

} // namespace

BENCHMARK(LoadGraph)->Apply(Sizes);
BENCHMARK(SaveGraph)->Apply(Sizes);

BENCHMARK_MAIN();
