#pragma once

#include <cstdint>
#include <stdexcept>

namespace Ondo {
class LoggerInterface;
}

namespace Ondo::FlowGraph {

class Scope;
class ScopeItem;

// A failure of one item while it ran, its message naming the item ("NAME"
// (TYPE): what went wrong). The scopes around the item (those of control-flow
// filters) pass it on as it is, so the item is named once.
class ItemError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs scopes. Control-flow filters receive the executer and ask it to run
// their inner scopes.
//
// Every item is checked once it ran, so that no runner can miss a failure:
// an exception it throws comes out as an ItemError naming it; so does the
// first error it reported to the core while it ran (Core::ReportError), and
// any GL error an OpenGL item left behind (the GL error state is read once
// per item, not per call). A GL error found before the first OpenGL item of a
// run was left by whoever ran GL before, and is refused without naming one.
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
    // measures items wraps this. The checks above are made around it.
    virtual void ExecuteItem(ScopeItem& item);

    LoggerInterface* GetLogger() const { return m_pLogger; }
    // Counts of the items run and skipped since the executer was made.
    std::uint64_t GetNumberOfExecuted() const { return m_uiExecuted; }
    std::uint64_t GetNumberOfSkipped() const { return m_uiSkipped; }

private:
    void ExecuteChecked(ScopeItem& item);

    LoggerInterface* m_pLogger;
    // How deeply ExecuteScope calls are nested, and whether the GL error
    // state was looked at before the first OpenGL item of the outermost one.
    int m_iDepth = 0;
    bool m_bGLStateChecked = false;
    std::uint64_t m_uiExecuted = 0;
    std::uint64_t m_uiSkipped = 0;
};

} // namespace Ondo::FlowGraph
