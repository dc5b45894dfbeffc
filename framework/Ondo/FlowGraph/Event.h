#pragma once

#include <string>

namespace Ondo::FlowGraph {

// A notice the engine passes to scope items and ports (a frame start, a
// resize, ...). Items that do not care ignore it.
class Event {
public:
    explicit Event(std::string strName) : m_strName(std::move(strName)) {}
    const std::string& GetName() const { return m_strName; }

private:
    std::string m_strName;
};

} // namespace Ondo::FlowGraph
