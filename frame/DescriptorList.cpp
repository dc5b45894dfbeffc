#include "frame/DescriptorList.h"

namespace Prismvale {

std::vector<Ondo::FlowGraph::FilterDescriptor>& GetDescriptorList()
{
    // Made on first use, so that it exists whichever file's static
    // initialisation runs first, and destroyed when the module unloads.
    static std::vector<Ondo::FlowGraph::FilterDescriptor> s_Descriptors;
    return s_Descriptors;
}

} // namespace Prismvale
