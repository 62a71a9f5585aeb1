#include "document/namelist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keyloom {
namespace {

using Names = std::vector<std::string>;

// Registry-like paths that share long prefixes, enough of them to fill
// several blocks, with a few that are empty or far longer than the rest.
Names manyPaths(std::size_t count)
{
    Names names;
    std::string path = "HKEY_LOCAL_MACHINE\\SOFTWARE";
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 7 == 0)
            path.resize(std::min<std::size_t>(path.size(), 28));
        path += "\\Key" + std::to_string(i * 7919 % 1000);
        names.push_back(i % 500 == 3 ? std::string() : path);
    }
    names.insert(names.begin() + std::ptrdiff_t(count / 2), std::string(300'000, 'x') + "\\end");
    return names;
}

TEST(NameList, KeepsEveryNameByIndexAndInOrder)
{
    const std::vector<std::pair<const char*, Names>> cases = {
        {"none", {}},
        {"one_empty", {""}},
        {"shrinking_and_growing", {"abc", "ab", "abcd", "", "abcd", "b"}},
        {"any_bytes", {std::string("\0\xFF", 2), std::string("\0\xFE", 2), "\r\n", "\xE4"}},
        {"several_groups", manyPaths(40)},
        {"several_blocks", manyPaths(60'000)},
    };
    for (const auto& [name, names] : cases) {
        SCOPED_TRACE(name);
        NameList list;
        for (const std::string& n : names)
            list.push_back(n);
        ASSERT_EQ(list.size(), names.size());
        EXPECT_EQ(list.empty(), names.empty());
        for (std::size_t i = 0; i < names.size(); ++i)
            ASSERT_EQ(list[i], names[i]) << "index " << i;
        EXPECT_TRUE(list == names);
        list.clear();
        EXPECT_TRUE(list.empty());
        EXPECT_TRUE(list.begin() == list.end());
    }
}

}  // namespace
}  // namespace keyloom
