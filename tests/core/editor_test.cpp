// The plain-text editor gets the path as exactly one argument and no shell
// ever sees it, whatever characters the file name holds.

#include "common/files.h"
#include "common/posix_only.h"
#include "platform/editor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

namespace keyloom {
namespace {

using S = std::string;

KEYLOOM_POSIX_ONLY(FakeNotepad, OddFileNamesArriveAsOneArgument, "a shell script stands in for NOTEPAD")
KEYLOOM_POSIX_ONLY(FakeNotepad, LowerCaseNameFound, "a shell script stands in for NOTEPAD")
#ifndef _WIN32
// A fake NOTEPAD on a PATH of its own that writes its arguments, each ended
// by a NUL byte, to the file named by KEYLOOM_ARGV_OUT.
class FakeNotepad : public testing::Test {
protected:
    void SetUp() override
    {
        const QString script =
            bin_.write("NOTEPAD", "#!/bin/sh\n"
                                  "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$KEYLOOM_ARGV_OUT.tmp\"\n"
                                  "mv \"$KEYLOOM_ARGV_OUT.tmp\" \"$KEYLOOM_ARGV_OUT\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin_.path("")) + ":/usr/bin:/bin");
        qputenv("KEYLOOM_ARGV_OUT", QFile::encodeName(out_.path("argv")));
    }
    void TearDown() override
    {
        qputenv("PATH", oldPath_);
        qunsetenv("KEYLOOM_ARGV_OUT");
    }
    // The arguments the fake editor received, once it has run.
    std::vector<S> receivedArguments()
    {
        QElapsedTimer timer;
        timer.start();
        while (!QFileInfo::exists(out_.path("argv")) && timer.elapsed() < 10000)
            QThread::msleep(10);
        std::vector<S> arguments;
        const S bytes = test::readAll(out_.path("argv"));
        if (bytes == "<missing>")
            return {"<not started>"};
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t end = bytes.find('\0', at);
            arguments.push_back(bytes.substr(at, end - at));
            at = end + 1;
        }
        return arguments;
    }

    test::TempDir bin_;
    test::TempDir out_;
    test::TempDir files_;
    QByteArray oldPath_;
};

TEST_F(FakeNotepad, OddFileNamesArriveAsOneArgument)
{
    const char* names[] = {
        "a b.ini", "it's \"quoted\".ini", "x;touch PWNED;.ini", "$(touch PWNED).ini", "`touch PWNED`.ini",
        "-rf.ini", "--help.ini",          "a\tb &|<>*?.ini",    "  lead.ini"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const QString path = files_.write(QString::fromUtf8(name), "[S]\r\n");
        const EditorLaunch launch = resolveEditor("NOTEPAD " + path);
        EXPECT_EQ(launch.program, bin_.path("NOTEPAD"));
        EXPECT_EQ(launch.arguments, QStringList{path});

        QFile::remove(out_.path("argv"));
        ASSERT_TRUE(startEditor("NOTEPAD " + path));
        EXPECT_EQ(receivedArguments(), std::vector<S>{path.toStdString()});
        EXPECT_FALSE(QFileInfo::exists(files_.path("PWNED")));
        EXPECT_FALSE(QFileInfo::exists(bin_.path("PWNED")));
    }
}

TEST_F(FakeNotepad, LowerCaseNameFound)
{
    QFile::rename(bin_.path("NOTEPAD"), bin_.path("notepad"));
    const EditorLaunch launch = resolveEditor("NOTEPAD /x/a b.ini");
    EXPECT_EQ(launch.program, bin_.path("notepad"));
    EXPECT_EQ(launch.arguments, QStringList{"/x/a b.ini"});
}
#endif

TEST(DesktopExec, FileIsOneWordWhateverItHolds)
{
    const QString odd = "/d/$(rm -rf ~) \"x\";.ini";
    EXPECT_EQ(desktopExecArguments("gedit %F", odd), (QStringList{"gedit", odd}));
    EXPECT_EQ(desktopExecArguments("kate -b %f", odd), (QStringList{"kate", "-b", odd}));
    EXPECT_EQ(desktopExecArguments("mousepad", odd), (QStringList{"mousepad", odd}));
}

}  // namespace
}  // namespace keyloom
