#pragma once

#include <cstddef>

namespace MemoryAdvice {

// Asks the kernel to back the 2 MiB-aligned middle of a fresh buffer with large pages. Filling
// tens of megabytes then costs a few dozen page faults instead of thousands, which is most of
// the time a start spends reading the stored lists. Only advice: nothing fails without it.
void preferLargePages(void *data, std::size_t size);

} // namespace MemoryAdvice
