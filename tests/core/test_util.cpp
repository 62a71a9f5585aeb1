#include "test_util.h"

#include "platform/lines.h"

#include <gtest/gtest.h>

#include <QDirIterator>

#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
