#include "app/commands.h"
#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "common/utf16.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace keyloom {
namespace {

using namespace std::string_literals;
using S = std::string;

// The value found, with "<def>" as default; checks the terminating NUL.
S lookup(const QString& file, std::string_view section, std::string_view key, std::int64_t size = 2048)
{
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1, 'x');
    const std::int64_t n = GetPrivateProfileStringA(section, key, "<def>", buffer.data(), size, file);
    EXPECT_EQ(buffer[static_cast<std::size_t>(n)], '\0');
    return S(buffer.data(), static_cast<std::size_t>(n));
}

using test::PrintTo;

// ---------------------------------------------------------------- reading

struct ReadCase {
    const char* name;
    S bytes;
    S section;
    S key;
    S expected;
};

class ProfileRead : public test::FileTable<ReadCase> {};

TEST_P(ProfileRead, FindsValue) { EXPECT_EQ(lookup(dir.write("f.ini", c.bytes), c.section, c.key), c.expected); }

INSTANTIATE_TEST_SUITE_P(
    Lookup, ProfileRead,
    testing::Values(
        ReadCase{"ascii_letter_case", "[Main]\r\nKey=1\r\n", "MAIN", "KEY", "1"},
        ReadCase{"umlauts_utf8",
                 "[\xC3\xBC"
                 "ber]\r\nSchl\xC3\xBCssel=ja\r\n",
                 "\xC3\x9C"
                 "BER",
                 "SCHL\xC3\x9CSSEL", "ja"},
        ReadCase{"umlauts_windows1252",
                 "[\xFC"
                 "ber]\r\nSchl\xFCssel=ja\r\n",
                 "\xDC"
                 "BER",
                 "SCHL\xDCSSEL", "ja"},
        ReadCase{"utf8_name_finds_windows1252_key", "[A]\r\nSchl\xFCssel=ja\r\n", "A", "SCHL\xC3\x9CSSEL", "ja"},
        ReadCase{"umlaut_is_not_its_base_letter", "[A]\r\nSchl\xFCssel=ja\r\n", "A", "SCHLUSSEL", "<def>"},
        ReadCase{"key_with_trailing_blank", "[Main]\r\nKey = 1\r\n", "Main", "KEY ", "1"},
        ReadCase{"blanks_around_names", "[ \tMain ]\r\n\t Key\t=1\r\n", " main\t", "  key", "1"},
        ReadCase{"blank_inside_section_counts", "[Ma in]\r\nKey=1\r\n", "MAIN", "KEY", "<def>"},
        ReadCase{"blank_inside_key_counts", "[A]\r\nK ey=1\r\nKey=2\r\n", "A", "k ey", "1"},
        ReadCase{"text_after_header_ignored", "[Main] ; old\r\nk=v\r\n", "main", "k", "v"},
        ReadCase{"header_ends_at_last_bracket", "[a]b] x\r\nk=v\r\n", "A]B", "k", "v"},
        ReadCase{"line_without_bracket_no_header", "[A]\r\n[B\r\nk=v\r\n", "A", "k", "v"},
        ReadCase{"inline_semicolon_kept", "[A]\r\nb=v ; x\r\n", "A", "B", "v ; x"},
        ReadCase{"comment_lines_never_match", "[A]\r\n;k=1\r\n  #k=2\r\nk=3\r\n", "A", "k", "3"},
        // No comment lines: ";k" and "#k" are names like any other.
        ReadCase{"semicolon_key", "[A]\r\n;k=1\r\nk=2\r\n", "A", ";k", "1"},
        ReadCase{"hash_key_not_found_as_plain", "[A]\r\n#k=1\r\n", "A", "k", "<def>"},
        ReadCase{"line_without_equals_no_key", "[A]\r\nk\r\nk=3\r\n", "A", "k", "3"},
        ReadCase{"value_split_at_first_equals", "[A]\r\nk = a=b\r\n", "A", "k", "a=b"},
        ReadCase{"value_trimmed", "[A]\r\nk =\t v w \t\r\n", "A", "k", "v w"},
        ReadCase{"double_quotes_removed", "[A]\r\nk=\"abc\"\r\n", "A", "k", "abc"},
        ReadCase{"single_quotes_removed", "[A]\r\nk= 'a b' \r\n", "A", "k", "a b"},
        ReadCase{"one_pair_only", "[A]\r\nk=\"\"a\"\"\r\n", "A", "k", "\"a\""},
        ReadCase{"quote_at_one_end_kept", "[A]\r\nk=\"abc\r\n", "A", "k", "\"abc"},
        ReadCase{"different_quotes_kept", "[A]\r\nk=\"abc'\r\n", "A", "k", "\"abc'"},
        ReadCase{"empty_quotes_give_empty", "[A]\r\nk=\"\"\r\n", "A", "k", ""},
        ReadCase{"lone_quote_kept", "[A]\r\nk=\"\r\n", "A", "k", "\""},
        ReadCase{"empty_value_is_not_default", "[A]\r\nk=\r\n", "A", "k", ""},
        ReadCase{"first_section_occurrence_only", "[A]\r\nx=1\r\n[B]\r\n[a]\r\nk=2\r\n", "A", "k", "<def>"},
        ReadCase{"first_key_wins", "[A]\r\nk=1\r\nK=2\r\n", "A", "k", "1"},
        ReadCase{"key_of_other_section_not_found", "[A]\r\n[B]\r\nk=1\r\n", "A", "k", "<def>"},
        ReadCase{"keys_above_first_header", "k=0\r\n[A]\r\nk=1\r\n", "", "k", "0"},
        ReadCase{"blank_section_is_top", "k=0\r\n[A]\r\nk=1\r\n", "  ", "K", "0"},
        ReadCase{"top_keys_not_in_named_section", "k=0\r\n[A]\r\nx=1\r\n", "A", "k", "<def>"},
        ReadCase{"nul_ends_value", "[A]\r\nk=ab\0cd\r\n"s, "A", "k", "ab"},
        ReadCase{"mixed_line_ends_first", "[A]\rx=1\n\r\nk=2\r[B]\nk=3", "A", "k", "2"},
        ReadCase{"mixed_line_ends_last", "[A]\rx=1\n\r\nk=2\r[B]\nk=3", "B", "k", "3"},
        ReadCase{"utf8_bom", "\xEF\xBB\xBF[A]\r\nk=\xC3\xA4\r\n", "A", "K", "\xC3\xA4"},
        ReadCase{"utf16le_as_utf8", test::utf16(u"[A]\r\nk=\u00E4\u20AC\r\n"), "A", "K", "\xC3\xA4\xE2\x82\xAC"},
        ReadCase{"utf16be_as_utf8", test::utf16(u"[A]\r\nk=\u00E4\u20AC\r\n", false), "A", "K", "\xC3\xA4\xE2\x82\xAC"},
        ReadCase{"utf16_umlaut_key", test::utf16(u"[A]\nSchl\u00FCssel=1"), "a", "SCHL\xDCSSEL", "1"},
        ReadCase{"missing_section", "[A]\r\nk=1\r\n", "B", "k", "<def>"},
        ReadCase{"missing_key", "[A]\r\nk=1\r\n", "A", "x", "<def>"},
        ReadCase{"empty_key_finds_nothing", "[A]\r\n=1\r\n", "A", "", "<def>"},
        ReadCase{"empty_file", "", "A", "k", "<def>"}),
    test::CaseName());

