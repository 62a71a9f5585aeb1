#include "platform/fileio.h"

#include <QFile>

#include <array>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace keyloom {

namespace {

QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }

constexpr std::size_t kFileOps = 8;
std::array<std::atomic<int>, kFileOps> faultCountdown{};
std::array<std::atomic<int>, kFileOps> opCount{};

// Opens with O_NONBLOCK, so that a FIFO never blocks open(), and keeps only
// regular files; -1 otherwise.
int openRegular(const QString& path, int flags)
{
    const int fd = ::open(nativePath(path).constData(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int now = ::fcntl(fd, F_GETFL);
    if (now >= 0)
        ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK);
    return fd;
}

}  // namespace

void injectFileFault(FileOp op, int nth) { faultCountdown[static_cast<std::size_t>(op)] = nth; }

void clearFileFaults()
{
    for (std::size_t i = 0; i < kFileOps; ++i)
        faultCountdown[i] = opCount[i] = 0;
}

bool fileFaultHit(FileOp op)
{
    const auto i = static_cast<std::size_t>(op);
    ++opCount[i];
    return faultCountdown[i] > 0 && --faultCountdown[i] == 0;
}

int fileOpCount(FileOp op) { return opCount[static_cast<std::size_t>(op)]; }

InputFile::~InputFile() { close(); }

bool InputFile::open(const QString& path)
{
    close();
    if (path.isEmpty() || fileFaultHit(FileOp::OpenRead))
        return false;
    const int fd = openRegular(path, O_RDONLY);
    if (fd < 0)
        return false;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    fd_ = fd;
    return true;
}

std::int64_t InputFile::read(char* buffer, std::size_t size)
{
    if (fd_ < 0 || fileFaultHit(FileOp::Read))
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
    if (path.isEmpty() || fileFaultHit(FileOp::OpenWrite))
        return false;
    // A device or a pipe named like the file is refused: writing a backup
    // into one would lose it, or wait for a reader that never comes.
    const int fd = openRegular(path, O_WRONLY | O_CREAT | O_TRUNC | (exclusive ? O_EXCL : 0));
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
    // An injected failure comes part-way, as from a full disk.
    const bool fail = fileFaultHit(FileOp::Write);
    if (fail)
        left /= 2;
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return !fail;
}

bool OutputFile::close()
{
    if (fd_ < 0)
        return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 && !fileFaultHit(FileOp::Close);
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
    if (!out.open(to) || fileFaultHit(FileOp::Copy))
        return false;
    std::vector<char> buffer(kIoBlock);
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
    return !path.isEmpty() && !fileFaultHit(FileOp::Remove) && ::unlink(nativePath(path).constData()) == 0;
}

bool isSameFile(const QString& a, const QString& b)
{
    struct stat sa {};
    struct stat sb {};
    return !a.isEmpty() && !b.isEmpty() && ::stat(nativePath(a).constData(), &sa) == 0
           && ::stat(nativePath(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace keyloom
