#include "platform/HeapReserve.h"

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace HeapReserve {

void prepare(std::size_t bytes)
{
    // Below the allocator's smallest mmap threshold (128 KiB), so the blocks come from the heap
    // itself; as large as that allows, since each block's header costs a page fault.
    constexpr std::size_t block = 120 * 1024;
    std::vector<void *> blocks;
    blocks.reserve(bytes / block + 1);
    for (std::size_t taken = 0; taken < bytes; taken += block) {
        void *p = std::malloc(block);
        if (!p)
            break;
        blocks.push_back(p);
    }
    // Large pages where the heap allows: a fault each 2 MiB instead of each 4 KiB. Only advice;
    // where the kernel has none to give, small pages come as before. Each run of adjacent blocks
    // is advised on its own, so nothing between two heaps is touched.
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const auto advise = [page](std::uintptr_t from, std::uintptr_t to) {
        const std::uintptr_t first = (from + page - 1) & ~(page - 1);
        const std::uintptr_t end = to & ~(page - 1);
        if (end > first)
            madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
    };
    for (std::size_t i = 0, runStart = 0; i < blocks.size(); ++i) {
        const auto here = std::uintptr_t(blocks[i]);
        const bool runEnds = i + 1 == blocks.size() || std::uintptr_t(blocks[i + 1]) < here
            || std::uintptr_t(blocks[i + 1]) - here > block + 64;
        if (runEnds) {
            advise(std::uintptr_t(blocks[runStart]), here + block);
            runStart = i + 1;
        }
    }
    // In order, so they merge with each other and then once with the top of the heap.
    for (void *p : blocks)
        std::free(p);
}

} // namespace HeapReserve
