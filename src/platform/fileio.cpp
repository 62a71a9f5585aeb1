#include "platform/fileio.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace keyloom {

namespace {

QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }

}  // namespace

InputFile::~InputFile() { close(); }

bool InputFile::open(const QString& path)
{
    close();
    if (path.isEmpty())
        return false;
    // O_NONBLOCK keeps open() from waiting for a writer on a FIFO; the type
    // check below then refuses it before any read.
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    fd_ = fd;
    return true;
}

std::int64_t InputFile::read(char* buffer, std::size_t size)
{
    if (fd_ < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

void InputFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

OutputFile::~OutputFile() { close(); }

bool OutputFile::open(const QString& path, bool exclusive)
{
    close();
    if (path.isEmpty())
        return false;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_TRUNC;
    if (exclusive)
        flags |= O_EXCL;
    const int fd = ::open(nativePath(path).constData(), flags, 0666);
    if (fd < 0)
        return false;
    fd_ = fd;
    return true;
}

bool OutputFile::write(std::string_view bytes)
{
    if (fd_ < 0)
        return false;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool OutputFile::close()
{
    if (fd_ < 0)
        return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

bool isRegularFile(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::stat(nativePath(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool copyFile(const QString& from, const QString& to)
{
    InputFile in;
    if (!in.open(from))
        return false;
    OutputFile out;
    if (!out.open(to))
        return false;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const std::int64_t n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!out.write(std::string_view(buffer.data(), static_cast<std::size_t>(n))))
            return false;
    }
    return out.close();
}

bool removeFile(const QString& path)
{
    return !path.isEmpty() && ::unlink(nativePath(path).constData()) == 0;
}

bool isSameFile(const QString& a, const QString& b)
{
    struct stat sa {};
    struct stat sb {};
    return !a.isEmpty() && !b.isEmpty() && ::stat(nativePath(a).constData(), &sa) == 0
           && ::stat(nativePath(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace keyloom
