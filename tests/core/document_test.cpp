#include "common/gtest_util.h"
#include "common/utf16.h"
#include "document/document.h"

#include <gtest/gtest.h>
#include <tuple>

namespace keyloom {
namespace {

using test::utf16le;

using S = std::string;
using Keys = std::vector<std::string>;

// --- load -------------------------------------------------------------------

using test::PrintTo;

struct LoadCase {
    const char* name;
    std::string bytes;
    Keys sections;
    std::string regedit4;
    TextCodec codec;
};

class Load : public test::FileTable<LoadCase> {};

TEST_P(Load, SectionsMarkerAndCodec)
{
    const LoadResult r = loadFile(dir.write("f.reg", c.bytes));
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.sections, c.sections);
    EXPECT_EQ(r.regedit4, c.regedit4);
    EXPECT_EQ(r.markerFound, !c.regedit4.empty());
    EXPECT_EQ(r.codec, c.codec);
}

constexpr TextCodec U8 = TextCodec::Utf8;
constexpr TextCodec W1252 = TextCodec::Windows1252;

INSTANTIATE_TEST_SUITE_P(
    Cases, Load,
    testing::Values(
        LoadCase{"empty_file", S(), {}, S(), W1252},
        LoadCase{"repeated_headers_in_order", S("[A]\r\nk=1\r\n[B]\r\n[A]\r\n"), {"A", "B", "A"}, S(), W1252},
        LoadCase{"text_after_bracket_loses_last_char", S("[Name] ; note\r\n"), {"Name] ; not"}, S(), W1252},
        LoadCase{"missing_bracket_loses_last_char", S("[Name\n"), {"Nam"}, S(), W1252},
        LoadCase{"lone_bracket_none_pair_empty", S("[\r\n[]\r\n"), {""}, S(), W1252},
        LoadCase{"blank_before_bracket_is_no_header", S(" [A]\r\n"), {}, S(), W1252},
        LoadCase{"marker_then_three_lines",
                 S("x\r\n\xFF\xFEWindows 5\r\n[K]\r\n\"a\"=\"1\"\r\n\r\n"),
                 {"K"},
                 S("REGEDIT4\r\n[K]\r\n\"a\"=\"1\"\r\n\r\n"),
                 W1252},
        LoadCase{"marker_line_only", S("\n\xFF\xFEWindows"), {}, S("REGEDIT4\r\n"), W1252},
        LoadCase{
            "second_marker_restarts", S("\n\xFF\xFEWindows\nA\n\xFF\xFEWindows\nB"), {}, S("REGEDIT4\r\nB\r\n"), W1252},
        LoadCase{
            "marker_other_case_or_later", S("\n\xFF\xFEwindows\n \xFF\xFEWindows\nx\xFF\xFEWindows\n"), {}, S(), W1252},
        LoadCase{"utf8_text", S("[\xC3\x84]\r\nk=\xE2\x82\xAC\r\n"), {"\xC3\x84"}, S(), U8},
        LoadCase{"latin1_text", S("[\xC4]\r\n"), {"\xC4"}, S(), W1252},
        LoadCase{"utf8_bom_first_header", S("\xEF\xBB\xBF[A]\r\n"), {"A"}, S(), U8},
        LoadCase{"utf16le_export",
                 utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_X]\r\n\"a\"=\"\u00E4\"\r\n"),
                 {"HKEY_X"},
                 S("REGEDIT4\r\n\r\n[HKEY_X]\r\n\"a\"=\"\xE4\"\r\n"),
                 W1252}),
    test::CaseName());

TEST(Load, MissingFileGivesEmptyResult)
{
    test::TempDir dir;
    const LoadResult r = loadFile(dir.path("gone.ini"));
    EXPECT_FALSE(r.opened);
    EXPECT_TRUE(r.sections.empty());
    EXPECT_FALSE(r.markerFound);
}

TEST(FileKind, LastThreeCharactersLowerCased)
{
    for (const char* path : {"x.reg", "x.REG", "x.Reg", "reg", "x.preg"})
        EXPECT_EQ(fileKindOf(QString::fromLatin1(path)), FileKind::Registry) << path;
    for (const char* path : {"x.ini", "x.inf", "werte.reg.ini", "eg", ""})
        EXPECT_EQ(fileKindOf(QString::fromLatin1(path)), FileKind::Ini) << path;
}

