#pragma once

#include <cstdint>

namespace Ondo {
class LoggerInterface;
}

namespace Ondo::FlowGraph {

class Scope;
class ScopeItem;

// Runs scopes. Control-flow filters receive the executer and ask it to run
// their inner scopes.
class ScopeExecuter {
public:
    explicit ScopeExecuter(LoggerInterface* pLogger = nullptr) : m_pLogger(pLogger) {}
    virtual ~ScopeExecuter() = default;

    // Runs every item of the scope once, in its execution order: an item's
    // inputs first take the values of the outputs connected to them; the item
    // then runs if its readiness check passes (the check's lines go to the
    // logger). Finally the scope's own inner inputs take their values, so that
    // a control-flow filter can hand them outwards.
    virtual void ExecuteScope(Scope& scope);
    // Runs one item that passed its readiness check; an executer that
    // measures items wraps this.
    virtual void ExecuteItem(ScopeItem& item);

    LoggerInterface* GetLogger() const { return m_pLogger; }
    // Counts of the items run and skipped since the executer was made.
    std::uint64_t GetNumberOfExecuted() const { return m_uiExecuted; }
    std::uint64_t GetNumberOfSkipped() const { return m_uiSkipped; }

private:
    LoggerInterface* m_pLogger;
    std::uint64_t m_uiExecuted = 0;
    std::uint64_t m_uiSkipped = 0;
};

} // namespace Ondo::FlowGraph