TEST(ProfileRead, MissingFileOrFolderGivesDefault)
{
    test::TempDir dir;
    EXPECT_EQ(lookup(dir.path("none.ini"), "A", "k"), "<def>");
    EXPECT_EQ(lookup(dir.path(""), "A", "k"), "<def>");
}

TEST(ProfileRead, LongValueIsCutToBuffer)
{
    test::TempDir dir;
    const QString file = dir.write("f.ini", "[A]\r\nk=" + S(3000, 'v') + "\r\n");
    EXPECT_EQ(lookup(file, "A", "k"), S(2047, 'v'));
    EXPECT_EQ(lookup(file, "A", "k", 1), "");
    EXPECT_EQ(lookup(file, "A", "missing", 3), "<d");

    char untouched = 'x';
    EXPECT_EQ(GetPrivateProfileStringA("A", "k", "", &untouched, 0, file), 0);
    EXPECT_EQ(untouched, 'x');
}

TEST(ReadProfileValue, UpperCasesNamesAndCutsAt2047)
{
    test::TempDir dir;
    const QString file = dir.write("f.ini", "[Main]\r\nKey = 1\r\nlong=" + S(3000, 'v') + "\r\nempty=\r\n");
    EXPECT_EQ(Commands::ReadProfileValue("main", "Key ", file), "1");
    EXPECT_EQ(Commands::ReadProfileValue("Main", "long", file), S(2047, 'v'));
    EXPECT_EQ(Commands::ReadProfileValue("Main", "none", file, "d"), "d");
    // A found empty value reads as nothing found.
    EXPECT_EQ(Commands::ReadProfileValue("Main", "empty", file, "d"), "d");
    EXPECT_EQ(Commands::ReadProfileValue("Main", "none", file), "");
}

