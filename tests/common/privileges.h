#pragma once
// Checks that depend on file permissions, which root ignores: they run as the
// user nobody in a forked child. POSIX only: Windows has no root who
// ignores them (see runWithoutRoot in gtest_util.h).

#ifndef _WIN32

#include <QDirIterator>
#include <QFile>
#include <QString>

#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace keyloom::test {

// The user and group nobody.
constexpr uid_t kNobody = 65534;

// Runs `check` where permissions apply: as root in a forked child that has
// become nobody, otherwise in this process. True when `check` ran and held.
inline bool runAsNobody(const std::function<bool()>& check)
{
    if (::geteuid() != 0)
        return check();
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool held = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && check();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(held ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Makes nobody the owner of `path`; true when it is.
inline bool giveToNobody(const QString& path)
{
    return ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
}

// Makes nobody the owner of `folder` and of everything in it.
inline bool giveTreeToNobody(const QString& folder)
{
    bool all = giveToNobody(folder);
    for (QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
         it.hasNext();)
        all = giveToNobody(it.next()) && all;
    return all;
}

}  // namespace keyloom::test

#endif
