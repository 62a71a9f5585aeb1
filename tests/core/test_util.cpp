#include "test_util.h"

#include "platform/lines.h"

#include <gtest/gtest.h>

#include <QDirIterator>

#include <cstdio>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QFile>

namespace keyloom::test {

TempDir::TempDir() = default;

QString TempDir::path(const QString& name) const { return dir_.filePath(name); }

QString TempDir::write(const QString& name, const std::string& bytes) const
{
    const QString full = path(name);
    QFile f(full);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return full;
}

#ifdef _WIN32
void TempDir::runWithoutRoot(const std::function<void()>& body) const
{
    // Wine run by root maps the read-only attribute to mode bits, which root
    // ignores: there the checks would test nothing.
    const QString probe = path(QStringLiteral("read-only probe"));
    write(QStringLiteral("read-only probe"), "x");
    QFile::setPermissions(probe, QFile::ReadOwner);
    QFile file(probe);
    const bool enforced = !file.open(QIODevice::WriteOnly | QIODevice::Append);
    file.close();
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(probe);
    if (!enforced)
        GTEST_SKIP() << "the read-only attribute is not enforced here (Wine run by root)";
    body();
}

bool makeFifo(const QString&) { return false; }

bool linkToSameFile(const QString& target, const QString& link)
{
    return ::CreateHardLinkW(reinterpret_cast<const wchar_t*>(link.utf16()),
                             reinterpret_cast<const wchar_t*>(target.utf16()), nullptr) != 0;
}
#else
void TempDir::runWithoutRoot(const std::function<void()>& body) const
{
    if (::geteuid() != 0) {
        body();
        return;
    }
    constexpr uid_t kNobody = 65534;
    auto own = [](const QString& path) { return ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0; };
    ASSERT_TRUE(own(dir_.path()));
    for (QDirIterator it(dir_.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        ASSERT_TRUE(own(it.next()));
    std::fflush(stdout);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool dropped = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        if (dropped)
            body();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(dropped && !testing::Test::HasFailure() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the checks run as nobody failed (see above)";
}

bool makeFifo(const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0; }

bool linkToSameFile(const QString& target, const QString& link) { return QFile::link(target, link); }
#endif

std::string readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

std::vector<std::string> linesOf(LineReader& reader)
{
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line))
        lines.emplace_back(line);
    return lines;
}

}  // namespace keyloom::test