// ---------------------------------------------------------------- writing

struct WriteCase {
    const char* name;
    std::optional<S> before;  // nullopt: the file does not exist
    S section;
    S key;
    S value;
    S after;
};

class ProfileWrite : public test::FileTable<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyWhatItMust)
{
    const QString file = c.before ? dir.write("f.ini", *c.before) : dir.path("f.ini");
    EXPECT_TRUE(WritePrivateProfileStringA(c.section, c.key, c.value, file));
    EXPECT_EQ(test::readAll(file), c.after);
    EXPECT_EQ(QDir(dir.path("")).entryList(QDir::Files | QDir::Hidden), QStringList{"f.ini"});
}

INSTANTIATE_TEST_SUITE_P(
    Splice, ProfileWrite,
    testing::Values(
        WriteCase{"key_keeps_spelling_and_spacing", "; c\r\n[Main]\r\nKey =  old  \r\nOther = 1\r\n", "MAIN", "KEY ",
                  "new", "; c\r\n[Main]\r\nKey =  new\r\nOther = 1\r\n"},
        WriteCase{"value_loses_leading_blanks", "[A]\r\nk=1\r\n", "A", "k", " \t2 ", "[A]\r\nk=2 \r\n"},
        WriteCase{"empty_value", "[A]\r\nk = 1\r\n", "A", "k", "", "[A]\r\nk = \r\n"},
        WriteCase{"hash_and_semicolon_keys", "[A]\r\n;k=1\r\n#k=1\r\n", "A", "#k", "2", "[A]\r\n;k=1\r\n#k=2\r\n"},
        WriteCase{"mixed_line_ends_kept", "[A]\nk=1\r\nx=2\ry=3", "A", "x", "9", "[A]\nk=1\r\nx=9\ry=3"},
        WriteCase{"last_line_stays_open", "[A]\nk=1\r\nx=2\ry=3", "A", "y", "7", "[A]\nk=1\r\nx=2\ry=7"},
        WriteCase{"first_key_first_section", "[A]\r\nk=1\r\nk=2\r\n[A]\r\nk=3\r\n", "a", "K", "9",
                  "[A]\r\nk=9\r\nk=2\r\n[A]\r\nk=3\r\n"},
        WriteCase{"key_of_other_section_untouched", "[B]\r\nk=1\r\n[A]\r\nk=2\r\n", "A", "k", "9",
                  "[B]\r\nk=1\r\n[A]\r\nk=9\r\n"},
        WriteCase{"header_with_text_after_bracket", "[A] ; c\r\nk=1\r\n", "a", "k", "2", "[A] ; c\r\nk=2\r\n"},
        WriteCase{"windows1252_umlaut_key", "[S]\r\nSchl\xFCssel=1\r\n", "s", "SCHL\xDCSSEL", "2",
                  "[S]\r\nSchl\xFCssel=2\r\n"},
        WriteCase{"quoted_value_replaced", "[A]\r\nk=\"old\"\r\n", "A", "k", "new", "[A]\r\nk=new\r\n"},
        WriteCase{"trailing_bytes_kept", "[A]\r\nk=1\r\n\r\n  \r\n;end", "A", "k", "2", "[A]\r\nk=2\r\n\r\n  \r\n;end"},
        WriteCase{"new_key_before_blank_lines", "[A]\r\nk=1\r\n\r\n \r\n[B]\r\nx=1\r\n", "a", "n", "v",
                  "[A]\r\nk=1\r\nn=v\r\n\r\n \r\n[B]\r\nx=1\r\n"},
        WriteCase{"new_key_after_comment", "[A]\r\nk=1\r\n; c\r\n\r\n[B]\r\n", "A", "n", "v",
                  "[A]\r\nk=1\r\n; c\r\nn=v\r\n\r\n[B]\r\n"},
        WriteCase{"new_key_in_empty_section", "[A]\r\n\r\n[B]\r\n", "A", "n", "v", "[A]\r\nn=v\r\n\r\n[B]\r\n"},
        WriteCase{"new_key_after_open_last_line", "[A]\r\nk=1", "A", "n", "v", "[A]\r\nk=1\r\nn=v\r\n"},
        WriteCase{"new_key_blanks_removed", "[A]\r\n", "A", " \tn ", "  v", "[A]\r\nn=v\r\n"},
        WriteCase{"new_key_first_section_occurrence", "[A]\r\nk=1\r\n[B]\r\n[A]\r\n", "A", "n", "v",
                  "[A]\r\nk=1\r\nn=v\r\n[B]\r\n[A]\r\n"},
        WriteCase{"new_key_lf_file", "[A]\nk=1\n", "A", "n", "v", "[A]\nk=1\nn=v\n"},
        WriteCase{"new_key_cr_file", "[A]\rk=1\r", "A", "n", "v", "[A]\rk=1\rn=v\r"},
        WriteCase{"new_key_above_first_header", "k=1\r\n\r\n[A]\r\n", "", "n", "v", "k=1\r\nn=v\r\n\r\n[A]\r\n"},
        WriteCase{"new_first_line_before_header", "[A]\n", " ", "n", "v", "n=v\n[A]\n"},
        WriteCase{"top_key_replaced", "k=1\r\n[A]\r\nk=2\r\n", "", "k", "9", "k=9\r\n[A]\r\nk=2\r\n"},
        WriteCase{"new_section_appended", "[A]\r\nk=1\r\n", "B", "n", "v", "[A]\r\nk=1\r\n[B]\r\nn=v\r\n"},
        WriteCase{"new_section_after_open_last_line", "[A]\nk=1", " B ", "n", "v", "[A]\nk=1\n[B]\nn=v\n"},
        WriteCase{"new_section_in_empty_file", "", "B", "n", "v", "[B]\r\nn=v\r\n"},
        WriteCase{"new_section_after_cr_lines", "[A]\rk=1\rj=2\r", "B", "n", "v", "[A]\rk=1\rj=2\r[B]\rn=v\r"},
        WriteCase{"indented_header_after_other_lines", "[A]\r\nk=1\r\n x=2\r\n\t[B]\r\nk=2\r\n", "B", "k", "v",
                  "[A]\r\nk=1\r\n x=2\r\n\t[B]\r\nk=v\r\n"},
        WriteCase{"new_file_created", std::nullopt, "B", "n", "v", "[B]\r\nn=v\r\n"},
        WriteCase{"new_file_top_key", std::nullopt, "", "n", "v", "n=v\r\n"},
        WriteCase{"nul_in_other_line_kept", "[A]\r\nx=a\0b\r\nk=1\r\n"s, "A", "k", "2", "[A]\r\nx=a\0b\r\nk=2\r\n"s},
        WriteCase{"utf8_bom_kept", "\xEF\xBB\xBF[A]\r\nk=1\r\n", "a", "k", "\xC3\xA4",
                  "\xEF\xBB\xBF[A]\r\nk=\xC3\xA4\r\n"},
        WriteCase{"utf8_bom_top_key", "\xEF\xBB\xBF[A]\n", "", "n", "v", "\xEF\xBB\xBFn=v\n[A]\n"},
        WriteCase{"utf8_bom_new_section", "\xEF\xBB\xBF", "A", "n", "v", "\xEF\xBB\xBF[A]\r\nn=v\r\n"},
        WriteCase{"utf16le_value_other_lines_raw", test::utf16(u"[A]\r\nk=1\r\n;\U0001F600\u4E2D\r\n"), "A", "k",
                  "\xC3\xA4\xE2\x82\xAC", test::utf16(u"[A]\r\nk=\u00E4\u20AC\r\n;\U0001F600\u4E2D\r\n")},
        WriteCase{"utf16le_key_name_kept_raw", test::utf16(u"[A]\r\nk\U0001F600 = 1\r\n"), "A", "K\xF0\x9F\x98\x80",
                  "2", test::utf16(u"[A]\r\nk\U0001F600 = 2\r\n")},
        WriteCase{"utf16le_new_key", test::utf16(u"[A]\r\n;\u4E2D\r\n\r\n[B]"), "A", "n", "\xC3\xBC",
                  test::utf16(u"[A]\r\n;\u4E2D\r\nn=\u00FC\r\n\r\n[B]")},
        WriteCase{"utf16le_new_section", test::utf16(u"[A]\nk=1"), "B", "n", "v", test::utf16(u"[A]\nk=1\n[B]\nn=v\n")},
        WriteCase{"utf16le_top_key", test::utf16(u"[A]\r\n"), "", "n", "v", test::utf16(u"n=v\r\n[A]\r\n")},
        WriteCase{"utf16be_value", test::utf16(u"[A]\r\nk=1\r\n\u4E2D=x\r\n", false), "a", "k", "2",
                  test::utf16(u"[A]\r\nk=2\r\n\u4E2D=x\r\n", false)},
        WriteCase{"utf16be_new_section", test::utf16(u"[A]\r\n", false), "B", "n", "\xE2\x82\xAC",
                  test::utf16(u"[A]\r\n[B]\r\nn=\u20AC\r\n", false)}),
    test::CaseName());

