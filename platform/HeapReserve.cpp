#include "platform/HeapReserve.h"

#include <cstdlib>
#include <vector>

HeapReserve::HeapReserve(std::size_t bytes)
{
    // Below the allocator's smallest mmap threshold, so the blocks come from the heap itself.
    constexpr std::size_t block = 64 * 1024;
    std::vector<void *> blocks;
    blocks.reserve(bytes / block + 1);
    for (std::size_t taken = 0; taken < bytes; taken += block) {
        void *p = std::malloc(block);
        if (!p)
            break;
        blocks.push_back(p);
    }
    // Allocated after the blocks, so once they are freed they merge into one free chunk that is
    // not the heap's top, which is what would be trimmed.
    m_fence = std::malloc(1);
    for (void *p : blocks)
        std::free(p);
}

HeapReserve::~HeapReserve()
{
    std::free(m_fence);
}
