// Failing writes: every file operation of a command is made to fail in turn.
// Whatever fails, the file is either unchanged or its backup holds the whole
// old content, and no failure is reported as success.

#include "common/file_size_limit.h"
#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "edit/apply.h"
#include "filecommands/convert.h"
#include "filecommands/spacing.h"
#include "platform/fileio.h"
#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <functional>
#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace keyloom {
namespace {

using S = std::string;

const FileOp kOps[] = {FileOp::OpenRead, FileOp::Read, FileOp::OpenWrite, FileOp::Write,
                       FileOp::Close,    FileOp::Copy, FileOp::Rename,    FileOp::Remove};

const char* nameOf(FileOp op)
{
    static const char* const names[] = {"OpenRead", "Read", "OpenWrite", "Write", "Close", "Copy", "Rename", "Remove"};
    return names[static_cast<int>(op)];
}

// Runs `run` once cleanly to count its calls of each operation, then once
// per call with that call failing, `check` judging each failed run. Returns
// the count of failure points tried.
int forEachFailurePoint(const std::function<void(const test::TempDir&)>& prepare,
                        const std::function<void(const test::TempDir&)>& run,
                        const std::function<void(const test::TempDir&)>& check)
{
    int tried = 0;
    for (const FileOp op : kOps) {
        int calls = 0;
        {
            test::TempDir dir;
            prepare(dir);
            clearFileFaults();
            run(dir);
            calls = fileOpCount(op);
        }
        for (int n = 1; n <= calls; ++n) {
            SCOPED_TRACE(testing::Message() << nameOf(op) << " #" << n << " of " << calls << " fails");
            test::TempDir dir;
            prepare(dir);
            clearFileFaults();
            injectFileFault(op, n);
            run(dir);
            clearFileFaults();
            check(dir);
            ++tried;
        }
    }
    return tried;
}

// Judges a run of a command that rewrites `path` after copying it to
// `backupPath`, which ended in `status` with one file operation failing: a
// success is the whole new content `after` and no backup; any failure, counted
// in `failed`, leaves `before` whole in the file or in the backup.
void expectOldContentWhole(const QString& path, const QString& backupPath, EditStatus status, const S& before,
                           const S& after, int& failed)
{
    const S file = test::readAll(path);
    const S backup = test::readAll(backupPath);
    if (status == EditStatus::Done) {
        EXPECT_TRUE(file == after);
        EXPECT_EQ(backup, "<missing>");
        return;
    }
    ++failed;
    EXPECT_TRUE(file == before || backup == before);
    if (status == EditStatus::BackupFailed || status == EditStatus::Refused) {
        // Whole: no backup left to block the next try.
        EXPECT_TRUE(file == before);
        EXPECT_EQ(backup, "<missing>");
    }
    if (status == EditStatus::WriteFailed || status == EditStatus::DeleteFailed) {
        EXPECT_TRUE(backup == before);
    }
}

// Enough lines to need several blocks of output.
S registryExport()
{
    S text = "REGEDIT4\r\n\r\n";
    for (int i = 0; i < 40000; ++i)
        text += "[K" + std::to_string(i % 7) + "]\r\n\"a\"=\"" + std::to_string(i) + "\"\r\n";
    return text;
}

TEST(Faults, ApplyKeepsTheOldContentWhole)
{
    const S before = registryExport();
    S after = before;
    for (std::size_t at = 0; (at = after.find("[K3]\r\n\"a\"=\"", at)) != S::npos; at += 6) {
        const std::size_t value = at + 10;
        after.replace(value, after.find("\r\n", value) - value, "\"new\"");
    }
    EditStatus status{};
    int failed = 0;
    const int tried = forEachFailurePoint(
        [&](const test::TempDir& dir) { dir.write("t.reg", before); },
        [&](const test::TempDir& dir) {
            status = applyRegistryValue(dir.path("t.reg"), nullptr, {}, ApplyValues{"K3", "a", "\"new\""}).status;
        },
        [&](const test::TempDir& dir) {
            // A failed probe for UTF-16 may still end in a complete rewrite;
            // a success is only ever one.
            expectOldContentWhole(dir.path("t.reg"), dir.path("t.re_"), status, before, after, failed);
            if (status == EditStatus::DeleteFailed) {
                EXPECT_TRUE(test::readAll(dir.path("t.reg")) == after);
            }
        });
    EXPECT_GT(failed, 10);
    EXPECT_GE(tried, failed);
}

TEST(Faults, ApplyFromPendingTextKeepsFileOrPendingBackup)
{
    S utf16 = "\xFF\xFE";
    for (const char c : S("Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"a\"=\"1\"\r\n")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    const S pending = "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"1\"\r\n";
    EditResult result{};
    const int tried = forEachFailurePoint(
        [&](const test::TempDir& dir) { dir.write("t.reg", utf16); },
        [&](const test::TempDir& dir) {
            result = applyRegistryValue(dir.path("t.reg"), &pending, {}, ApplyValues{"K", "a", "\"2\""});
        },
        [&](const test::TempDir& dir) {
            const S file = test::readAll(dir.path("t.reg"));
            const S backup = test::readAll(dir.path("t.re_"));
            EXPECT_NE(result.status, EditStatus::Done);
            EXPECT_TRUE(file == utf16 || backup == pending + "\r\n");
            if (result.status == EditStatus::BackupFailed) {
                EXPECT_TRUE(file == utf16);
            }
        });
    EXPECT_GT(tried, 5);
}

TEST(Faults, SpacingKeepsTheOldContentWhole)
{
    S before;
    S after;
    for (int i = 0; i < 60000; ++i) {
        before += "k" + std::to_string(i) + "=1\r\n[S" + std::to_string(i) + "]\r\n";
        after += "k" + std::to_string(i) + "=1\r\n\r\n[S" + std::to_string(i) + "]\r\n";
    }
    EditStatus status{};
    int failed = 0;
    const int tried = forEachFailurePoint(
        [&](const test::TempDir& dir) { dir.write("t.ini", before); },
        [&](const test::TempDir& dir) { status = insertSpaces(dir.path("t.ini")).status; },
        [&](const test::TempDir& dir) {
            expectOldContentWhole(dir.path("t.ini"), dir.path("t.in_"), status, before, after, failed);
        });
    EXPECT_GT(failed, 10);
    EXPECT_GE(tried, failed);
}

TEST(Faults, ConversionLeavesTheFileWholeAndNoTemporary)
{
    const S before("\xFF\xFEW\0i\0n\0\r\0\n\0", 12);
    bool written = true;
    const int tried = forEachFailurePoint(
        [&](const test::TempDir& dir) { dir.write("t.reg", before); },
        [&](const test::TempDir& dir) {
            written = writeConversion(dir.path("t.reg"), "REGEDIT4\r\n", identityOf(dir.path("t.reg"))).written;
        },
        [&](const test::TempDir& dir) {
            EXPECT_FALSE(written);
            EXPECT_EQ(test::readAll(dir.path("t.reg")), before);
            EXPECT_EQ(test::entries(dir.path("")), QStringList{"t.reg"});
        });
    EXPECT_GE(tried, 4);
}

using test::PrintTo;

struct ProfileCase {
    const char* name;
    S section;
    S key;
};

class FaultsProfile : public testing::TestWithParam<ProfileCase> {};

TEST_P(FaultsProfile, WriteLeavesTheFileWholeAndNoTemporary)
{
    S before;
    for (int i = 0; i < 50000; ++i)
        before += "[S" + std::to_string(i % 5) + "]\r\nk" + std::to_string(i) + "=v\r\n";
    bool written = true;
    const int tried = forEachFailurePoint([&](const test::TempDir& dir) { dir.write("t.ini", before); },
                                          [&](const test::TempDir& dir) {
                                              written = WritePrivateProfileStringA(GetParam().section, GetParam().key,
                                                                                   "new", dir.path("t.ini"));
                                          },
                                          [&](const test::TempDir& dir) {
                                              EXPECT_FALSE(written);
                                              EXPECT_TRUE(test::readAll(dir.path("t.ini")) == before);
                                              EXPECT_EQ(test::entries(dir.path("")), QStringList{"t.ini"});
                                          });
    EXPECT_GE(tried, 4);
}

INSTANTIATE_TEST_SUITE_P(Cases, FaultsProfile,
                         testing::Values(ProfileCase{"changed_key", "S3", "k3"}, ProfileCase{"new_key", "S3", "fresh"},
                                         ProfileCase{"new_section", "T", "fresh"}),
                         test::CaseName());

// The temporary file of a profile write fills up only when its buffered
// tail is written on commit: still a failure, and the file stays whole.
KEYLOOM_POSIX_ONLY(Faults, ProfileWriteWhoseLastFlushFailsIsNoSuccess,
                   "a full disk made with a file size limit (setrlimit)")
#ifndef _WIN32
TEST(Faults, ProfileWriteWhoseLastFlushFailsIsNoSuccess)
{
    test::TempDir dir;
    S before = "[S]\r\nk=1\r\n";
    while (before.size() < 10000)
        before += "; " + S(60, 'c') + "\r\n";
    const QString file = dir.write("t.ini", before);
    EXPECT_FALSE(test::withFileSizeLimit(5000, [&] { return WritePrivateProfileStringA("S", "k", "2", file); }));
    EXPECT_TRUE(test::readAll(file) == before);
    EXPECT_EQ(test::entries(dir.path("")), QStringList{"t.ini"});
}
#endif

KEYLOOM_POSIX_ONLY(FullDisk, EveryCommandLeavesAFileThatFitsOnlyOnceWhole, "a small file system mounted by root")
KEYLOOM_POSIX_ONLY(FullDisk, InPlaceWriteThatDoesNotFitLeavesTheFileWhole, "a small file system mounted by root")
#ifndef _WIN32
// A real file system that fills up, where one can be mounted (as root).
class FullDisk : public testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0 ||
            ::mount("tmpfs", QFile::encodeName(dir_.path("")).constData(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "no small file system can be mounted here";
        mounted_ = true;
    }
    void TearDown() override
    {
        if (mounted_)
            ::umount(QFile::encodeName(dir_.path("")).constData());
    }
    test::TempDir dir_;
    bool mounted_ = false;
};

TEST_F(FullDisk, EveryCommandLeavesAFileThatFitsOnlyOnceWhole)
{
    // 40 KB fit into the 64 KB, a second copy does not.
    S reg = "REGEDIT4\r\n\r\n[K]\r\n";
    while (reg.size() < 40000)
        reg += "\"a\"=\"" + S(60, 'x') + "\"\r\n";
    const QString regFile = dir_.write("t.reg", reg);
    ASSERT_EQ(test::readAll(regFile), reg);
    EXPECT_EQ(applyRegistryValue(regFile, nullptr, {}, ApplyValues{"K", "a", "1"}).status, EditStatus::BackupFailed);
    EXPECT_TRUE(test::readAll(regFile) == reg);
    QFile::remove(dir_.path("t.re_"));

    S utf16 = "\xFF\xFE";
    while (utf16.size() < 40000)
        utf16 += S("x\0", 2);
    const QString converted = dir_.write("t.reg", utf16);
    EXPECT_FALSE(writeConversion(converted, S(30000, 'y'), identityOf(converted)).written);
    EXPECT_TRUE(test::readAll(converted) == utf16);
    QFile::remove(converted);

    S ini;
    while (ini.size() < 40000)
        ini += "k=" + S(60, 'x') + "\r\n[S]\r\n";
    const QString iniFile = dir_.write("t.ini", ini);
    EXPECT_EQ(insertSpaces(iniFile).status, EditStatus::BackupFailed);
    EXPECT_TRUE(test::readAll(iniFile) == ini);
    QFile::remove(dir_.path("t.in_"));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "new", iniFile));
    EXPECT_TRUE(test::readAll(iniFile) == ini);
    EXPECT_EQ(test::entries(dir_.path("")), QStringList{"t.ini"});
}

