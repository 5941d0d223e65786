#include "model/MemoryAdvice.h"

#include <cstdint>

#include <sys/mman.h>

namespace MemoryAdvice {

void preferLargePages(void *data, std::size_t size)
{
    constexpr std::uintptr_t large = std::uintptr_t(2) << 20;
    if (!data || size < large)
        return;
    const std::uintptr_t start = (std::uintptr_t(data) + large - 1) & ~(large - 1);
    const std::uintptr_t end = (std::uintptr_t(data) + size) & ~(large - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
}

} // namespace MemoryAdvice
