#pragma once

#include "Ondo/FlowGraph/FilterRegistry.h"

#include <new>
#include <vector>

namespace Prismvale {

// The module's filter descriptors, filled during static initialisation (one
// per filter source file, in link order) and read by the load callback.
std::vector<Ondo::FlowGraph::FilterDescriptor>& GetDescriptorList();

// Appends a descriptor for filter class F at static initialisation. The
// factory makes a new F(core, instance name), or returns null when no memory
// could be had for it.
template <class F>
struct FilterRegistration {
    FilterRegistration(const char* szName, const char* szSourceFile, const char* szDescription,
                       const char* szKeywords)
    {
        GetDescriptorList().emplace_back(
            szName, szSourceFile, szDescription, szKeywords,
            [](Ondo::Core& core, const std::string& strName) -> Ondo::FlowGraph::Filter* {
                return new (std::nothrow) F(core, strName);
            });
    }
};

} // namespace Prismvale
