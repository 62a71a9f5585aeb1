#include "document/namelist.h"

#include <algorithm>
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

}  // namespace

NameList::NameList(std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names)
        push_back(name);
}

char* NameList::room(std::size_t bytes)
{
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < bytes) {
        // Blocks grow fourfold up to huge-page size, so a list of a few keys
        // takes a few KiB and a million sections take whole huge pages.
        const std::size_t previous = blocks_.empty() ? 0 : blocks_.back().capacity;
        std::size_t capacity = std::max(kFirstBlock, std::min(kHugePage, previous * 4));
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
    std::size_t shared = 0;
    if (size_ % kGroup != 0) {
        const std::size_t most = std::min(name.size(), last_.size());
        shared = std::size_t(std::mismatch(name.begin(), name.begin() + std::ptrdiff_t(most), last_.begin()).first -
                             name.begin());
    }
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
