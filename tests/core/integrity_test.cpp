// What is written is what was read: a file that changed since is not written
// over, a read that fails is never taken for the end of the file, a damaged
// export is not converted, and a replaced file keeps what it carried.

#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "common/privileges.h"
#include "common/utf16.h"
#include "document/document.h"
#include "document/find.h"
#include "edit/apply.h"
#include "filecommands/convert.h"
#include "platform/profile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <limits>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace keyloom {
namespace {

using test::PrintTo;
using S = std::string;

const S kReg = "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"1\"\r\n";
const S kIni = "[K]\r\na=1\r\n";

struct ChangeCase {
    const char* name;
    std::function<void(const QString& file)> change;
};

class ChangedSinceRead : public test::FileTable<ChangeCase> {};

// Between the read and the write another program changes the file: the
// write is refused and the other program's content stays.
TEST_P(ChangedSinceRead, IsNotWrittenOver)
{
    for (const auto& [name, content, kind] :
         {std::tuple{"t.reg", kReg, FileKind::Registry}, std::tuple{"t.ini", kIni, FileKind::Ini}}) {
        const QString file = dir.write(name, content);
        EditRequest request{file, identityOf(file), kind, TextCodec::Windows1252, "K", "K", "a", "2", kQuotesRemoved};
        c.change(file);
        const S theirs = test::readAll(file);
        const EditResult result = applyEdit(request, nullptr, {});
        EXPECT_EQ(result.status, EditStatus::Changed) << name;
        EXPECT_EQ(result.reason, QString("Die Datei '%1' wurde seit dem Laden verändert. Der Wert wurde nicht "
                                         "gespeichert.")
                                     .arg(name));
        EXPECT_EQ(test::readAll(file), theirs) << name;
    }
    const QString reg = dir.write("u.reg", test::utf16le(u"Windows Registry Editor Version 5.00\r\n"));
    const LoadResult loaded = loadFile(reg);
    const FileIdentity read = identityOf(reg);
    c.change(reg);
    const S theirs = test::readAll(reg);
    EXPECT_FALSE(writeConversion(reg, loaded.regedit4, read).written);
    EXPECT_EQ(test::readAll(reg), theirs);
}

INSTANTIATE_TEST_SUITE_P(
    Integrity, ChangedSinceRead,
    testing::Values(ChangeCase{"same_size_later_time",
                               [](const QString& f) {
                                   S bytes = test::readAll(f);
                                   bytes.back() = ' ';
                                   const QDateTime was = QFileInfo(f).lastModified();
                                   test::writeFile(f, QByteArray::fromStdString(bytes));
                                   QFile file(f);
                                   ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                                   ASSERT_TRUE(file.setFileTime(was.addSecs(1), QFileDevice::FileModificationTime));
                               }},
                    ChangeCase{"longer", [](const QString& f) { QFile(f).resize(QFile(f).size() + 1); }},
                    ChangeCase{"replaced",
                               [](const QString& f) {
                                   const S bytes = test::readAll(f);
                                   QFile::remove(f);
                                   test::writeFile(f, QByteArray::fromStdString(bytes));
                               }}),
    test::CaseName());

// A file of several read blocks whose last section, [Z], holds "z"=9.
S bigExport()
{
    S big = "[K]\r\n\"a\"=\"1\"\r\n";
    while (big.size() < 3 * ioBlock())
        big += "[S" + std::to_string(big.size()) + "]\r\n\"v\"=\"x\"\r\n";
    return big + "[Z]\r\n\"z\"=\"9\"\r\n";
}

FindRequest findIn(const QString& file, FindQuery query, FindPosition from = {})
{
    return {file, FileKind::Registry, TextCodec::Windows1252, std::move(query), from};
}

struct ReaderCase {
    const char* name;
    // Reads the file; true when it said that a read failed.
    std::function<bool(const QString& file)> failed;
};

class FailedRead : public test::FileTable<ReaderCase> {};

// Each read the reader makes is made to fail in turn: it says so instead of
// taking what it read for the whole file.
TEST_P(FailedRead, IsAFailureNeverTheEnd)
{
    const QString file = dir.write("big.reg", bigExport());
    clearFileFaults();
    EXPECT_FALSE(c.failed(file));
    const int reads = fileOpCount(FileOp::Read);
    ASSERT_GT(reads, 1);
    for (int nth = 1; nth <= reads; ++nth) {
        injectFileFault(FileOp::Read, nth);
        EXPECT_TRUE(c.failed(file)) << "read " << nth << " of " << reads << " fails";
        clearFileFaults();
    }
}

const auto kAll = std::numeric_limits<int>::max();

INSTANTIATE_TEST_SUITE_P(
    Integrity, FailedRead,
    testing::Values(
        ReaderCase{"load", [](const QString& f) { return loadFile(f).failed; }},
        ReaderCase{"key_listing", [](const QString& f) { return listKeys(f, "Z", FileKind::Registry).readFailed; }},
        ReaderCase{"value_lookup",
                   [](const QString& f) { return lookUpValue(FileKind::Registry, f, "Z", "Z", "z", {}).readFailed; }},
        // Found only after the failing read, or nowhere: "not found" would be untrue.
        ReaderCase{"find_section",
                   [](const QString& f) {
                       return findNext(findIn(f, {"z", true, false, false})).status == FindStatus::Failed;
                   }},
        ReaderCase{"find_nowhere",
                   [](const QString& f) { return findNext(findIn(f, {"nowhere"})).status == FindStatus::Failed; }},
        ReaderCase{"find_value",
                   [](const QString& f) {
                       return findNext(findIn(f, {"9", false, false, true})).status == FindStatus::Failed;
                   }},
        ReaderCase{
            "find_previous",
            [](const QString& f) {
                return findPrevious(findIn(f, {"a", false, true, false}, {kAll, -1})).status == FindStatus::Failed;
            }},
        ReaderCase{
            "find_all",
            [](const QString& f) { return findAll(findIn(f, {"z"}), [](const FindMatch&) { return true; }).failed; }},
        ReaderCase{"find_all_nowhere",
                   [](const QString& f) {
                       return findAll(findIn(f, {"nowhere"}), [](const FindMatch&) { return true; }).failed;
                   }}),
    test::CaseName());

// A stray byte in the header line of a UTF-16 export or a half unit at its
// end: its REGEDIT4 text would lose content, so it is never written.
TEST(Integrity, DamagedExportIsNotConverted)
{
    test::TempDir dir;
    const S good = test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"a\"=\"1\"\r\n");
    S stray = good;
    stray.insert(30, 1, 'x');  // inside "Registry", after the marker
    const std::pair<S, std::uint64_t> cases[] = {{good, 0}, {stray, 1}, {good + "\x41", 4}};
    for (const auto& [bytes, line] : cases) {
        const QString file = dir.write("d.reg", bytes);
        const LoadResult loaded = loadFile(file);
        EXPECT_EQ(loaded.damagedLine, line);
        EXPECT_EQ(regedit4Refusal(loaded, file).isEmpty(), line == 0);
    }
}