// --- key listing --------------------------------------------------------------

struct ListCase {
    const char* name;
    std::string bytes;
    std::string section;
    FileKind kind;
    Keys keys;
    bool failed;
};

class List : public test::FileTable<ListCase> {};

TEST_P(List, KeysInFileOrder)
{
    const KeyListing r = listKeys(dir.write("f", c.bytes), c.section, c.kind);
    EXPECT_EQ(r.keys, c.keys);
    EXPECT_EQ(r.failed, c.failed);
}

constexpr FileKind Ini = FileKind::Ini;
constexpr FileKind Reg = FileKind::Registry;

INSTANTIATE_TEST_SUITE_P(
    Cases, List,
    testing::Values(
        ListCase{"ini_comment_indent_blank",
                 S("[Main]\r\nKey1=abc\r\n; note\r\n  Indented=1\r\nKey2 = x\r\n\r\n"),
                 "Main",
                 Ini,
                 {"Key1", "Key2 "},
                 false},
        ListCase{"registry_default_and_continuation",
                 S("[HKEY_CURRENT_USER\\Software\\Demo]\r\n\"Version\"=\"1.0\"\r\n@=\"text\"\r\n"
                   "\"Data\"=hex:01,02,\\\r\n  03,04\r\n"),
                 "HKEY_CURRENT_USER\\Software\\Demo",
                 Reg,
                 {"Version", "@", "Data"},
                 false},
        ListCase{"header_compared_exactly", S("[main]\r\na=1\r\n[Main] \r\nb=1\r\n"), "Main", Ini, {}, false},
        ListCase{"header_with_note_never_matches", S("[Main] ; comment\r\na=1\r\n"), "Main] ; ", Ini, {}, false},
        ListCase{"keys_above_first_header_ignored", S("k=1\r\n[Main]\r\nj=2"), "Main", Ini, {"j"}, false},
        ListCase{
            "section_twice", S("[A]\r\na=1\r\n[B]\r\nb=1\r\n[A]\r\nc=1\r\na=2\r\n"), "A", Ini, {"a", "c", "a"}, false},
        ListCase{"registry_equals_in_name", S("[K]\r\n\"a=b\"=\"x\"\r\n\"c\"=1\r\n"), "K", Reg, {"c"}, false},
        ListCase{"registry_unquoted_name", S("[K]\r\nabc=1\r\n"), "K", Reg, {"b"}, false},
        ListCase{"registry_empty_name", S("[K]\r\n\"\"=1\r\n\"d\"=2\r\n"), "K", Reg, {"d"}, false},
        ListCase{"registry_at_prefix", S("[K]\r\n@x=1\r\n\"@\"=2\r\n"), "K", Reg, {"@", "@"}, false},
        ListCase{"registry_short_name_fails", S("[K]\r\n\"v\"=1\r\n=x\r\n\"w\"=2\r\n"), "K", Reg, {"v"}, true},
        ListCase{"registry_one_char_name_fails", S("[K]\r\na=1\r\n"), "K", Reg, {}, true},
        ListCase{"registry_text_read_as_ini", S("[K]\r\n\"a\"=1\r\n"), "K", Ini, {"\"a\""}, false},
        ListCase{"ini_empty_name_skipped", S("[A]\r\n=v\r\nk=1\r\n"), "A", Ini, {"k"}, false},
        ListCase{"tab_led_line_listed", S("[A]\r\n\tk=1\r\n"), "A", Ini, {"\tk"}, false},
        ListCase{
            "inf_bare_file_name_fails", S("[Files]\r\na=1\r\nb=2\r\nx.sys\r\nc=3\r\n"), "Files", Ini, {"a", "b"}, true},
        ListCase{"line_without_equals_outside_section",
                 S("x.sys\r\n[A]\r\nk=1\r\n[B]\r\ny.sys\r\n"),
                 "A",
                 Ini,
                 {"k"},
                 false}),
    test::CaseName());

TEST(List, MissingFileFails)
{
    test::TempDir dir;
    const KeyListing r = listKeys(dir.path("gone.ini"), "A", Ini);
    EXPECT_TRUE(r.failed);
    EXPECT_TRUE(r.keys.empty());
}