struct RejectCase {
    const char* name;
    S section;
    S key;
    S value;
};

class ProfileWriteRejects : public test::FileTable<RejectCase> {};

TEST_P(ProfileWriteRejects, LeavesFileAlone)
{
    const S before = "[A]\r\nk=1\r\n";
    const QString file = dir.write("f.ini", before);
    EXPECT_FALSE(WritePrivateProfileStringA(c.section, c.key, c.value, file));
    EXPECT_EQ(test::readAll(file), before);
    EXPECT_FALSE(WritePrivateProfileStringA(c.section, c.key, c.value, dir.path("new.ini")));
    EXPECT_FALSE(QFileInfo::exists(dir.path("new.ini")));
}

INSTANTIATE_TEST_SUITE_P(
    BadNames, ProfileWriteRejects,
    testing::Values(RejectCase{"cr_in_value", "A", "k", "1\r2"}, RejectCase{"lf_in_value", "A", "k", "1\n[B]"},
                    RejectCase{"lf_in_key", "A", "k\nx", "1"}, RejectCase{"cr_in_section", "A\r", "k", "1"},
                    RejectCase{"nul_in_section", "A\0"s, "k", "1"}, RejectCase{"nul_in_key", "A", "k\0"s, "1"},
                    RejectCase{"empty_key", "A", "", "1"}, RejectCase{"blank_key", "A", " \t", "1"},
                    RejectCase{"equals_in_new_key", "A", "a=b", "1"},
                    RejectCase{"new_key_read_as_header", "A", "[x]", "1"}),
    test::CaseName());

