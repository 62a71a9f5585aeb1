#include "document/namelist.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace keyloom {

namespace {

constexpr std::size_t kFirstBlock = std::size_t(4) << 10;

// Seven bits a byte, lowest first; the high bit says that more follow.
char* putCount(char* out, std::size_t n)
{
    while (n >= 0x80) {
        *out++ = static_cast<char>(n | 0x80);
        n >>= 7;
    }
    *out++ = static_cast<char>(n);
    return out;
}

std::size_t getCount(const char*& in)
{
    std::size_t n = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*in++);
        n |= std::size_t(byte & 0x7F) << shift;
        if (byte < 0x80)
            return n;
    }
}

// Count of leading bytes that `a` and `b` share, eight at a time.
std::size_t sharedPrefix(std::string_view a, std::string_view b)
{
    const std::size_t most = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + 8 <= most; i += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            const std::uint64_t differ = x ^ y;
            return i + std::size_t(std::endian::native == std::endian::little ? std::countr_zero(differ)
                                                                              : std::countl_zero(differ)) /
                           8;
        }
    }
    while (i < most && a[i] == b[i])
        ++i;
    return i;
}

}  // namespace

char* NameList::room(std::size_t bytes)
{
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < bytes) {
        // A list of a few keys takes a few KiB and a large one whole huge
        // pages, with few steps in between: each new small block is fresh
        // memory, faulted in page by page.
        const std::size_t previous = blocks_.empty() ? 0 : blocks_.back().capacity;
        std::size_t capacity = std::max(kFirstBlock, std::min(kHugePage, previous * 32));
        Block block;
        if (capacity == kHugePage || bytes > capacity) {
            capacity = std::max(capacity, (bytes + kHugePage - 1) / kHugePage * kHugePage);
            block.large = allocateLargeBlock(capacity);
        } else {
            block.small = std::make_unique_for_overwrite<char[]>(capacity);
        }
        block.capacity = capacity;
        blocks_.push_back(std::move(block));
    }
    Block& block = blocks_.back();
    return block.data() + block.used;
}

void NameList::push_back(std::string_view name)
{
    const std::size_t shared = size_ % kGroup != 0 ? sharedPrefix(name, last_) : 0;
    const std::size_t rest = name.size() - shared;
    char* const start = room(2 * 10 + rest);
    char* out = putCount(start, shared);
    out = putCount(out, rest);
    std::memcpy(out, name.data() + shared, rest);
    out += rest;
    Block& block = blocks_.back();
    if (size_ % kGroup == 0)
        groups_.push_back({std::uint32_t(blocks_.size() - 1), std::uint32_t(block.used)});
    block.used += std::size_t(out - start);
    last_.resize(shared);
    last_.append(name.substr(shared));
    ++size_;
}

void NameList::clear() { *this = NameList(); }

void NameList::decodeAt(Place& at, std::string& name) const
{
    if (at.offset == blocks_[at.block].used) {
        ++at.block;
        at.offset = 0;
    }
    const char* const base = blocks_[at.block].data();
    const char* in = base + at.offset;
    const std::size_t shared = getCount(in);
    const std::size_t rest = getCount(in);
    name.resize(shared);
    name.append(in, rest);
    at.offset = std::uint32_t(in + rest - base);
}

std::string NameList::operator[](std::size_t index) const
{
    Place at = groups_[index / kGroup];
    std::string name;
    for (std::size_t k = 0; k <= index % kGroup; ++k)
        decodeAt(at, name);
    return name;
}

NameList::const_iterator::const_iterator(const NameList* list, std::size_t index) : list_(list), index_(index)
{
    if (index_ < list_->size_) {
        next_ = list_->groups_[0];
        list_->decodeAt(next_, name_);
    }
}

NameList::const_iterator& NameList::const_iterator::operator++()
{
    if (++index_ < list_->size_)
        list_->decodeAt(next_, name_);
    return *this;
}

NameList::const_iterator NameList::begin() const { return const_iterator(this, 0); }
NameList::const_iterator NameList::end() const { return const_iterator(this, size_); }

bool operator==(const NameList& a, const std::vector<std::string>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace keyloom