// --- quoting ------------------------------------------------------------------

TEST(Quote, UnQuoteRemovesOnePair)
{
    struct Row {
        std::string in;
        bool ok;
        std::string out;
        std::int16_t state;
    };
    const Row rows[] = {
        {"\"1.0\"", true, "1.0", 2},
        {"dword:0a", true, "dword:0a", 0},
        {"", true, "", 0},
        {"\"\"", true, "", 2},
        {"\"\"a\"\"", true, "\"a\"", 2},
        {"\"abc", true, "\"abc", 0},
        {"abc\"", true, "abc\"", 0},
        {"\"", false, "\"", 7},
    };
    for (const Row& row : rows) {
        std::string text = row.in;
        std::int16_t state = 7;
        EXPECT_EQ(unQuote(text, state), row.ok) << row.in;
        EXPECT_EQ(text, row.out) << row.in;
        EXPECT_EQ(state, row.state) << row.in;
    }
}

TEST(Quote, EnQuoteOnlyWhenNeitherEndIsAQuote)
{
    const std::pair<std::string, std::string> rows[] = {
        {"", "\"\""}, {"a", "\"a\""}, {"\"a", "\"a"}, {"a\"", "a\""}, {"\"a\"", "\"a\""}, {"\"", "\""},
    };
    for (const auto& [in, out] : rows) {
        std::string text = in;
        enQuote(text);
        EXPECT_EQ(text, out) << in;
    }
}

// --- registry lookup ----------------------------------------------------------

const std::string kExport = "[HKEY_X]\r\n"
                            "\"Version\"=\"1.0\"\r\n"
                            "\"Count\"=dword:0000000a\r\n"
                            "@=\"default text\"\r\n"
                            "\"Data\"=hex:01,02,\\\r\n"
                            "  03,04\r\n"
                            "\"Note\"=\"hex is short for hexadecimal\"\r\n"
                            "\"Upper\"=\"HEX\"\r\n"
                            "\"Empty\"=\"\"\r\n"
                            "\"Odd\"=\"abc\r\n"
                            "\"Twice\"=\"first\"\r\n"
                            "\"Twice\"=\"second\"\r\n"
                            "[Other]\r\n"
                            "\"Version\"=\"other\"\r\n"
                            "[Y]\r\n"
                            "\"Later\"=\"b\"\r\n"
                            "[Y]\r\n"
                            "\"Later\"=\"c\"\r\n";

struct LookupCase {
    const char* name;
    std::string bytes;
    std::string section;
    std::string entry;
    std::string current;
    RegistryLookup expected;
};

RegistryLookup outcome(bool failed, bool found, std::string text, std::int16_t state, bool examined, bool enabled)
{
    RegistryLookup r;
    r.failed = failed;
    r.found = found;
    r.text = std::move(text);
    r.quoteState = state;
    r.examined = examined;
    r.enabled = enabled;
    return r;
}

class Lookup : public test::FileTable<LookupCase> {};

auto fieldsOf(const RegistryLookup& r)
{
    return std::tie(r.failed, r.readFailed, r.found, r.text, r.quoteState, r.cut, r.lossy, r.examined, r.enabled,
                    r.whole, r.utf16Data, r.lineOffset, r.sectionFound);
}

