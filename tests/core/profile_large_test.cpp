// Profile strings in files of several read blocks, with each kind of line end
// alone and mixed: the line ends are found the same way wherever the blocks
// fall, and a write still changes only the one value.

#include "common/gtest_util.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keyloom {
namespace {

using test::PrintTo;

struct LargeCase {
    const char* name;
    std::vector<std::string> endings;  // used in turn, line after line
};

// About 3 MiB of sections with keys, indented keys, comments and blank
// lines; the last section "[Last]" holds "k = old" as its last key.
std::string largeFile(const std::vector<std::string>& endings)
{
    std::string text;
    std::size_t line = 0;
    auto add = [&](const std::string& s) { text += s + endings[line++ % endings.size()]; };
    for (int section = 0; text.size() < (3u << 20); ++section) {
        add("[Section " + std::to_string(section) + "]");
        add("; comment " + std::string(std::size_t(section % 50), 'c'));
        for (int key = 0; key < section % 13; ++key)
            add((key % 3 ? "  Key" : "Key") + std::to_string(key) + (key % 2 ? " = " : "=") + std::to_string(section));
        add("");
    }
    add("[Last]");
    add("k = old");
    add("");
    return text;
}

class ProfileLarge : public testing::TestWithParam<LargeCase> {};

TEST_P(ProfileLarge, ReadAndWriteLastKey)
{
    const std::string before = largeFile(GetParam().endings);
    test::TempDir dir;
    const QString file = dir.write("large.ini", before);
    char buffer[64];
    ASSERT_EQ(GetPrivateProfileStringA("Last", "K", "-", buffer, sizeof buffer, file), 3);
    EXPECT_EQ(std::string(buffer), "old");
    EXPECT_EQ(GetPrivateProfileStringA("Section 1200", "Key1", "-", buffer, sizeof buffer, file), 4);
    EXPECT_EQ(std::string(buffer), "1200");

    EXPECT_TRUE(WritePrivateProfileStringA("last", "k", "new", file));
    std::string expected = before;
    expected.replace(expected.rfind("k = old"), 7, "k = new");
    EXPECT_TRUE(test::readAll(file) == expected);  // megabytes: no printout of both

    // A new key goes right after "k = new" and its own line end, ended like
    // the file's first line.
    std::size_t after = expected.rfind("k = new") + 7;
    after += expected.compare(after, 2, "\r\n") == 0 ? 2 : 1;
    expected.insert(after, "added=1" + GetParam().endings.front());
    EXPECT_TRUE(WritePrivateProfileStringA("Last", "added", "1", file));
    EXPECT_TRUE(test::readAll(file) == expected);
    EXPECT_EQ(GetPrivateProfileStringA("LAST", "ADDED", "-", buffer, sizeof buffer, file), 1);
}

INSTANTIATE_TEST_SUITE_P(Endings, ProfileLarge,
                         testing::Values(LargeCase{"crlf", {"\r\n"}}, LargeCase{"lf", {"\n"}}, LargeCase{"cr", {"\r"}},
                                         LargeCase{"mixed", {"\r\n", "\n", "\r", "\r\n", "\r"}}),
                         test::CaseName());

}  // namespace
}  // namespace keyloom
