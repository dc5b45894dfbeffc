#include "Ondo/FlowGraph/FilterRegistry.h"

#include <algorithm>

namespace Ondo::FlowGraph {

FilterRegistry::~FilterRegistry() = default;

void FilterRegistry::RegisterFilter(const FilterDescriptor& descriptor)
{
    m_Filters.insert_or_assign(descriptor.m_strName, descriptor);
}

void FilterRegistry::RegisterCtrlFlowFilter(const std::string& strName, CtrlFlowFilterFactory fnFactory)
{
    m_CtrlFlowFilters.insert_or_assign(strName, std::move(fnFactory));
}

void FilterRegistry::RegisterEngineCtrlFlowFilter(const std::string& strName, CtrlFlowFilterFactory fnFactory)
{
    m_EngineCtrlFlowFilters.insert_or_assign(strName, std::move(fnFactory));
}

const FilterDescriptor* FilterRegistry::FindFilter(const std::string& strName) const
{
    const auto it = m_Filters.find(strName);
    return it == m_Filters.end() ? nullptr : &it->second;
}

const CtrlFlowFilterFactory* FilterRegistry::FindCtrlFlowFilter(const std::string& strName) const
{
    auto it = m_CtrlFlowFilters.find(strName);
    if (it != m_CtrlFlowFilters.end()) return &it->second;
    it = m_EngineCtrlFlowFilters.find(strName);
    return it == m_EngineCtrlFlowFilters.end() ? nullptr : &it->second;
}

std::vector<std::string> FilterRegistry::GetFilterNames() const
{
    std::vector<std::string> names;
    for (const auto& entry : m_Filters) names.push_back(entry.first);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FilterRegistry::GetCtrlFlowFilterNames() const
{
    std::vector<std::string> names;
    for (const auto& entry : m_CtrlFlowFilters) names.push_back(entry.first);
    for (const auto& entry : m_EngineCtrlFlowFilters)
        if (!m_CtrlFlowFilters.count(entry.first)) names.push_back(entry.first);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace Ondo::FlowGraph