TEST_P(Lookup, Outcome)
{
    const QString file = dir.write("f.reg", c.bytes);
    const RegistryLookup r = lookupRegistryValue(file, c.section, c.entry, c.current);
    // The same lookup among others in one pass gives the same: after and
    // before targets of other sections, one missing, the section alone, and
    // the same target twice.
    const std::vector<RegistryLookup> several = lookupRegistryValues(file, FileKind::Registry,
                                                                     {{"Y", "Later"},
                                                                      {c.section, c.entry, c.current},
                                                                      {c.section, std::nullopt},
                                                                      {"Gone", "x"},
                                                                      {c.section, c.entry, c.current},
                                                                      {"HKEY_X", "Version"}});
    EXPECT_EQ(fieldsOf(several[1]), fieldsOf(r));
    EXPECT_EQ(fieldsOf(several[4]), fieldsOf(r));
    EXPECT_EQ(several[2].sectionFound, r.sectionFound);
    EXPECT_FALSE(several[2].found);
    EXPECT_FALSE(several[3].sectionFound || several[3].found);
    EXPECT_EQ(fieldsOf(several[0]), fieldsOf(lookupRegistryValue(file, "Y", "Later", "")));
    EXPECT_EQ(fieldsOf(several[5]), fieldsOf(lookupRegistryValue(file, "HKEY_X", "Version", "")));
    EXPECT_EQ(r.failed, c.expected.failed);
    EXPECT_EQ(r.found, c.expected.found);
    if (c.expected.found) {
        EXPECT_EQ(r.text, c.expected.text);
        EXPECT_EQ(r.quoteState, c.expected.quoteState);
    }
    EXPECT_EQ(r.examined, c.expected.examined);
    if (c.expected.examined) {
        EXPECT_EQ(r.enabled, c.expected.enabled);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lookup,
    testing::Values(
        LookupCase{"quoted_string", kExport, "HKEY_X", "Version", "", outcome(false, true, "1.0", 2, true, true)},
        LookupCase{"dword", kExport, "HKEY_X", "Count", "", outcome(false, true, "dword:0000000a", 0, true, true)},
        LookupCase{"default_value", kExport, "HKEY_X", "@", "", outcome(false, true, "default text", 2, true, true)},
        LookupCase{"hex_disabled_not_joined", kExport, "HKEY_X", "Data", "",
                   outcome(false, true, "hex:01,02,\\", 0, true, false)},
        LookupCase{"string_starting_hex_disabled", kExport, "HKEY_X", "Note", "",
                   outcome(false, true, "hex is short for hexadecimal", 2, true, false)},
        LookupCase{"upper_case_hex_enabled", kExport, "HKEY_X", "Upper", "",
                   outcome(false, true, "HEX", 2, true, true)},
        LookupCase{"empty_quoted", kExport, "HKEY_X", "Empty", "", outcome(false, true, "", 2, true, true)},
        LookupCase{"quote_at_one_end", kExport, "HKEY_X", "Odd", "", outcome(false, true, "\"abc", 0, true, true)},
        LookupCase{"first_line_in_one_occurrence", kExport, "HKEY_X", "Twice", "",
                   outcome(false, true, "first", 2, true, true)},
        LookupCase{"later_occurrence_wins", kExport, "Y", "Later", "", outcome(false, true, "c", 2, true, true)},
        LookupCase{"other_section_untouched", kExport, "Other", "Version", "",
                   outcome(false, true, "other", 2, true, true)},
        LookupCase{"no_match_keeps_box_hex_disables", S("[K]\r\nabc=1\r\n"), "K", "b", "hexold",
                   outcome(false, false, "", 0, true, false)},
        LookupCase{"unknown_section_examines_nothing", kExport, "Z", "Version", "x",
                   outcome(false, false, "", 0, false, true)},
        LookupCase{"indented_and_comment_lines_examined", S("[K]\r\n;c\r\n \"a\"=1\r\n"), "K", "a", "hex",
                   outcome(false, false, "", 0, true, false)},
        LookupCase{"quoted_at_name_found_for_default", S("[K]\r\n\"@\"=\"lit\"\r\n@=\"def\"\r\n"), "K", "@", "",
                   outcome(false, true, "lit", 2, true, true)},
        LookupCase{"lone_quote_fails", S("[K]\r\n\"x\"=1\r\n\"a\"=\"\r\n"), "K", "a", "prev",
                   outcome(true, false, "", 0, true, true)},
        LookupCase{"lone_quote_after_earlier_match", S("[K]\r\n\"a\"=\"hex\"\r\n[K]\r\n\"a\"=\"\r\n"), "K", "a", "",
                   outcome(true, true, "hex", 2, true, false)}),
    test::CaseName());

TEST(Lookup, MissingFileFails)
{
    test::TempDir dir;
    const RegistryLookup r = lookupRegistryValue(dir.path("gone.reg"), "K", "a", "");
    EXPECT_TRUE(r.failed);
    EXPECT_FALSE(r.found);
    EXPECT_FALSE(r.examined);
}

}  // namespace
}  // namespace keyloom
