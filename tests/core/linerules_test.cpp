// The line rules every reader shares: one table per rule, the one place
// where each is pinned down.

#include "common/gtest_util.h"
#include "document/linerules.h"
#include "platform/lines.h"

#include <gtest/gtest.h>

namespace keyloom {
namespace {

using test::PrintTo;
using S = std::string;
using Kind = KeyLine::Kind;
constexpr auto npos = std::string_view::npos;

struct KeyLineCase {
    const char* name;
    S line;
    FileKind kind;
    bool whole;
    Kind expected;
    std::optional<S> entry;
    std::size_t valueAt;
};

class KeyLines : public testing::TestWithParam<KeyLineCase> {};

TEST_P(KeyLines, GiveTheKeyListsRow)
{
    const KeyLineCase& c = GetParam();
    const KeyLine key = keyLineOf(c.line, c.kind, c.whole);
    EXPECT_EQ(key.kind, c.expected);
    EXPECT_EQ(key.entry ? std::optional<S>(*key.entry) : std::nullopt, c.entry);
    if (c.expected == Kind::Key) {
        EXPECT_EQ(key.valueAt, c.valueAt);
    }
}

const FileKind Ini = FileKind::Ini;
const FileKind Reg = FileKind::Registry;

INSTANTIATE_TEST_SUITE_P(
    Rules, KeyLines,
    testing::Values(KeyLineCase{"ini_key", "Key1=abc", Ini, true, Kind::Key, "Key1", 5},
                    KeyLineCase{"ini_blank_before_equals_kept", "Key2 = x", Ini, true, Kind::Key, "Key2 ", 6},
                    KeyLineCase{"ini_tab_led_is_a_key", "\tK=1", Ini, true, Kind::Key, "\tK", 3},
                    KeyLineCase{"ini_empty_name_lists_nothing", "=1", Ini, true, Kind::Key, std::nullopt, 1},
                    KeyLineCase{"blank_led_skipped", "  Indented=1", Ini, true, Kind::Skipped, std::nullopt, npos},
                    KeyLineCase{"comment_skipped", "; note", Ini, true, Kind::Skipped, std::nullopt, npos},
                    KeyLineCase{"empty_skipped", "", Reg, true, Kind::Skipped, std::nullopt, npos},
                    KeyLineCase{"no_equals_ends", "x.sys", Ini, true, Kind::Ends, std::nullopt, npos},
                    KeyLineCase{"no_equals_in_first_piece_waits", "x.sys", Ini, false, Kind::Key, "x.sys", npos},
                    KeyLineCase{"reg_quoted", "\"Version\"=\"1.0\"", Reg, true, Kind::Key, "Version", 10},
                    KeyLineCase{"reg_default", "@=\"text\"", Reg, true, Kind::Key, "@", 2},
                    KeyLineCase{"reg_at_anything", "@x=1", Reg, true, Kind::Key, "@", 3},
                    KeyLineCase{"reg_escapes_stay", "\"a\\\"b\"=1", Reg, true, Kind::Key, "a\\\"b", 7},
                    KeyLineCase{"reg_empty_name", "\"\"=1", Reg, true, Kind::Key, std::nullopt, 3},
                    KeyLineCase{"reg_equals_inside_name", "\"a=b\"=\"x\"", Reg, true, Kind::Key, std::nullopt, 3},
                    KeyLineCase{"reg_unquoted", "abc=1", Reg, true, Kind::Key, "b", 4},
                    KeyLineCase{"reg_short_name_ends", "a=1", Reg, true, Kind::Ends, std::nullopt, npos}),
    test::CaseName());

struct ValueCase {
    const char* name;
    S line;
    S entry;
    std::optional<S> raw;    // registryValueOf
    std::optional<S> shown;  // what the box shows of it
    std::int16_t quoteState = kQuotesKept;
};

class RegistryValues : public testing::TestWithParam<ValueCase> {};

TEST_P(RegistryValues, ShowWhatTheBoxShows)
{
    const ValueCase& c = GetParam();
    const std::optional<std::string_view> raw = registryValueOf(c.line, c.entry);
    ASSERT_EQ(raw ? std::optional<S>(*raw) : std::nullopt, c.raw);
    if (!raw)
        return;
    const std::optional<ShownValue> shown = shownRegistryValue(*raw);
    ASSERT_EQ(shown ? std::optional<S>(shown->text) : std::nullopt, c.shown);
    if (shown) {
        EXPECT_EQ(shown->quoteState, c.quoteState);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RegistryValues,
    testing::Values(ValueCase{"quoted", "\"V\"=\"1.0\"", "V", "\"1.0\"", "1.0", kQuotesRemoved},
                    ValueCase{"dword", "\"C\"=dword:0000000a", "C", "dword:0000000a", "dword:0000000a"},
                    ValueCase{"default", "@=\"alt\"", "@", "\"alt\"", "alt", kQuotesRemoved},
                    ValueCase{"other_name", "\"W\"=1", "V", std::nullopt, std::nullopt},
                    ValueCase{"blank_before_equals_is_another_line", "\"V\" =1", "V", std::nullopt, std::nullopt},
                    ValueCase{"lone_quote_refused", "\"V\"=\"", "V", "\"", std::nullopt},
                    ValueCase{"one_byte_entry_matches_first_two_bytes", "x=1", "x", "1", "1"},
                    ValueCase{"empty_entry", "\"\"=\"e\"", "", "\"e\"", "e", kQuotesRemoved}),
    test::CaseName());

TEST(LineRules, SectionHeaders)
{
    EXPECT_EQ(sectionNameOf("[Main]"), std::optional<std::string_view>("Main"));
    EXPECT_EQ(sectionNameOf("[Main] ; c"), std::optional<std::string_view>("Main] ; "));
    EXPECT_EQ(sectionNameOf("[]"), std::optional<std::string_view>(""));
    EXPECT_EQ(sectionNameOf("["), std::nullopt);
    EXPECT_EQ(sectionNameOf(" [A]"), std::nullopt);
    EXPECT_EQ(headerLineOf("Main] ; "), "[Main] ; ]");
    EXPECT_TRUE(isExportMarkerLine("\xFF\xFEWindows Registry Editor Version 5.00"));
    EXPECT_FALSE(isExportMarkerLine("Windows Registry Editor Version 5.00"));
}

TEST(LineRules, ShownIniValueIsTheProfileReads)
{
    EXPECT_EQ(shownValue(FileKind::Ini, "  \"a b\"  "), "a b");
    EXPECT_EQ(shownValue(FileKind::Ini, " 'x' "), "x");
    EXPECT_EQ(shownValue(FileKind::Ini, S("v\0rest", 6)), "v");
    EXPECT_EQ(shownValue(FileKind::Ini, S(3000, 'z'))->size(), 2047u);
    EXPECT_EQ(shownValue(FileKind::Registry, "\""), std::nullopt);
}

TEST(LineRules, ValueTypes)
{
    EXPECT_EQ(valueStartOf("\"a\\\"=b\"=1"), 8u);
    EXPECT_EQ(valueStartOf("@=1"), 2u);
    EXPECT_EQ(valueStartOf("\"a\" =1"), 5u);
    EXPECT_EQ(valueStartOf("\"a\"1"), std::nullopt);
    ASSERT_TRUE(hexHeadOf("HEX(7):00"));
    EXPECT_EQ(hexHeadOf("HEX(7):00")->type, kRegMultiSz);
    EXPECT_EQ(hexHeadOf("hex(7):00")->listStart, 7u);
    EXPECT_EQ(hexHeadOf("hex:01")->type, kRegBinary);
    EXPECT_EQ(hexHeadOf("hex(123456789):"), std::nullopt);
    EXPECT_EQ(dwordDigitsOf("DWORD:0a"), std::optional<std::string_view>("0a"));
    EXPECT_EQ(dwordDigitsOf("\"dword:0a\""), std::nullopt);
}

TEST(LineRules, ByteOrderMarks)
{
    EXPECT_EQ(encodingOfMark("\xEF\xBB\xBF["), Encoding::Utf8Bom);
    EXPECT_EQ(encodingOfMark("\xFF\xFE["), Encoding::Utf16LE);
    EXPECT_EQ(encodingOfMark("\xFE\xFF"), Encoding::Utf16BE);
    EXPECT_EQ(encodingOfMark("\xEF\xBB"), Encoding::Bytes);
    EXPECT_EQ(firstLineText("\xFF\xFE[A]", Encoding::Utf16LE), "[A]");
    EXPECT_EQ(firstLineText("\xFF\xFE[A]", Encoding::Bytes), "\xFF\xFE[A]");
}

}  // namespace
}  // namespace keyloom
