#pragma once

#include "Ondo/Core.h"

#include <cstdint>
#include <string>

namespace Ondo {

namespace GFX {
class BackgroundWriter;
}

// What the engine tells the filters of a core about the run in progress.
struct RunContext : DependentSingleton<RunContext> {
    static constexpr const char* SingletonKey = "Ondo::RunContext";
    explicit RunContext(Core& core) : DependentSingleton<RunContext>(core) {}

    // The frame being run, counted from 0.
    std::uint64_t m_uiFrame = 0;
    // Where output files are written; empty for the current directory.
    std::string m_strOutputDirectory;
    // Whether an output name may leave the output directory (an absolute
    // name, "..", or a link inside it that leads out). Off by default: a
    // graph someone shared must not write over files elsewhere.
    bool m_bWriteAnywhere = false;
    // The file a batch run (ondo-run --each) gives the frame being run: in
    // output names "{name}" stands for its name, "{stem}" for the name
    // without its extension. Empty outside a batch.
    std::string m_strBatchFile;
    // Where sinks hand their pictures to be encoded and written on worker
    // threads; null, they write them before their Process returns. Whoever
    // sets it takes the outcomes and reports them.
    GFX::BackgroundWriter* m_pWriter = nullptr;

    // The path an output file name stands for: relative names under the
    // output directory, absolute ones as they are. Throws
    // std::runtime_error for a name that leaves the output directory while
    // that is not allowed.
    std::string ResolveOutputPath(const std::string& strName) const;
};

} // namespace Ondo
