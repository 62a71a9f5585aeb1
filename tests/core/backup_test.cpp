// The backup is the program's own file: a name already taken ends both
// commands before anything is written, and the backup is never more
// readable than the file it copies.

#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "edit/apply.h"
#include "filecommands/spacing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <functional>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace keyloom {
namespace {

using S = std::string;
using namespace std::string_literals;

const S kReg = "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"1\"\r\n";
const S kInf = "[Version]\r\nSignature=x\r\n[Files]\r\ndriver.sys\r\n";
const S kCompressed = "SZDD\x88\xF0'3A\0compressed"s;

EditResult applyTo(const QString& file, const std::function<void()>& processEvents = {})
{
    return applyRegistryValue(file, nullptr, processEvents, ApplyValues{"K", "a", "\"2\""});
}

using test::PrintTo;

struct TakenCase {
    const char* name;
    // Puts something under the backup name `backup` in `dir`.
    std::function<void(const test::TempDir& dir, const QString& backup)> take;
};

class TakenBackupName : public testing::TestWithParam<TakenCase> {};

TEST_P(TakenBackupName, BothCommandsEndBeforeWriting)
{
    if (S(GetParam().name).find("link") != S::npos)
        KEYLOOM_SKIP_ON_WINDOWS("symbolic links (QFile::link makes shortcuts on Windows)");
    test::TempDir dir;
    // With the platform's separators, as the window builds its paths.
    const QString reg = QDir::toNativeSeparators(dir.write("x.reg", kReg));
    const QString inf = dir.write("setup.inf", kInf);
    GetParam().take(dir, dir.path("x.re_"));
    GetParam().take(dir, dir.path("setup.in_"));
    const QFileInfo before(dir.path("setup.in_"));

    const EditResult applied = applyTo(reg);
    EXPECT_EQ(applied.status, EditStatus::BackupTaken);
    EXPECT_EQ(insertSpaces(inf).status, EditStatus::BackupTaken);
    EXPECT_EQ(test::readAll(reg), kReg);
    EXPECT_EQ(test::readAll(inf), kInf);
    const QFileInfo after(dir.path("setup.in_"));
    EXPECT_EQ(after.isSymLink(), before.isSymLink());
    EXPECT_EQ(after.isDir(), before.isDir());
    if (QFileInfo::exists(dir.path("other.dat"))) {
        EXPECT_EQ(test::readAll(dir.path("other.dat")), kCompressed);
    }
    if (before.isFile() && !before.isSymLink()) {
        EXPECT_EQ(test::readAll(dir.path("setup.in_")), kCompressed);
    }
    EXPECT_EQ(editStatusMessage(applied, reg),
              "Die Datei 'x.re_' ist bereits vorhanden. Bitte umbenennen oder verschieben und dann erneut versuchen.");
}

INSTANTIATE_TEST_SUITE_P(Cases, TakenBackupName,
                         testing::Values(TakenCase{"unrelated_file",
                                                   [](const test::TempDir& d, const QString& b) {
                                                       d.write(QFileInfo(b).fileName(), kCompressed);
                                                   }},
                                         TakenCase{"link_to_other_file",
                                                   [](const test::TempDir& d, const QString& b) {
                                                       d.write("other.dat", kCompressed);
                                                       QFile::link(d.path("other.dat"), b);
                                                   }},
                                         TakenCase{"dangling_link",
                                                   [](const test::TempDir& d, const QString& b) {
                                                       QFile::link(d.path("nowhere"), b);
                                                   }}),
                         test::CaseName());

KEYLOOM_POSIX_ONLY(BackupMode, BackupIsNoMoreReadableThanTheFile, "mode bits")
#ifndef _WIN32
class BackupMode : public testing::TestWithParam<int> {};

TEST_P(BackupMode, BackupIsNoMoreReadableThanTheFile)
{
    test::TempDir dir;
    const QString file = dir.write("x.reg", kReg);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), mode_t(GetParam())), 0);
    int seen = -1;
    test::runWithoutRoot(dir, [&] {
        const EditResult r = applyTo(file, [&] {
            struct stat st {};
            if (seen < 0 && ::stat(QFile::encodeName(dir.path("x.re_")).constData(), &st) == 0)
                seen = int(st.st_mode & 0777);
        });
        EXPECT_EQ(seen, GetParam());
        // A read-only file stays as it was, and no backup is left to block
        // the next try.
        EXPECT_EQ(r.status, GetParam() & 0200 ? EditStatus::Done : EditStatus::Refused);
        EXPECT_FALSE(QFileInfo::exists(dir.path("x.re_")));
    });
}

INSTANTIATE_TEST_SUITE_P(Modes, BackupMode, testing::Values(0400, 0600, 0640),
                         [](const testing::TestParamInfo<int>& info) { return "mode_0" + std::to_string(info.param); });
#endif

}  // namespace
}  // namespace keyloom
