#include "LargestAllocation.h"

#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime's allocator interface (whose header not every
// compiler installs).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
#endif

namespace {
// Only this thread's requests while it watches count: the GL driver's
// threads allocate too.
thread_local bool t_bWatching = false;
thread_local std::size_t t_uiLargest = 0;

void Note(std::size_t uiSize)
{
    if (t_bWatching && uiSize > t_uiLargest) t_uiLargest = uiSize;
}
} // namespace

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer has its own operator new, which a replacement here would
// mix with its free; its allocation hooks see every block instead.
namespace {
void OnMalloc(const volatile void*, std::size_t uiSize) { Note(uiSize); }
void OnFree(const volatile void*) {}
const int s_iHooks = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
} // namespace
#else
// Replaced for the whole test binary, with malloc and free underneath.
void* operator new(std::size_t uiSize)
{
    Note(uiSize);
    if (void* p = std::malloc(uiSize ? uiSize : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

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
