#include "tools/Heap.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace morrowlen::tools {

void tuneHeapForCompiling() {
    constexpr std::size_t Pad = std::size_t{64} << 20;
    constexpr std::uintptr_t Huge = std::uintptr_t{2} << 20;
    mallopt(M_TOP_PAD, static_cast<int>(Pad));
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    // Grow the heap by the pad now, while it is small, and ask for huge pages over the new part.
    // Memory is still only taken where it is touched. Where the request is refused (huge pages
    // off, or never), nothing changes.
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    void* volatile grown = std::malloc(1 << 20); // volatile: the pair must not be optimised away
    std::free(grown);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const std::uintptr_t first = (before + Huge - 1) & ~(Huge - 1), last = after & ~(Huge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

} // namespace morrowlen::tools
