#pragma once

#include "Ondo/Core.h"

#include <cstdint>
#include <string>

namespace Ondo {

// What the engine tells the filters of a core about the run in progress.
struct RunContext : DependentSingleton<RunContext> {
    static constexpr const char* SingletonKey = "Ondo::RunContext";
    explicit RunContext(Core& core) : DependentSingleton<RunContext>(core) {}

    // The frame being run, counted from 0.
    std::uint64_t m_uiFrame = 0;
    // Where relative output file names are written; empty for the current directory.
    std::string m_strOutputDirectory;

    // The path an output file name stands for: absolute names as they are,
    // relative ones under the output directory.
    std::string ResolveOutputPath(const std::string& strName) const
    {
        if (strName.empty() || strName[0] == '/' || m_strOutputDirectory.empty()) return strName;
        return m_strOutputDirectory + (m_strOutputDirectory.back() == '/' ? "" : "/") + strName;
    }
};

} // namespace Ondo
