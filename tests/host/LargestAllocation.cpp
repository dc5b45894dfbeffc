#include "LargestAllocation.h"

#include <cstdlib>
#include <new>

namespace {
// Only this thread's requests while it watches count: the GL driver's
// threads allocate too.
thread_local bool t_bWatching = false;
thread_local std::size_t t_uiLargest = 0;
} // namespace

// Replaced for the whole test binary; malloc and free underneath, so the
// sanitizers still see every block.
void* operator new(std::size_t uiSize)
{
    if (t_bWatching && uiSize > t_uiLargest) t_uiLargest = uiSize;
    if (void* p = std::malloc(uiSize ? uiSize : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace OndoTest {

std::size_t LargestAllocation(const std::function<void()>& fn)
{
    t_uiLargest = 0;
    t_bWatching = true;
    try {
        fn();
    } catch (...) {
        t_bWatching = false;
        throw;
    }
    t_bWatching = false;
    return t_uiLargest;
}

} // namespace OndoTest
