#pragma once

#include <cstddef>

// Readies a new thread's malloc heap for about `bytes` of small allocations. Such a heap otherwise
// grows a page at a time, with a system call for each step, which is a fair part of decoding
// thousands of stored items. Here it grows in a few large steps and is given back at once; the
// allocator keeps the range usable, so later growth up to that size needs no system call. The
// range is also offered large pages. Nothing is kept resident.
namespace HeapReserve {
void prepare(std::size_t bytes);
}
