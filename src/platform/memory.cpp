#include "platform/memory.h"

#include <algorithm>
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

PrefaultAhead::PrefaultAhead(void* data, std::size_t size)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(data) + size;
    if (end <= begin)
        return;
    thread_ = std::jthread([begin, end](std::stop_token stop) {
        // Steps of a few huge pages, so that a stop is soon seen.
        constexpr std::uintptr_t kStep = 8 * kHugePage;
        for (std::uintptr_t at = begin; at < end && !stop.stop_requested(); at += kStep) {
            if (madvise(reinterpret_cast<void*>(at), std::min(kStep, end - at), MADV_POPULATE_WRITE) != 0)
                return;  // not offered by this kernel, or no memory: the writer faults its pages itself
        }
    });
#else
    (void)data;
    (void)size;
#endif
}

PrefaultAhead::~PrefaultAhead() = default;  // jthread asks the thread to stop and joins it

}  // namespace keyloom