// Line ends that grow from one unit to CR LF make the REGEDIT4 text longer
// than the room first reserved for it; the pages of that room are being
// mapped in on another thread, which must be stopped before the text moves
// (AddressSanitizer would see it touch the freed block).
TEST(Integrity, Utf16ExportWithLfOnlyLoadsWhole)
{
    test::TempDir dir;
    std::u16string text = u"Windows Registry Editor Version 5.00\n";
    for (int i = 0; i < 400000; ++i)
        text += u"\n";
    text += u"[K]\n\"a\"=\"1\"\n";
    const LoadResult loaded = loadFile(dir.write("lf.reg", test::utf16le(text)));
    ASSERT_TRUE(loaded.markerFound);
    EXPECT_EQ(loaded.regedit4.size(), 10 + 2 * 400000 + 14u);
    EXPECT_EQ(loaded.regedit4.substr(loaded.regedit4.size() - 14), "[K]\r\n\"a\"=\"1\"\r\n");
}

KEYLOOM_POSIX_ONLY(Integrity, ReplacedFileKeepsWhatItCarried,
                   "POSIX ACLs, extended attributes and owners (the Windows replace keeps its own: see WindowsReplace)")
#ifndef _WIN32
// A replaced file keeps its ACL and extended attributes; another user's
// file, or one with several links, is written in place and keeps its owner
// and links.
TEST(Integrity, ReplacedFileKeepsWhatItCarried)
{
    test::TempDir dir;
    const QString ini = dir.write("a.ini", kIni);
    const QString reg = dir.write("u.reg", test::utf16le(u"Windows Registry Editor Version 5.00\r\n"));
    for (const QString& file : {ini, reg}) {
        if (QProcess::execute("setfacl", {"-m", "u:nobody:r", file}) != 0 ||
            QProcess::execute("setfattr", {"-n", "user.keyloom", "-v", "kept", file}) != 0)
            GTEST_SKIP() << "setfacl/setfattr (Debian acl, attr) or their support in this file system missing";
    }
    ASSERT_TRUE(WritePrivateProfileStringA("K", "a", "2", ini));
    ASSERT_TRUE(writeConversion(reg, "REGEDIT4\r\n", identityOf(reg)).written);
    for (const QString& file : {ini, reg}) {
        QProcess acl;
        acl.start("getfacl", {"--omit-header", file});
        acl.waitForFinished();
        EXPECT_TRUE(acl.readAllStandardOutput().contains("user:nobody:r--")) << file.toStdString();
        QProcess attr;
        attr.start("getfattr", {"--only-values", "-n", "user.keyloom", file});
        attr.waitForFinished();
        EXPECT_EQ(attr.readAllStandardOutput(), "kept") << file.toStdString();
    }
    if (::geteuid() != 0)
        return;
    const QString theirs = dir.write("t.reg", test::utf16le(u"Windows Registry Editor Version 5.00\r\n"));
    ASSERT_TRUE(test::giveToNobody(theirs));
    const QString linked = dir.write("l.reg", test::utf16le(u"Windows Registry Editor Version 5.00\r\n"));
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(), QFile::encodeName(dir.path("l2.reg")).constData()), 0);
    for (const QString& file : {theirs, linked})
        ASSERT_TRUE(writeConversion(file, "REGEDIT4\r\n", identityOf(file)).written);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(theirs).constData(), &st), 0);
    EXPECT_NE(st.st_uid, 0u);
    EXPECT_EQ(test::readAll(dir.path("l2.reg")), "REGEDIT4\r\n\r\n");
}
#endif

}  // namespace
}  // namespace keyloom
