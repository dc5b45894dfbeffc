#pragma once

#include "Ondo/Core.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Ondo::FlowGraph {

class Filter;
class CtrlFlowFilter;

// Makes a new filter for (core, instance name); the caller owns the result.
// Null when no object could be made.
using FilterFactory = std::function<Filter*(Core&, const std::string&)>;
using CtrlFlowFilterFactory = std::function<CtrlFlowFilter*(Core&, const std::string&)>;

// What a module registers for one ordinary filter type.
struct FilterDescriptor {
    // Arguments in the order the filter source files write them.
    FilterDescriptor(std::string strName, std::string strSourceFile, std::string strDescription,
                     std::string strKeywords, FilterFactory fnFactory)
        : m_strName(std::move(strName)), m_strDescription(std::move(strDescription)),
          m_strSourceFile(std::move(strSourceFile)), m_strKeywords(std::move(strKeywords)),
          m_fnFactory(std::move(fnFactory))
    {
    }

    // The registered type name, e.g. "OpenGL.Texture.Add".
    std::string m_strName;
    // One sentence shown to users.
    std::string m_strDescription;
    // The source file that defines the filter, relative to the module's source root.
    std::string m_strSourceFile;
    // Search keywords separated by ';'.
    std::string m_strKeywords;
    FilterFactory m_fnFactory;
};

// The per-core registry of filter types, filled by the modules' load callbacks.
class FilterRegistry : public DependentSingleton<FilterRegistry> {
public:
    static constexpr const char* SingletonKey = "Ondo::FlowGraph::FilterRegistry";

    explicit FilterRegistry(Core& core) : DependentSingleton<FilterRegistry>(core) {}
    ~FilterRegistry() override;

    // Inserts the descriptor, or replaces all of an existing entry's fields.
    void RegisterFilter(const FilterDescriptor& descriptor);
    // Inserts or replaces the factory of a control-flow filter type.
    void RegisterCtrlFlowFilter(const std::string& strName, CtrlFlowFilterFactory fnFactory);
    // Control-flow types that the engine provides itself rather than a module.
    void RegisterEngineCtrlFlowFilter(const std::string& strName, CtrlFlowFilterFactory fnFactory);

    const FilterDescriptor* FindFilter(const std::string& strName) const;
    const CtrlFlowFilterFactory* FindCtrlFlowFilter(const std::string& strName) const;
    // Sorted type names, for listings: the ordinary filters, and the
    // control-flow filters (the modules' and the engine's own together).
    std::vector<std::string> GetFilterNames() const;
    std::vector<std::string> GetCtrlFlowFilterNames() const;

    std::unordered_map<std::string, FilterDescriptor> m_Filters;
    std::unordered_map<std::string, CtrlFlowFilterFactory> m_CtrlFlowFilters;
    std::unordered_map<std::string, CtrlFlowFilterFactory> m_EngineCtrlFlowFilters;
};

} // namespace Ondo::FlowGraph
