#include "QynHugePages.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

void qynAdviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes)
{
#ifdef __linux__
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + QynHugePageBytes - 1) & ~(QynHugePageBytes - 1);
    const std::uintptr_t last = (begin + bytes) & ~(QynHugePageBytes - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}
