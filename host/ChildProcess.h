#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Ondo::Host {

// What a piece of work run in a child process may take. uiMaxBytes bounds
// the memory it allocates beyond what the process had mapped when it
// started (0: no bound; sanitizer builds cannot bound it, their shadow
// memory is address space too); uiMaxSeconds bounds its wall time.
struct ChildLimits {
    std::uint64_t m_uiMaxBytes = 0;
    unsigned m_uiMaxSeconds = 0;
};

// Runs fnWork in a forked copy of this process and returns the bytes it
// returned, so that work on untrusted input done by a library that may
// crash, hang or allocate without bound (a file importer) costs a refusal
// instead of the process. The child touches nothing but fnWork and leaves
// by _exit: no destructors, no atexit handlers, no flushing of stdio.
//
// Throws Ondo::ExceptionParsing with the message of what fnWork threw, or
// strFailure followed by what happened to the child: it crashed (the
// signal), it ran out of memory, it took longer than allowed (the child is
// killed), or it stopped without an answer.
std::string RunInChildProcess(const std::function<std::string()>& fnWork, const ChildLimits& limits,
                              const std::string& strFailure);

} // namespace Ondo::Host
