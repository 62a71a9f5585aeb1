#include "common/edits.h"
#include "common/file_size_limit.h"
#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "filecommands/spacing.h"

#include <QFile>
#include <gtest/gtest.h>

#include <unistd.h>

namespace keyloom {
namespace {

using S = std::string;

EditStatus spaceOut(const QString& file) { return insertSpaces(file).status; }

using test::PrintTo;

struct SpaceCase {
    const char* name;
    std::string before;
    std::string after;
};

class Space : public test::FileTable<SpaceCase> {};

TEST_P(Space, WholeFileAndRunningTwiceChangesNothingMore)
{
    const QString file = dir.write("t.ini", c.before);
    EXPECT_EQ(insertSpaces(file).status, EditStatus::Done);
    EXPECT_EQ(test::readAll(file), c.after);
    EXPECT_FALSE(QFile::exists(dir.path("t.in_")));
    EXPECT_EQ(insertSpaces(file).status, EditStatus::Done);
    EXPECT_EQ(test::readAll(file), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Space,
    testing::Values(SpaceCase{"first_line_header", S("[A]\r\na=1\r\n[B]\r\n"), S("[A]\r\na=1\r\n\r\n[B]\r\n")},
                    SpaceCase{"after_empty_line", S("[A]\r\n\r\n[B]\r\n"), S("[A]\r\n\r\n[B]\r\n")},
                    SpaceCase{"after_line_of_blanks", S("x\r\n  \r\n[B]"), S("x\r\n  \r\n\r\n[B]")},
                    SpaceCase{"after_comment", S("; c\r\n[B]\r\nb=2\r\n[C]\r\n"),
                              S("; c\r\n\r\n[B]\r\nb=2\r\n\r\n[C]\r\n")},
                    SpaceCase{"headers_in_a_row", S("[A]\r\n[B]\r\n"), S("[A]\r\n\r\n[B]\r\n")},
                    SpaceCase{"no_headers_only_endings", S("a\rb\r\nc"), S("a\rb\r\nc")},
                    SpaceCase{"empty_file", S(), S()},
                    SpaceCase{"blank_then_bracket_no_header", S("a\r\n [B]\r\n"), S("a\r\n [B]\r\n")},
                    SpaceCase{"lf_file_stays_lf", S("a\n[B]\r\n"), S("a\n\n[B]\r\n")},
                    // Every line keeps its own ending; an added one ends as the line before it.
                    SpaceCase{"mixed_endings_per_line", S("a\r[B]\nb\r\n[C]\r[D]"), S("a\r\r[B]\nb\r\n\r\n[C]\r\r[D]")},
                    SpaceCase{"utf8_bom_kept", S("\xEF\xBB\xBF[A]\r\na\r\n[B]"), S("\xEF\xBB\xBF[A]\r\na\r\n\r\n[B]")}),
    test::CaseName());

TEST(Space, Utf16FilesRefused)
{
    test::TempDir dir;
    for (const std::string& bytes : {S("\xFF\xFEx\0\r\0\n\0[\0B\0]\0", 14), S("\xFE\xFF\0[", 4)}) {
        const QString file = dir.write("t.ini", bytes);
        test::expectRefusedUntouched(insertSpaces(file).status, file, bytes, dir.path("t.in_"));
    }
}

TEST(Space, BackupThatIsTheFileRefused)
{
    test::expectNoBackupOntoItself(spaceOut, "ini", "in_", "a\r\n[B]\r\n");
    test::TempDir dir;
    EXPECT_EQ(insertSpaces(dir.path("gone.ini")).status, EditStatus::Refused);
}

KEYLOOM_POSIX_ONLY(Space, BackupFailureLeavesFileUnchanged, "a full disk made with a file size limit (setrlimit)")
#ifndef _WIN32
TEST(Space, BackupFailureLeavesFileUnchanged)
{
    test::TempDir dir;
    const std::string before = std::string(200, ';') + "\r\n[B]\r\n";
    const QString file = dir.write("t.ini", before);
    const EditStatus status = test::withFileSizeLimit(100, [&] { return insertSpaces(file).status; });
    EXPECT_EQ(status, EditStatus::BackupFailed);
    EXPECT_EQ(test::readAll(file), before);
}
#endif

KEYLOOM_POSIX_ONLY(Space, WriteFailureKeepsCompleteBackup, "a full disk made with a file size limit (setrlimit)")
#ifndef _WIN32
TEST(Space, WriteFailureKeepsCompleteBackup)
{
    test::TempDir dir;
    std::string before;
    for (int i = 0; i < 50; ++i)
        before += "k=1\n[S]\n";
    const QString file = dir.write("t.ini", before);
    const EditStatus status = test::withFileSizeLimit(before.size(), [&] { return insertSpaces(file).status; });
    EXPECT_EQ(status, EditStatus::WriteFailed);
    EXPECT_EQ(test::readAll(dir.path("t.in_")), before);
}
#endif

TEST(Space, ReadOnlyFileUnchangedWithoutBackup)
{
    test::expectReadOnlyFileRefused(spaceOut, "t.ini", "t.in_", "a\r\n[B]\r\n");
}

}  // namespace
}  // namespace keyloom
