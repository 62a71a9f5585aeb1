#include "platform/memory.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace keyloom {

void adviseHugePages(void* data, std::size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

void AlignedFree::operator()(char* p) const { ::operator delete[](p, std::align_val_t(kHugePage)); }

LargeBlock allocateLargeBlock(std::size_t size)
{
    LargeBlock block(static_cast<char*>(::operator new[](size, std::align_val_t(kHugePage))));
    adviseHugePages(block.get(), size);
    return block;
}

}  // namespace keyloom
