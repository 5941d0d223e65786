#pragma once

#include <cstddef>

// Readies the calling thread's malloc heap for about `bytes` of small allocations. A new thread's
// heap otherwise grows a page at a time, with a system call for each step, which is a fair part
// of decoding thousands of stored items. Here it grows in a few large steps; a small block kept
// until destruction stops it shrinking back in between, and the range is offered large pages.
// The pages are not touched here, so nothing becomes resident that is not used later (beyond the
// rounding of a large page).
class HeapReserve
{
public:
    explicit HeapReserve(std::size_t bytes);
    ~HeapReserve();
    HeapReserve(const HeapReserve &) = delete;
    HeapReserve &operator=(const HeapReserve &) = delete;

private:
    void *m_fence = nullptr;
};
