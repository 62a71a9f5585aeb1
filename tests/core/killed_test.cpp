// A process killed with SIGKILL in the middle of a registry apply: the old
// content is whole in the file or in its backup, whenever the kill comes.

#include "common/files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace keyloom {
namespace {

using S = std::string;

std::int64_t sizeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_size : -1;
}

// About 50 MB of registry export; the key "Name" of section Key17 is the one
// the apply changes.
S bigExport()
{
    S text = "REGEDIT4\r\n\r\n";
    text.reserve(52 << 20);
    for (int i = 0; text.size() < (50u << 20); ++i) {
        const S n = std::to_string(i);
        text += "[HKEY_CURRENT_USER\\Software\\Demo\\Key" + n + "]\r\n\"Name\"=\"value " + n +
                "\"\r\n\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,\\\r\n"
                "  10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f\r\n\r\n";
    }
    return text;
}

// When to kill: once `ready` holds for the file and its backup (sizes in
// bytes, -1 when missing), or after a fixed delay when `ready` is empty.
struct Moment {
    const char* name;
    std::function<bool(std::int64_t file, std::int64_t backup, std::int64_t full)> ready;
    int delayMs = 0;
};

TEST(Killed, OldContentWholeInFileOrBackup)
{
    const S before = bigExport();
    const S header = "[HKEY_CURRENT_USER\\Software\\Demo\\Key17]\r\n\"Name\"=\"value 17\"";
    const std::size_t at = before.find(header);
    ASSERT_NE(at, S::npos);
    S after = before;
    after.replace(at, header.size(), "[HKEY_CURRENT_USER\\Software\\Demo\\Key17]\r\n\"Name\"=\"new\"");
    const auto full = static_cast<std::int64_t>(before.size());

    const std::vector<Moment> moments = {
        {"at_start", {}, 0},
        {"copy_begun", [](auto, auto b, auto) { return b > 0; }},
        {"copy_half", [](auto, auto b, auto f) { return b > f / 2; }},
        {"rewrite_begun", [](auto fi, auto b, auto f) { return b == f && fi < f / 4; }},
        {"rewrite_half", [](auto fi, auto b, auto f) { return b == f && fi > f / 2 && fi < f; }},
        {"rewrite_nearly_done", [](auto fi, auto b, auto f) { return b == f && fi > f * 9 / 10 && fi < f; }},
        {"after_10ms", {}, 10},
        {"after_60ms", {}, 60},
    };
    test::TempDir dir;
    const QString file = dir.path("big.reg");
    const QString backup = dir.path("big.re_");
    QElapsedTimer total;
    total.start();
    int caughtInRewrite = 0;
    for (const Moment& moment : moments) {
        SCOPED_TRACE(moment.name);
        QFile::remove(backup);
        dir.write("big.reg", before);
        QProcess driver;
        driver.start(KEYLOOM_APPLY_DRIVER, {file, "HKEY_CURRENT_USER\\Software\\Demo\\Key17", "Name", "\"new\""});
        ASSERT_TRUE(driver.waitForStarted());
        QElapsedTimer timer;
        timer.start();
        if (moment.ready) {
            // Poll until the moment comes, the driver ends, or time runs out.
            while (!moment.ready(sizeOf(file), sizeOf(backup), full) && driver.state() == QProcess::Running &&
                   timer.elapsed() < 20000)
                driver.waitForFinished(0);
        } else if (moment.delayMs > 0) {
            driver.waitForFinished(moment.delayMs);
        }
        const std::int64_t fileSize = sizeOf(file);
        const std::int64_t backupSize = sizeOf(backup);
        driver.kill();
        driver.waitForFinished();
        if (backupSize == full && fileSize >= 0 && fileSize < full)
            ++caughtInRewrite;

        const S fileNow = test::readAll(file);
        const S backupNow = test::readAll(backup);
        const bool oldWhole = fileNow == before || backupNow == before;
        const bool finished = fileNow == after && (backupNow == "<missing>" || backupNow == before);
        EXPECT_TRUE(oldWhole || finished) << "file " << fileNow.size() << " bytes, backup " << backupNow.size();
    }
    // At least one kill must have hit the rewrite itself, or the test proves little.
    EXPECT_GE(caughtInRewrite, 1);
    EXPECT_LT(total.elapsed(), 60000);
}

}  // namespace
}  // namespace keyloom