KEYLOOM_POSIX_ONLY(ProfileWrite, UnchangedLineLeavesFileUntouched, "inode numbers and utime")
#ifndef _WIN32
TEST(ProfileWrite, UnchangedLineLeavesFileUntouched)
{
    test::TempDir dir;
    const QString file = dir.write("f.ini", "[A]\r\nKey =  1\r\n");
    const QByteArray native = QFile::encodeName(file);
    const utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(::utime(native.constData(), &old), 0);
    struct stat before {};
    ASSERT_EQ(::stat(native.constData(), &before), 0);

    EXPECT_TRUE(WritePrivateProfileStringA("a", "KEY", " 1", file));
    struct stat after {};
    ASSERT_EQ(::stat(native.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtime, before.st_mtime);
}
#endif

KEYLOOM_POSIX_ONLY(ProfileWrite, PermissionsKept, "mode bits")
#ifndef _WIN32
TEST(ProfileWrite, PermissionsKept)
{
    test::TempDir dir;
    const QString file = dir.write("f.ini", "[A]\r\nk=1\r\n");
    const QByteArray native = QFile::encodeName(file);
    ASSERT_EQ(::chmod(native.constData(), 0640), 0);
    EXPECT_TRUE(WritePrivateProfileStringA("A", "k", "2", file));
    struct stat st {};
    ASSERT_EQ(::stat(native.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
#endif

KEYLOOM_POSIX_ONLY(ProfileWrite, SymbolicLinkStaysLink, "symbolic links (QFile::link makes shortcuts on Windows)")
#ifndef _WIN32
TEST(ProfileWrite, SymbolicLinkStaysLink)
{
    test::TempDir dir;
    ASSERT_TRUE(QDir(dir.path("")).mkdir("real"));
    const QString target = dir.write("real/t.ini", "[A]\r\nk=1\r\n");
    const QString link = dir.path("link.ini");
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_TRUE(WritePrivateProfileStringA("A", "k", "2", link));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_EQ(test::readAll(target), "[A]\r\nk=2\r\n");
    EXPECT_EQ(QDir(dir.path("")).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"link.ini"});
    EXPECT_EQ(QDir(dir.path("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"t.ini"});
}
#endif

TEST(ProfileWrite, RefusesWhatItCannotWriteSafely)
{
    test::TempDir dir;
    // A folder that does not exist.
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", dir.path("none/f.ini")));
    EXPECT_FALSE(QFileInfo::exists(dir.path("none")));
    // Not a regular file.
    ASSERT_TRUE(QDir(dir.path("")).mkdir("folder.ini"));
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", dir.path("folder.ini")));
#ifndef _WIN32
    // A link to nothing (QFile::link makes a shortcut on Windows, a file).
    ASSERT_TRUE(QFile::link(dir.path("gone.ini"), dir.path("dangling.ini")));
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", dir.path("dangling.ini")));
    EXPECT_FALSE(QFileInfo::exists(dir.path("gone.ini")));
#endif
    // A UTF-16 file cut inside a character.
    const S odd = test::utf16(u"[A]\r\nk=1\r\n") + "x";
    const QString oddFile = dir.write("odd.ini", odd);
    EXPECT_FALSE(WritePrivateProfileStringA("B", "k", "1", oddFile));
    EXPECT_EQ(test::readAll(oddFile), odd);
    // An empty path.
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", QString()));
}

// The file is written whenever it is writable itself, and stays what it was:
// owner, group, mode and hard links.
KEYLOOM_POSIX_ONLY(ProfileWrite, KeepsWhatTheFileIs, "owner, group, mode bits and hard links through POSIX calls")
#ifndef _WIN32
TEST(ProfileWrite, KeepsWhatTheFileIs)
{
    test::TempDir dir;
    const S before = "[A]\r\nk=1\r\n";
    const S after = "[A]\r\nk=2\r\n";
    const QString readOnly = dir.write("r.ini", before);
    const QString linked = dir.write("l.ini", before);
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(), QFile::encodeName(dir.path("l2.ini")).constData()), 0);
    ASSERT_TRUE(QDir(dir.path("")).mkdir("ro"));
    const QString inside = dir.write("ro/f.ini", before);
    const QByteArray folder = QFile::encodeName(dir.path("ro"));
    test::runWithoutRoot(dir, [&] {
        ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
        EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "2", readOnly));
        EXPECT_EQ(test::readAll(readOnly), before);

        EXPECT_TRUE(WritePrivateProfileStringA("A", "k", "2", linked));
        EXPECT_EQ(test::readAll(dir.path("l2.ini")), after);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(linked).constData(), &st), 0);
        EXPECT_EQ(st.st_nlink, 2u);

        ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
        EXPECT_TRUE(WritePrivateProfileStringA("A", "k", "2", inside));
        EXPECT_EQ(test::readAll(inside), after);
        EXPECT_EQ(QDir(dir.path("ro")).entryList(QDir::Files | QDir::Hidden), QStringList{"f.ini"});
        ::chmod(folder.constData(), 0755);
    });
    // Another user's file written by root keeps its owner.
    if (::geteuid() == 0) {
        const QString theirs = dir.write("theirs.ini", before);
        ASSERT_TRUE(test::giveToNobody(theirs));
        EXPECT_TRUE(WritePrivateProfileStringA("A", "k", "2", theirs));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(theirs).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, test::kNobody);
        EXPECT_EQ(test::readAll(theirs), after);
    }
}
#endif

