// Files changed or deleted by another program between two clicks, or while
// the window processes events in the middle of an apply: the failure results,
// never a crash, and no byte lost.

#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "document/document.h"
#include "edit/apply.h"
#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <functional>

namespace keyloom {
namespace {

using S = std::string;
using namespace std::string_literals;

const S kExport = "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"1\"\r\n\"b\"=dword:00000002\r\n";

using test::PrintTo;

struct ChangeCase {
    const char* name;
    std::function<void(const QString&)> change;
    bool listingFails;
    bool lookupFails;
};

class ChangedAfterListing : public test::FileTable<ChangeCase> {};

TEST_P(ChangedAfterListing, LookupGivesTheFailureResult)
{
    if (std::string_view(c.name).ends_with("_fifo"))
        KEYLOOM_SKIP_ON_WINDOWS("FIFOs");
    const QString reg = dir.write("t.reg", kExport);
    const QString ini = dir.write("t.ini", "[K]\r\na=1\r\n");
    ASSERT_EQ(listKeys(reg, "K", FileKind::Registry).keys, (std::vector<S>{"a", "b"}));
    c.change(reg);
    c.change(ini);

    const RegistryLookup r = lookupRegistryValue(reg, "K", "a", "shown before");
    EXPECT_EQ(r.failed, c.lookupFails);
    if (c.lookupFails) {
        // The box keeps its text and its state.
        EXPECT_FALSE(r.found);
        EXPECT_FALSE(r.examined);
    }
    EXPECT_EQ(listKeys(reg, "K", FileKind::Registry).failed, c.listingFails);
    char buffer[16];
    const std::int64_t n = GetPrivateProfileStringA("K", "a", "", buffer, sizeof buffer, ini);
    EXPECT_LE(n, 15);
    loadFile(reg);
}

void replaceWith(const QString& path, const S& bytes) { ASSERT_TRUE(test::writeFile(path, bytes)); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangedAfterListing,
    testing::Values(
        ChangeCase{"deleted", [](const QString& p) { QFile::remove(p); }, true, true},
        ChangeCase{"replaced_by_folder",
                   [](const QString& p) {
                       QFile::remove(p);
                       QDir().mkdir(p);
                   },
                   true, true},
        ChangeCase{"replaced_by_fifo",
                   [](const QString& p) {
                       QFile::remove(p);
                       test::makeFifo(p);
                   },
                   true, true},
        ChangeCase{"emptied", [](const QString& p) { replaceWith(p, ""); }, false, false},
        ChangeCase{"section_gone", [](const QString& p) { replaceWith(p, "[L]\r\n\"a\"=\"1\"\r\n"); }, false, false},
        ChangeCase{"lone_quote_now", [](const QString& p) { replaceWith(p, "[K]\r\n\"a\"=\"\r\n"); }, false, true},
        ChangeCase{"now_utf16", [](const QString& p) { replaceWith(p, S("\xFF\xFE[\0K\0]\0\r\0\n\0", 12)); }, false,
                   false},
        ChangeCase{"now_binary", [](const QString& p) { replaceWith(p, "\0\x01\xFF\r\r\n[K]\n\"a\"=\"x"s); }, false,
                   false}),
    test::CaseName());

// Another program acts while the apply lets the window process events, right
// after the backup is made.
struct DuringApplyCase {
    const char* name;
    std::function<void(const QString& file, const QString& backup)> change;
    EditStatus status;
    S file;  // the file afterwards; "<missing>" when gone
};

class ChangedDuringApply : public test::FileTable<DuringApplyCase> {};

TEST_P(ChangedDuringApply, NothingLost)
{
    if (std::string_view(c.name).ends_with("_fifo"))
        KEYLOOM_SKIP_ON_WINDOWS("FIFOs");
    const QString file = dir.write("t.reg", kExport);
    const QString backup = dir.path("t.re_");
    bool first = true;
    const EditResult r = applyRegistryValue(
        file, nullptr,
        [&] {
            if (first)
                c.change(file, backup);
            first = false;
        },
        ApplyValues{"K", "a", "\"2\""});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(test::readAll(file), c.file);
}

const S kApplied = "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"2\"\r\n\"b\"=dword:00000002\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangedDuringApply,
    testing::Values(DuringApplyCase{"backup_deleted", [](const QString&, const QString& b) { QFile::remove(b); },
                                    EditStatus::Refused, kExport},
                    DuringApplyCase{"backup_replaced_by_fifo",
                                    [](const QString&, const QString& b) {
                                        QFile::remove(b);
                                        test::makeFifo(b);
                                    },
                                    EditStatus::Refused, kExport},
                    DuringApplyCase{"backup_now_utf16",
                                    [](const QString&, const QString& b) { replaceWith(b, S("\xFF\xFE[\0K\0]\0", 8)); },
                                    EditStatus::Refused, kExport},
                    DuringApplyCase{"file_deleted", [](const QString& f, const QString&) { QFile::remove(f); },
                                    EditStatus::Done, kApplied},
                    DuringApplyCase{"file_replaced_by_folder",
                                    [](const QString& f, const QString&) {
                                        QFile::remove(f);
                                        QDir().mkdir(f);
                                    },
                                    EditStatus::WriteFailed, "<missing>"}),
    test::CaseName());

TEST(ChangedDuringApply, BackupKeptWhenTheFileCannotBeWritten)
{
    test::TempDir dir;
    const QString file = dir.write("t.reg", kExport);
    const EditResult r = applyRegistryValue(
        file, nullptr,
        [&] {
            QFile::remove(file);
            QDir().mkdir(file);
        },
        ApplyValues{"K", "a", "\"2\""});
    EXPECT_EQ(r.status, EditStatus::WriteFailed);
    EXPECT_EQ(test::readAll(dir.path("t.re_")), kExport);
}

}  // namespace
}  // namespace keyloom
