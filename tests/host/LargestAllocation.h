#pragma once

#include <cstddef>
#include <functional>

namespace OndoTest {

// The largest single request to the global operator new while fn runs on
// this thread: a reader that trusts a lying header asks for what it claims.
// The host test binary counts it by replacing operator new, or through the
// allocation hooks of AddressSanitizer where that runs.
std::size_t LargestAllocation(const std::function<void()>& fn);

} // namespace OndoTest
