#pragma once
// A list of byte strings that grows at its end and is read by index or in
// order: the section names of a load (hundreds of thousands in a large
// registry export) and the key names of a listing. No entry costs an
// allocation of its own. Each name is stored as the count of leading bytes
// it shares with the one before and the bytes that follow; the names of a
// registry export share long key paths, so that this keeps about a quarter
// of their bytes. Every 16th name is stored whole, so that one is found by
// index after decoding at most 15 others.

#include "platform/memory.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom {

class NameList {
public:
    class const_iterator;
    using iterator = const_iterator;
    using value_type = std::string;

    NameList() = default;
    NameList(NameList&&) noexcept = default;
    NameList& operator=(NameList&&) noexcept = default;

    void push_back(std::string_view name);
    void clear();
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // The name at `index` (< size()).
    std::string operator[](std::size_t index) const;
    std::string at(std::size_t index) const { return (*this)[index]; }

    const_iterator begin() const;
    const_iterator end() const;

    friend bool operator==(const NameList& a, const std::vector<std::string>& b);

private:
    static constexpr std::size_t kGroup = 16;
    struct Block {
        LargeBlock large;               // huge-page room, once the list is large
        std::unique_ptr<char[]> small;  // the first few blocks
        std::size_t capacity = 0;
        std::size_t used = 0;
        char* data() const { return large ? large.get() : small.get(); }
    };
    struct Place {
        std::uint32_t block = 0;
        std::uint32_t offset = 0;  // blocks are at most a few MiB
    };
    // Reads the entry at `at` into `name` (which holds the name before it)
    // and moves `at` past it.
    void decodeAt(Place& at, std::string& name) const;
    char* room(std::size_t bytes);

    std::vector<Block> blocks_;
    std::vector<Place> groups_;  // where every 16th name begins
    std::string last_;           // the name pushed last
    std::size_t size_ = 0;
};

class NameList::const_iterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::string;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string*;
    using reference = const std::string&;

    const std::string& operator*() const { return name_; }
    const std::string* operator->() const { return &name_; }
    const_iterator& operator++();
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }
    bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

private:
    friend class NameList;
    const_iterator(const NameList* list, std::size_t index);

    const NameList* list_ = nullptr;
    std::size_t index_ = 0;
    Place next_;        // where the entry after the current one begins
    std::string name_;  // the current entry
};

}  // namespace keyloom
