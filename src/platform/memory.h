#pragma once
// Room for large data that a load writes once from front to back and keeps:
// the section names and the REGEDIT4 text of a registry export. Fresh memory
// costs a page fault per 4 KiB page on first write, which on a virtual
// machine can cost more than reading the file; where the system offers it,
// such room is backed by huge pages instead.

#include <cstddef>
#include <memory>
#include <thread>

namespace keyloom {

// Size and alignment of a huge page where the system has them.
inline constexpr std::size_t kHugePage = std::size_t(2) << 20;

// Asks the system to back the whole huge pages inside [data, data + size)
// with huge pages; a hint only, and nothing happens where there are none.
void adviseHugePages(void* data, std::size_t size);

struct AlignedFree {
    void operator()(char* p) const;
};
using LargeBlock = std::unique_ptr<char[], AlignedFree>;

// `size` bytes (a multiple of kHugePage), aligned to kHugePage and advised as
// huge pages; nothing is touched, so unwritten pages cost no memory.
LargeBlock allocateLargeBlock(std::size_t size);

// Maps the pages of [data, data + size) in on a thread of its own, front to
// back, while the caller fills them: on a machine with a second core the
// page faults of a large text then cost no time of the thread that writes
// it. Contents are never touched. The destructor stops and waits, so it must
// run before the memory is freed; where the system cannot do this it does
// nothing.
class PrefaultAhead {
public:
    PrefaultAhead(void* data, std::size_t size);
    PrefaultAhead(const PrefaultAhead&) = delete;
    PrefaultAhead& operator=(const PrefaultAhead&) = delete;
    ~PrefaultAhead();

private:
    std::jthread thread_;
};

}  // namespace keyloom