// Lines across the reader's 1 MiB blocks, with a CR LF split between two of
// them; the key sits after them and everything around it is copied.
TEST(ProfileWrite, LargeFileAcrossBlocks)
{
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "utf16" : "bytes");
        // A comment long enough to put its CR at the last byte of the first block.
        std::u16string text = u"[A]\r\n;" + std::u16string(wide ? 524280 : 1048569, u'p') + u"\r\n";
        while (text.size() < (3u << 20) / (wide ? 2 : 1))
            text += u"x" + std::u16string(997, u'y') + u"=1\r\n";
        text += u"k=old\r\n[B]\r\n";
        auto bytesOf = [&](const std::u16string& t) { return wide ? test::utf16(t) : S(t.begin(), t.end()); };
        std::u16string expected = text;
        expected.replace(expected.find(u"k=old"), 5, u"k=new");

        ASSERT_EQ(bytesOf(text).substr(wide ? 1048574 : 1048575, 3), wide ? "\r\0\n"s : "\r\nx"s);

        test::TempDir dir;
        const QString file = dir.write("big.ini", bytesOf(text));
        EXPECT_TRUE(WritePrivateProfileStringA("A", "k", "new", file));
        EXPECT_TRUE(test::readAll(file) == bytesOf(expected));
        EXPECT_EQ(lookup(file, "a", "K"), "new");
        EXPECT_TRUE(WritePrivateProfileStringA("A", "n", "v", file));
        expected.insert(expected.find(u"[B]"), u"n=v\r\n");
        EXPECT_TRUE(test::readAll(file) == bytesOf(expected));
    }
}

