#include "common/edits.h"
#include "common/file_size_limit.h"
#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "common/utf16.h"
#include "document/document.h"
#include "edit/apply.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <unistd.h>

namespace keyloom {
namespace {

using test::utf16le;

using S = std::string;

EditResult apply(const QString& file, ApplyValues values, const std::string* pending = nullptr)
{
    return applyRegistryValue(
        file, pending, [] {}, values);
}

// Sets the value "a" of the section "K" to 2.
EditStatus applyTwo(const QString& file) { return apply(file, {"K", "a", "2"}).status; }

using test::PrintTo;

struct RewriteCase {
    const char* name;
    std::string before;
    std::string section;
    std::string key;
    std::string text;  // as the value box holds it
    std::int16_t quoteState;
    std::string after;
};

class Rewrite : public test::FileTable<RewriteCase> {};

TEST_P(Rewrite, WholeFile)
{
    const QString file = dir.write("t.reg", c.before);
    std::string value = c.text;
    if (c.quoteState == 2)
        enQuote(value);
    const EditResult r = apply(file, {c.section, c.key, value});
    EXPECT_EQ(r.status, EditStatus::Done);
    EXPECT_FALSE(r.pendingUsed);
    EXPECT_EQ(test::readAll(file), c.after);
    EXPECT_FALSE(QFile::exists(dir.path("t.re_")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rewrite,
    testing::Values(
        RewriteCase{"quoted_string", S("[K]\r\n\"Version\"=\"1.0\"\r\n\"b\"=1\r\n"), "K", "Version", "2.0", 2,
                    S("[K]\r\n\"Version\"=\"2.0\"\r\n\"b\"=1\r\n")},
        RewriteCase{"dword_unquoted", S("[K]\r\n\"Count\"=dword:0000000a\r\n"), "K", "Count", "dword:0000000b", 0,
                    S("[K]\r\n\"Count\"=dword:0000000b\r\n")},
        RewriteCase{"default_value", S("REGEDIT4\r\n\r\n[K]\r\n@=\"alt\"\r\n"), "K", "@", "neu", 2,
                    S("REGEDIT4\r\n\r\n[K]\r\n@=\"neu\"\r\n")},
        RewriteCase{"backslashes_not_escaped", S("[K]\r\n\"Pfad\"=\"C:\\\\Temp\"\r\n"), "K", "Pfad", "D:\\\\Neu", 2,
                    S("[K]\r\n\"Pfad\"=\"D:\\\\Neu\"\r\n")},
        RewriteCase{"typed_quotes_kept", S("[K]\r\n\"Name\"=\"x\"\r\n"), "K", "Name", "\"y\"", 2,
                    S("[K]\r\n\"Name\"=\"y\"\r\n")},
        RewriteCase{"emptied_box_quoted", S("[K]\r\n\"a\"=\"x\"\r\n"), "K", "a", "", 2, S("[K]\r\n\"a\"=\"\"\r\n")},
        RewriteCase{"rest_of_old_line_dropped", S("[K]\r\n\"a\"=1 ; old\r\n"), "K", "a", "2", 0,
                    S("[K]\r\n\"a\"=2\r\n")},
        RewriteCase{"default_never_touches_quoted_at", S("[K]\r\n\"@\"=\"a\"\r\n@ =\"b\"\r\n@=\"c\"\r\n"), "K", "@",
                    "n", 2, S("[K]\r\n\"@\"=\"a\"\r\n@ =\"b\"\r\n@=\"n\"\r\n")},
        RewriteCase{"blanks_around_equals_untouched", S("[K]\r\n\"a\" = \"1\"\r\n"), "K", "a", "2", 2,
                    S("[K]\r\n\"a\" = \"1\"\r\n")},
        RewriteCase{"other_sections_untouched",
                    S("[K]\r\n\"a\"=1\r\n[k]\r\n\"a\"=1\r\n[L]\r\n\"a\"=1\r\n[K] \r\n\"a\"=1\r\n"), "K", "a", "2", 0,
                    S("[K]\r\n\"a\"=2\r\n[k]\r\n\"a\"=1\r\n[L]\r\n\"a\"=1\r\n[K] \r\n\"a\"=1\r\n")},
        RewriteCase{"every_match_of_every_occurrence",
                    S("\"a\"=0\r\n[K]\r\n\"a\"=1\r\n\"a\"=2\r\n[L]\r\n[K]\r\n\"a\"=3\r\n"), "K", "a", "9", 0,
                    S("\"a\"=0\r\n[K]\r\n\"a\"=9\r\n\"a\"=9\r\n[L]\r\n[K]\r\n\"a\"=9\r\n")},
        RewriteCase{"missing_key_rewrites_unchanged", S("[K]\r\n\"a\"=1\r\n"), "K", "b", "2", 0,
                    S("[K]\r\n\"a\"=1\r\n")},
        RewriteCase{"no_key_selected", S("[K]\r\n\"a\"=1\r\n"), "K", "", "2", 0, S("[K]\r\n\"a\"=1\r\n")},
        // Every line keeps its own ending, the replaced one too.
        RewriteCase{"last_line_keeps_no_ending", S("[K]\r\n\"a\"=1"), "K", "a", "2", 0, S("[K]\r\n\"a\"=2")},
        RewriteCase{"lone_cr_kept", S("[K]\r\"a\"=1\r"), "K", "a", "2", 0, S("[K]\r\"a\"=2\r")},
        RewriteCase{"lf_file_stays_lf", S("[K]\n\"a\"=1\n\r\n"), "K", "a", "2", 0, S("[K]\n\"a\"=2\n\r\n")},
        RewriteCase{"mixed_endings_per_line", S("[K]\r\n\"b\"=0\r\"a\"=1\n\"c\"=3\r\n\n;x"), "K", "a", "2", 0,
                    S("[K]\r\n\"b\"=0\r\"a\"=2\n\"c\"=3\r\n\n;x")},
        RewriteCase{"wrapped_list_replaced_whole_lf", S("[K]\n\"a\"=hex:01,02,\\\n  03,04\n\"b\"=hex:05,\\\r\n  06\n"),
                    "K", "a", "dword:00000001", 0, S("[K]\n\"a\"=dword:00000001\n\"b\"=hex:05,\\\r\n  06\n")},
        RewriteCase{"utf8_bom_kept", S("\xEF\xBB\xBF[K]\r\n\"a\"=\"\xC3\xA4\"\r\n"), "K", "a", "\xC3\xB6", 2,
                    S("\xEF\xBB\xBF[K]\r\n\"a\"=\"\xC3\xB6\"\r\n")},
        RewriteCase{"empty_file_stays_empty", S(), "K", "a", "2", 0, S()}),
    test::CaseName());

TEST(Apply, BackupName)
{
    EXPECT_EQ(backupNameOf("test.reg"), "test.re_");
    EXPECT_EQ(backupNameOf("/a/b.ini"), "/a/b.in_");
    EXPECT_EQ(backupNameOf(""), "");
}

TEST(Apply, EventsAroundTheRewriteAndControlsReadOnce)
{
    test::TempDir dir;
    const std::string before = "[K]\r\n\"a\"=1\r\n";
    const QString file = dir.write("t.reg", before);
    const QString backup = dir.path("t.re_");
    std::vector<std::string> calls;
    const EditResult r = applyRegistryValue(
        file, nullptr,
        [&] {
            // First: backup complete, file untouched. Second: file rewritten, backup still there.
            calls.push_back("events file=" + test::readAll(file) + " backup=" + test::readAll(backup));
        },
        ApplyValues{"K", "a", "2"});
    EXPECT_EQ(r.status, EditStatus::Done);
    const std::vector<std::string> expected = {"events file=" + before + " backup=" + before,
                                               "events file=[K]\r\n\"a\"=2\r\n backup=" + before};
    EXPECT_EQ(calls, expected);
}

TEST(Apply, PendingTextRewrittenWithOneExtraEmptyLine)
{
    test::TempDir dir;
    const QString file =
        dir.write("t.reg", utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"a\"=\"1\"\r\n"));
    const LoadResult load = loadFile(file);
    ASSERT_EQ(load.regedit4, "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"1\"\r\n");
    const EditResult r = apply(file, {"K", "a", "\"2\""}, &load.regedit4);
    EXPECT_EQ(r.status, EditStatus::Done);
    EXPECT_TRUE(r.pendingUsed);
    EXPECT_EQ(test::readAll(file), "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"2\"\r\n\r\n");
    EXPECT_FALSE(QFile::exists(dir.path("t.re_")));
}

// A UTF-16 file without a waiting REGEDIT4 text is written in place: only
// the key's line (with the lines that continue it) changes, in UTF-16, the
// name's own units kept; every other byte stays.
struct InPlaceCase {
    const char* name;
    std::string before;
    ApplyValues values;
    std::string after;
};

class InPlace : public test::FileTable<InPlaceCase> {};

TEST_P(InPlace, OnlyTheKeysLineChanges)
{
    const QString file = dir.write("t.reg", c.before);
    const EditResult r = apply(file, c.values);
    EXPECT_EQ(r.status, EditStatus::Done);
    EXPECT_FALSE(r.pendingUsed);
    EXPECT_TRUE(test::readAll(file) == c.after) << test::readAll(file).size() << " vs " << c.after.size();
    EXPECT_FALSE(QFile::exists(dir.path("t.re_")));
}

const std::u16string kHead = u"Windows Registry Editor Version 5.00\r\n\r\n";
// Three globes (one surrogate pair each) that the 8-bit text shows as "???".
const std::u16string kGlobes = u"\U0001F310\U0001F310\U0001F310";

INSTANTIATE_TEST_SUITE_P(
    Cases, InPlace,
    testing::Values(InPlaceCase{"string_beside_globes",
                                utf16le(kHead + u"[HKEY_CURRENT_USER\\" + kGlobes + u"]\r\n\"" + kGlobes +
                                        u"\"=\"\u4E2D\"\r\n" + u"\"a\"=\"1\"\r\n\"b\"=\"\u0141\"\r\n"),
                                {"HKEY_CURRENT_USER\\???", "a", "\"\xF6\""},
                                utf16le(kHead + u"[HKEY_CURRENT_USER\\" + kGlobes + u"]\r\n\"" + kGlobes +
                                        u"\"=\"\u4E2D\"\r\n" + u"\"a\"=\"\u00F6\"\r\n\"b\"=\"\u0141\"\r\n")},
                    InPlaceCase{"name_units_kept",
                                utf16le(kHead + u"[K]\r\n\"\u0141" + kGlobes + u"\"=\"alt\"\r\n"),
                                {"K", "????", "dword:00000001"},
                                utf16le(kHead + u"[K]\r\n\"\u0141" + kGlobes + u"\"=dword:00000001\r\n")},
                    InPlaceCase{
                        "wrapped_list_replaced_whole",
                        utf16le(kHead + u"[K]\r\n\"x\"=hex(2):41,00,\\\r\n  42,00,00,00\r\n\"y\"=\"\u4E2D\"\r\n"),
                        {"K", "x", "hex(2):", S("C\0\0\0", 4)},
                        utf16le(kHead + u"[K]\r\n\"x\"=hex(2):43,00,00,00\r\n\"y\"=\"\u4E2D\"\r\n")},
                    InPlaceCase{"lf_endings_and_last_line_without_one",
                                utf16le(kHead + u"[K]\n\"\u4E2D\"=1\n\"a\"=1"),
                                {"K", "a", "2"},
                                utf16le(kHead + u"[K]\n\"\u4E2D\"=1\n\"a\"=2")},
                    InPlaceCase{"utf8_value_any_character",
                                utf16le(kHead + u"[K]\r\n\"a\"=\"1\"\r\n"),
                                {"K", "a", "\"\xC5\x81\xF0\x9F\x8C\x90\"", std::nullopt, true},
                                utf16le(kHead + u"[K]\r\n\"a\"=\"\u0141" + kGlobes.substr(0, 2) + u"\"\r\n")},
                    InPlaceCase{"big_endian",
                                test::utf16be(kHead + u"[K]\r\n\"a\"=\"\u4E2D\"\r\n"),
                                {"K", "a", "\"x\""},
                                test::utf16be(kHead + u"[K]\r\n\"a\"=\"x\"\r\n")},
                    InPlaceCase{"odd_byte_at_end_kept",
                                utf16le(kHead + u"[K]\r\n\"a\"=1\r\n") + "Z",
                                {"K", "a", "2"},
                                utf16le(kHead + u"[K]\r\n\"a\"=2\r\n") + "Z"},
                    InPlaceCase{"missing_key_leaves_every_byte",
                                utf16le(kHead + u"[K]\r\n\"a\"=\"" + kGlobes + u"\"\r\n"),
                                {"K", "b", "2"},
                                utf16le(kHead + u"[K]\r\n\"a\"=\"" + kGlobes + u"\"\r\n")}),
    test::CaseName());

TEST(Apply, Utf16FileWithoutPendingTextNotSpaced)
{
    // Only the value's rewrite goes in place; other rewrites keep refusing.
    test::TempDir dir;
    const std::string bytes = utf16le(u"Windows\r\n[K]\r\n\"a\"=1\r\n");
    const QString file = dir.write("t.reg", bytes);
    const EditResult r = rewriteThroughBackup(file, nullptr, {}, [] {
        return std::optional<LineRule>([](std::string_view, bool) { return LineEdit{true, std::nullopt}; });
    });
    test::expectRefusedUntouched(r.status, file, bytes, dir.path("t.re_"));
}

TEST(Apply, LineBreakInAnyValueRefused)
{
    test::TempDir dir;
    const std::string before = "[K]\r\n\"a\"=1\r\n";
    const QString file = dir.write("t.reg", before);
    for (const ApplyValues& values :
         {ApplyValues{"K", "a", "1\r\n[X]"}, ApplyValues{"K", "a\n", "1"}, ApplyValues{"K\r", "a", "1"}}) {
        const EditResult r = apply(file, values);
        EXPECT_EQ(r.status, EditStatus::Invalid);
        EXPECT_EQ(test::readAll(file), before);
        EXPECT_FALSE(QFile::exists(dir.path("t.re_")));
    }
}

TEST(Apply, BackupThatIsTheFileRefused)
{
    test::expectNoBackupOntoItself(applyTwo, "reg", "re_", "[K]\r\n\"a\"=1\r\n");
}

TEST(Apply, MissingOrIrregularFileRefused)
{
    test::TempDir dir;
    EXPECT_EQ(apply(dir.path("gone.reg"), {"K", "a", "2"}).status, EditStatus::Refused);
    ASSERT_TRUE(QDir(dir.path("")).mkdir("d.reg"));
    EXPECT_EQ(apply(dir.path("d.reg"), {"K", "a", "2"}).status, EditStatus::Refused);
    EXPECT_FALSE(QFile::exists(dir.path("gone.re_")));
}

KEYLOOM_POSIX_ONLY(Apply, WriteFailureKeepsCompleteBackup, "a full disk made with a file size limit (setrlimit)")
#ifndef _WIN32
TEST(Apply, WriteFailureKeepsCompleteBackup)
{
    test::TempDir dir;
    const std::string before = "[K]\r\n\"a\"=1\r\n";
    const QString file = dir.write("t.reg", before);
    // The backup still fits; the longer new content does not.
    const EditResult r = test::withFileSizeLimit(before.size() + 4, [&] {
        return apply(file, {"K", "a", std::string(100, 'x')});
    });
    EXPECT_EQ(r.status, EditStatus::WriteFailed);
    EXPECT_EQ(test::readAll(dir.path("t.re_")), before);
    EXPECT_EQ(test::readAll(file), ("[K]\r\n\"a\"=" + std::string(100, 'x')).substr(0, before.size() + 4));
}
#endif

KEYLOOM_POSIX_ONLY(Apply, BackupFailureLeavesFileUnchanged, "a full disk made with a file size limit (setrlimit)")
#ifndef _WIN32
TEST(Apply, BackupFailureLeavesFileUnchanged)
{
    test::TempDir dir;
    const std::string before = std::string(200, ';') + "\r\n[K]\r\n\"a\"=1\r\n";
    const QString file = dir.write("t.reg", before);
    const EditResult r = test::withFileSizeLimit(100, [&] { return apply(file, {"K", "a", "2"}); });
    EXPECT_EQ(r.status, EditStatus::BackupFailed);
    EXPECT_EQ(test::readAll(file), before);
}
#endif

TEST(Apply, ReadOnlyFileUnchanged)
{
    test::expectReadOnlyFileRefused(applyTwo, "t.reg", "t.re_", "[K]\r\n\"a\"=1\r\n");
}

}  // namespace
}  // namespace keyloom
