#include "allocator_policy.h"

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace dravo::python {

namespace {
// Buffers up to this size come from the heap rather than a fresh mapping (the C library's ceiling).
constexpr int kHeapBufferLimit = 32 << 20;
// Free memory kept at the top of the heap before any is returned: a few frames' worth.
constexpr int kKeptFreeMemory = 256 << 20;
}  // namespace

void keepFreedFramesInProcess() {
#if defined(__GLIBC__)
    if (std::getenv("MALLOC_MMAP_THRESHOLD_") || std::getenv("MALLOC_TRIM_THRESHOLD_") ||
        std::getenv("MALLOC_ARENA_MAX") || std::getenv("GLIBC_TUNABLES"))
        return;
    mallopt(M_MMAP_THRESHOLD, kHeapBufferLimit);
    mallopt(M_TRIM_THRESHOLD, kKeptFreeMemory);
    // A thread's own arena gives its freed heaps back whole, so blocks run from threads would fault again;
    // a run makes only a handful of large allocations, so one shared arena costs no contention worth having.
    mallopt(M_ARENA_MAX, 1);
#endif
}

}  // namespace dravo::python