struct RoundTripCase {
    const char* name;
    S before;
    S section;
    S key;
    S value;
    S expected;  // what the read returns
};

class ProfileRoundTrip : public test::FileTable<RoundTripCase> {};

TEST_P(ProfileRoundTrip, WriteThenRead)
{
    const QString file = dir.write("f.ini", c.before);
    EXPECT_TRUE(Commands::WriteProfileValue(c.section, c.key, c.value, file).written);
    EXPECT_EQ(Commands::ReadProfileValue(c.section, c.key, file), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ProfileRoundTrip,
    testing::Values(RoundTripCase{"bytes_existing", "[A]\nk=1\nx=0\n", "A", "x", "a b", "a b"},
                    RoundTripCase{"bytes_new_key", "[A]\nk=1\n", "A", "n ", "v", "v"},
                    RoundTripCase{"windows1252_umlauts", "[\xC4]\r\nk=1\r\n", "\xE4", "\xFC", "\xF6", "\xF6"},
                    RoundTripCase{"utf8_bom_umlauts", "\xEF\xBB\xBF[\xC3\x84]\r\nk=1\r\n", "\xC3\xA4", "\xC3\xBC",
                                  "\xC3\xB6", "\xC3\xB6"},
                    RoundTripCase{"utf16le_new_section", test::utf16(u"[A]\r\nk=1\r\n"), "\xC3\x84", "n",
                                  "\xE2\x82\xAC\xC3\xBF", "\xE2\x82\xAC\xC3\xBF"},
                    RoundTripCase{"utf16be_existing", test::utf16(u"[A]\r\nk=1\r\nx=\U0001F600\r\n", false), "A", "x",
                                  "?", "?"}),
    test::CaseName());

TEST(WriteProfileValue, ReportsFailure)
{
    test::TempDir dir;
    EXPECT_FALSE(Commands::WriteProfileValue("A", "", "1", dir.path("f.ini")).written);
    EXPECT_FALSE(Commands::WriteProfileValue("A", "k", "1", dir.path("none/f.ini")).written);
    EXPECT_TRUE(Commands::WriteProfileValue("A", "k", "1", dir.path("f.ini")).written);
}

}  // namespace
}  // namespace keyloom

