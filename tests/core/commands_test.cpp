#include "app/commands.h"
#include "common/files.h"
#include "platform/drives.h"
#include "platform/singleinstance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSysInfo>

namespace keyloom {
namespace {

using namespace Commands;

struct PathCase {
    const char* input;
    const char* directory;
    const char* fileName;
};

// Backslash-separated, as the helpers see Windows paths.
const PathCase kBackslashCases[] = {
    {"C:\\Daten\\Sub\\setup.ini", "C:\\Daten\\Sub", "setup.ini"},
    {"C:\\setup.ini", "C:", "setup.ini"},
    {"C:\\Daten\\", "C:", "Daten"},
    {"\\Daten\\setup.ini", "Daten", "setup.ini"},
    {"setup.ini", "setup.ini", "setup.ini"},
    {"C:\\", "C:", "C:"},
    {"", "", ""},
    {"\\", "", ""},
    {"\\\\", "", ""},
    {"\\\\server\\share\\a.ini", "\\server\\share", "a.ini"},
    {"C:\\Daten\\\\", "C:\\Daten", ""},
};

TEST(PathHelpers, BackslashTable)
{
    for (const auto& c : kBackslashCases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(DirectoryPart(c.input, '\\'), QString(c.directory));
        EXPECT_EQ(FileNamePart(c.input, '\\'), QString(c.fileName));
    }
}

TEST(PathHelpers, SlashTable)
{
    const PathCase cases[] = {
        {"/home/anna/setup.ini", "home/anna", "setup.ini"},
        {"/setup.ini", "setup.ini", "setup.ini"},
        {"/home/anna/", "home", "anna"},
        {"a\\b/c.ini", "a\\b", "c.ini"},  // only the given separator counts
        {"/", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(DirectoryPart(c.input, '/'), QString(c.directory));
        EXPECT_EQ(FileNamePart(c.input, '/'), QString(c.fileName));
    }
}

TEST(PathHelpers, AddBackslashChangesTheCallersText)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Daten", "C:\\Daten\\"}, {"C:\\Daten\\", "C:\\Daten\\"}, {"", "\\"}};
    for (const auto& [in, out] : cases) {
        QString text = in;
        EXPECT_EQ(AddBackslash(text, '\\'), QString(out));
        EXPECT_EQ(text, QString(out));
    }
    QString home = "/home";
    EXPECT_EQ(AddBackslash(home, '/'), QString("/home/"));
}

TEST(PathHelpers, ProperCaseWhenNoLongForm)
{
    const std::pair<const char*, const char*> cases[] = {
        {"c:\\programme\\mein test\\datei_name.INI", "C:\\Programme\\Mein Test\\Datei_Name.ini"},
        {"x-y(z)w.txt", "X-Y(Z)w.txt"},
        {"", ""},
        {"a.b:c1d)e", "A.b:c1d)e"},  // dot, colon, digit and ")" are no separators
        {"über ärger", "Über Ärger"},
        {"c:\\daten\\mein-test.ini", "C:\\Daten\\Mein-Test.ini"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(LongPathName(QString::fromUtf8(in), '\\'), QString::fromUtf8(out)) << in;
    EXPECT_EQ(LongPathName("/nonexistent/mein-test.ini", '/'), QString("/Nonexistent/Mein-Test.ini"));
}

TEST(PathHelpers, LongFormOfAnExistingPathIsAbsoluteAndClean)
{
    test::TempDir dir;
    const QString file = dir.write("Setup.ini", "[A]\r\n");
    const QString messy = QDir(dir.path("")).filePath("./sub/../Setup.ini");
    QDir(dir.path("")).mkdir("sub");
    EXPECT_EQ(LongPathName(messy), QDir::toNativeSeparators(file));
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path(""));
    EXPECT_EQ(LongPathName("Setup.ini"), QDir::toNativeSeparators(file));
    QDir::setCurrent(cwd);
    // Links are kept, not resolved.
    QFile::link(file, dir.path("link.ini"));
    EXPECT_EQ(LongPathName(dir.path("link.ini")), QDir::toNativeSeparators(dir.path("link.ini")));
}

TEST(Placement, CenteredAcrossAndHighUp)
{
    struct Case {
        double sw, sh, ww, wh;
        int top, left;
    };
    const Case cases[] = {
        {15360, 11520, 7715, 5130, 2331, 3823},  // 1024 x 768
        {15360, 11520, 7715, 11000, 0, 3823},    // taller than 85 % of the screen
        {15360, 11520, 16000, 5130, 2331, 0},    // wider than the screen
    };
    for (const auto& c : cases) {
        const auto p = CenterPosition(c.sw, c.sh, c.ww, c.wh);
        EXPECT_EQ(p.top, c.top);
        EXPECT_EQ(p.left, c.left);
    }
}

TEST(Drives, LongestRootPrefixChoosesTheDrive)
{
    const QStringList roots = {"/", "/home", "/media/usb"};
    EXPECT_EQ(rootOf("/home/anna/a.ini", roots), QString("/home"));
    EXPECT_EQ(rootOf("/homework/a.ini", roots), QString("/"));
    EXPECT_EQ(rootOf("/media/usb", roots), QString("/media/usb"));
    EXPECT_EQ(rootOf("\"/home/a.ini\"", roots), QString());
#ifndef _WIN32
    EXPECT_EQ(mountedRoots().value(0), QString("/"));
#endif
}

TEST(SingleInstance, SecondCopyIsRefusedUntilTheFirstEnds)
{
    test::TempDir dir;
    const QString lock = dir.path("k.lock");
    auto first = std::make_unique<SingleInstance>(lock);
    ASSERT_TRUE(first->acquire());
    // QLockFile locks per process; a second owner in the same process is
    // refused the same way another process is.
    SingleInstance second(lock);
    EXPECT_FALSE(second.acquire());
    first.reset();
    EXPECT_TRUE(second.acquire());
}

// A copy that was killed left its lock, and the system gave its process
// number to this one: the lock is stale all the same.
TEST(SingleInstance, OwnNumberFromBeforeThisProcessIsTakenOver)
{
    test::TempDir dir;
    const QString lock = dir.path("k.lock");
    test::writeFile(lock, QString("%1\nquorrel-keyloom\n%2\n")
                              .arg(QCoreApplication::applicationPid())
                              .arg(QSysInfo::machineHostName())
                              .toUtf8());
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
    file.close();
    SingleInstance copy(lock);
    EXPECT_TRUE(copy.acquire());
}

}  // namespace
}  // namespace keyloom
