#include "platform/replace.h"

#include "platform/replacingfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/xattr.h>
#endif

namespace keyloom {

namespace {

enum class Renamed { Done, Failed, CannotCarry };

// Writes the new content beside the old file and renames it over the old one
// (over a link's target, the link staying a link; permissions kept by the
// replacing file, extended attributes copied here). On any failure the
// temporary file goes and the old file stays.
Renamed replaceByRename(const QString& path, const FileIdentity& expected, const ContentWriter& write)
{
    const bool exists = expected.exists;
    // Unbuffered, so that a failing write shows in write()'s count: commit()
    // does not notice a failure of the final flush of a buffered write, and
    // would rename a cut file over the whole one.
    ReplacingFile out(path);
    if (fileFaultHit(FileOp::OpenWrite) || !out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Renamed::Failed;
    if (exists && !copyExtendedAttributes(path, out.handle()))
        return Renamed::CannotCarry;
    InputFile in;
    if (exists && !in.open(path))
        return Renamed::Failed;
    if (!write(in, out, 0) || out.error() != QFileDevice::NoError || identityOf(path) != expected ||
        fileFaultHit(FileOp::Rename) || !out.commit())
        return Renamed::Failed;
    return Renamed::Done;
}

// Makes room for `size` bytes in the open file `fd`, so that an in-place
// write does not stop half-way on a full disk.
bool reserve(int fd, std::int64_t size)
{
#ifdef _WIN32
    Q_UNUSED(fd);
    Q_UNUSED(size);
    return true;
#else
    return size <= 0 || ::posix_fallocate(fd, 0, off_t(size)) == 0;
#endif
}

// Writes into the file itself, for a file that a rename would take from its
// owner, group, links or attributes, or whose folder the user cannot write
// to. The old content is first copied to a private file, which stays and is
// named in the result when the file may have been cut.
ReplaceResult overwriteInPlace(const QString& path, const FileIdentity& before, std::int64_t keepUntil,
                               std::int64_t newSize, const ContentWriter& write)
{
    ReplaceResult result;
    const QString name =
        QFileInfo(path).fileName() + QDateTime::currentDateTime().toString(QStringLiteral(".yyyyMMdd-hhmmss-zzz"));
    QString copyName = QDir(privateCopyFolder()).filePath(name);
    OutputFile copyOut;
    // Where the state folder cannot be had (a user without a home), the
    // temporary folder is better than no copy at all.
    if (!QDir().mkpath(privateCopyFolder()) || !copyOut.create(copyName, path)) {
        copyName = QDir(QDir::tempPath()).filePath(name);
        if (!copyOut.create(copyName, path))
            return result;
    }
    if (!copyInto(path, copyOut) || identityOf(path) != before) {
        QFile::remove(copyName);
        return result;
    }
    InputFile in;
    QFile out(path);
    // The bytes before keepUntil are the same: reading and writing start there.
    if (!in.open(copyName) || fileFaultHit(FileOp::OpenWrite) ||
        !out.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !reserve(out.handle(), newSize) ||
        !out.seek(keepUntil) || !in.seek(keepUntil)) {
        QFile::remove(copyName);
        return result;
    }
    const bool written = write(in, out, keepUntil) && out.resize(out.pos()) && out.error() == QFileDevice::NoError;
    out.close();
    if (written && out.error() == QFileDevice::NoError) {
        QFile::remove(copyName);
        result.written = true;
        return result;
    }
    result.wholeCopy = copyName;
    return result;
}

}  // namespace

ReplaceResult replaceContent(const QString& path, const FileIdentity& expected, std::int64_t keepUntil,
                             std::int64_t newSize, const ContentWriter& write)
{
    ReplaceResult result;
    if (!expected.exists || identityOf(path) != expected)
        return result;
    if (isReplaceableByRename(path)) {
        switch (replaceByRename(path, expected, write)) {
        case Renamed::Done:
            result.written = true;
            return result;
        case Renamed::Failed:
            return result;
        case Renamed::CannotCarry:
            break;
        }
    }
    if (!QFileInfo(path).isWritable())
        return result;
    return overwriteInPlace(path, expected, keepUntil, newSize, write);
}

bool createWithContent(const QString& path, const ContentWriter& write)
{
    return !QFileInfo::exists(path) && replaceByRename(path, FileIdentity{}, write) == Renamed::Done;
}

QString privateCopyFolder()
{
#ifdef _WIN32
    // The user's local application data (%LOCALAPPDATA%), which is not
    // roamed and which no cleanup of temporary files empties.
    const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!local.isEmpty())
        return local + QStringLiteral("/quorrel-keyloom");
#endif
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quorrel-keyloom");
}

bool copyExtendedAttributes(const QString& from, int toFd)
{
#ifdef _WIN32
    Q_UNUSED(from);
    Q_UNUSED(toFd);
    return true;
#else
    const QByteArray source = QFile::encodeName(from);
    const ssize_t size = ::listxattr(source.constData(), nullptr, 0);
    if (size <= 0)
        return size == 0 || errno == ENOTSUP;
    std::vector<char> names(std::size_t(size) + 1);
    const ssize_t got = ::listxattr(source.constData(), names.data(), names.size());
    if (got < 0)
        return false;
    std::vector<char> value;
    for (const char* name = names.data(); name < names.data() + got; name += std::strlen(name) + 1) {
        const ssize_t length = ::getxattr(source.constData(), name, nullptr, 0);
        if (length < 0)
            return false;
        value.resize(std::size_t(length) + 1);
        const ssize_t read = ::getxattr(source.constData(), name, value.data(), value.size());
        if (read < 0 || ::fsetxattr(toFd, name, value.data(), std::size_t(read), 0) != 0)
            return false;
    }
    return true;
#endif
}

}  // namespace keyloom