// A file with a second link is written in place. Where the disk cannot
// hold its longer content, nothing of it is overwritten: the room is asked
// for first, and the write says that it failed.
TEST_F(FullDisk, InPlaceWriteThatDoesNotFitLeavesTheFileWhole)
{
    // The private copy of the old content goes to the state folder, elsewhere.
    test::TempDir state;
    const QByteArray oldState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path("")));
    S utf16 = "\xFF\xFE";
    while (utf16.size() < 30000)
        utf16 += S("x\0", 2);
    S ini = "[S]\r\nk=1\r\n";
    while (ini.size() < 30000)
        ini += "; " + S(60, 'c') + "\r\n";
    const QString reg = dir_.write("t.reg", utf16);
    const QString iniFile = dir_.write("t.ini", ini);
    for (const QString& file : {reg, iniFile})
        ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(file + "2").constData()), 0);

    // 30 KB in, 70 KB wanted, 64 KB in all.
    const ReplaceResult converted = writeConversion(reg, S(70000, 'y'), identityOf(reg));
    EXPECT_FALSE(converted.written);
    EXPECT_TRUE(converted.wholeCopy.isEmpty());
    EXPECT_EQ(conversionFailedNote(reg, converted).toStdString(),
              "Die Datei 't.reg' konnte nicht konvertiert werden. Die Datei bleibt unverändert.");
    EXPECT_TRUE(test::readAll(reg) == utf16);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", S(40000, 'v').c_str(), iniFile));
    EXPECT_TRUE(test::readAll(iniFile) == ini);

    EXPECT_EQ(test::entries(dir_.path("")).join(' ').toStdString(), "t.ini t.ini2 t.reg t.reg2");
    EXPECT_EQ(test::entries(state.path("quorrel-keyloom")).join(' ').toStdString(), "");
    if (oldState.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", oldState);
}
#endif

}  // namespace
}  // namespace keyloom