// ---------------------------------------------------------------- several changes at once

namespace keyloom {
namespace {

struct ChangesCase {
    const char* name;
    S before;
    std::vector<ProfileChange> changes;
    bool written;
    S after;  // empty: as before
};

class ProfileChanges : public test::FileTable<ChangesCase> {};

TEST_P(ProfileChanges, WritesAllInOneOrNothing)
{
    const QString file = dir.write("f.ini", c.before);
    const keyloom::ProfileWrite write = writeProfileChanges(c.changes, file);
    EXPECT_EQ(write.written, c.written);
    EXPECT_EQ(write.invalid, !c.written);
    EXPECT_EQ(test::readAll(file), c.after.empty() ? c.before : c.after);
    EXPECT_EQ(QDir(dir.path("")).entryList(QDir::Files | QDir::Hidden), QStringList{"f.ini"});
}

const std::optional<S> kNone;

INSTANTIATE_TEST_SUITE_P(
    Splices, ProfileChanges,
    testing::Values(
        ChangesCase{"key_deleted_first_of_repeated",
                    "[A]\r\nk=1\r\nK = 2\r\n",
                    {{" a ", "k", kNone}},
                    true,
                    "[A]\r\nK = 2\r\n"},
        ChangesCase{"section_deleted_to_next_header",
                    "x=0\n[A]\nk=1\n\n[B]\nl=2\n",
                    {{"a", kNone, kNone}},
                    true,
                    "x=0\n[B]\nl=2\n"},
        ChangesCase{"last_section_and_open_line", "[A]\nk=1\n[B]\nl=2", {{"B", kNone, kNone}}, true, "[A]\nk=1\n"},
        ChangesCase{"utf16_first_header_keeps_mark",
                    test::utf16le(u"[A]\r\nk=1\r\n[B]\r\n"),
                    {{"A", kNone, kNone}},
                    true,
                    test::utf16le(u"[B]\r\n")},
        ChangesCase{
            "missing_key_and_section_change_nothing", "[A]\nk=1\n", {{"A", "x", kNone}, {"C", kNone, kNone}}, true, ""},
        ChangesCase{"set_and_delete_in_one",
                    "[A]\nk=1\nl=2\n[B]\nm=3\n",
                    {{"A", "l", kNone}, {"B", "m", "4"}, {"A", "k", "9"}},
                    true,
                    "[A]\nk=9\n[B]\nm=4\n"},
        ChangesCase{"new_keys_and_sections_joined",
                    "[A]\nk=1",
                    {{"B", "x", "1"}, {"A", "n", "2"}, {"C", "y", "3"}, {"b", "z", "4"}},
                    true,
                    "[A]\nk=1\nn=2\n[B]\nx=1\nz=4\n[C]\ny=3\n"},
        ChangesCase{"new_key_before_deleted_next_section",
                    "[A]\nk=1\n[B]\nl=2\n",
                    {{"B", kNone, kNone}, {"A", "n", "2"}},
                    true,
                    "[A]\nk=1\nn=2\n"},
        ChangesCase{"same_key_twice_refused", "[A]\nk=1\n", {{"A", "k", "2"}, {"a", " K", "3"}}, false, ""},
        ChangesCase{
            "deleted_section_named_again_refused", "[A]\nk=1\n", {{"A", kNone, kNone}, {"A", "n", "1"}}, false, ""},
        ChangesCase{"one_line_break_refuses_all", "[A]\nk=1\n", {{"A", "k", "2"}, {"A", "l", "x\ny"}}, false, ""},
        ChangesCase{"value_without_key_refused", "[A]\nk=1\n", {{"A", kNone, "2"}}, false, ""}),
    test::CaseName());

}  // namespace
}  // namespace keyloom
