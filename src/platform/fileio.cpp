#include "platform/fileio.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

#ifdef _WIN32
// The C runtime's descriptors: Windows has no pipes or devices that a file
// name in a folder could lead to, so the regular-file test is all that stays.
#include <io.h>
#include <windows.h>
#define O_CLOEXEC _O_NOINHERIT
#define O_NONBLOCK 0
using ssize_t = long long;
using stat_t = struct _stat64;
namespace {
// Shared for renaming and deleting too, as files are on POSIX systems: a file
// being read can still be replaced by a rename over it.
int sysOpen(const QString& path, int flags, int)
{
    const bool write = (flags & (O_WRONLY | O_RDWR)) != 0;
    const HANDLE handle =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), write ? GENERIC_WRITE : GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      (flags & O_CREAT) ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), (write ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return -1;
    }
    if ((flags & O_TRUNC) && ::_chsize_s(fd, 0) != 0) {
        ::_close(fd);
        return -1;
    }
    return fd;
}
int sysStat(const QString& path, stat_t* st) { return ::_wstat64(reinterpret_cast<const wchar_t*>(path.utf16()), st); }
int sysFstat(int fd, stat_t* st) { return ::_fstat64(fd, st); }
ssize_t sysRead(int fd, void* buffer, std::size_t size)
{
    return ::_read(fd, buffer, unsigned(std::min<std::size_t>(size, 1u << 30)));
}
ssize_t sysWrite(int fd, const void* buffer, std::size_t size)
{
    return ::_write(fd, buffer, unsigned(std::min<std::size_t>(size, 1u << 30)));
}
int sysClose(int fd) { return ::_close(fd); }
bool sysSeek(int fd, std::int64_t offset) { return ::_lseeki64(fd, offset, SEEK_SET) == offset; }
bool sysTruncate(int fd, std::int64_t length) { return ::_chsize_s(fd, length) == 0; }
int sysUnlink(const QString& path) { return ::_wunlink(reinterpret_cast<const wchar_t*>(path.utf16())); }
bool isRegularMode(const stat_t& st) { return (st.st_mode & _S_IFMT) == _S_IFREG; }
void clearNonBlocking(int) {}
}  // namespace
#else
#include <unistd.h>
using stat_t = struct stat;
namespace {
QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }
int sysOpen(const QString& path, int flags, int mode) { return ::open(nativePath(path).constData(), flags, mode); }
int sysStat(const QString& path, stat_t* st) { return ::stat(nativePath(path).constData(), st); }
int sysFstat(int fd, stat_t* st) { return ::fstat(fd, st); }
ssize_t sysRead(int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); }
ssize_t sysWrite(int fd, const void* buffer, std::size_t size) { return ::write(fd, buffer, size); }
int sysClose(int fd) { return ::close(fd); }
bool sysSeek(int fd, std::int64_t offset) { return ::lseek(fd, off_t(offset), SEEK_SET) == off_t(offset); }
bool sysTruncate(int fd, std::int64_t length) { return ::ftruncate(fd, off_t(length)) == 0; }
int sysUnlink(const QString& path) { return ::unlink(nativePath(path).constData()); }
bool isRegularMode(const stat_t& st) { return S_ISREG(st.st_mode); }
void clearNonBlocking(int fd)
{
    const int now = ::fcntl(fd, F_GETFL);
    if (now >= 0)
        ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK);
}
}  // namespace
#endif

namespace keyloom {

namespace {

std::atomic<std::size_t> ioBlockBytes{std::size_t(1) << 20};

constexpr std::size_t kFileOps = 8;
std::array<std::atomic<int>, kFileOps> faultCountdown{};
std::array<std::atomic<int>, kFileOps> opCount{};

// Opens with O_NONBLOCK, so that a FIFO never blocks open(), and keeps only
// regular files; -1 otherwise.
int openRegular(const QString& path, int flags)
{
    const int fd = sysOpen(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return -1;
    stat_t st{};
    if (sysFstat(fd, &st) != 0 || !isRegularMode(st)) {
        sysClose(fd);
        return -1;
    }
    clearNonBlocking(fd);
    return fd;
}

}  // namespace

std::size_t ioBlock() { return ioBlockBytes.load(std::memory_order_relaxed); }

void setIoBlock(std::size_t bytes) { ioBlockBytes.store(std::max<std::size_t>(bytes, 1), std::memory_order_relaxed); }

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
        const ssize_t n = sysRead(fd_, buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

bool InputFile::seek(std::int64_t offset) { return fd_ >= 0 && offset >= 0 && sysSeek(fd_, offset); }

void InputFile::close()
{
    if (fd_ >= 0) {
        sysClose(fd_);
        fd_ = -1;
    }
}

// An output file left open is one whose write already failed or was given up.
OutputFile::~OutputFile() { (void)close(); }

bool OutputFile::open(const QString& path) { return openWith(path, O_WRONLY | O_CREAT | O_TRUNC); }

bool OutputFile::openKeeping(const QString& path) { return openWith(path, O_WRONLY | O_CREAT); }

bool OutputFile::openWith(const QString& path, int flags)
{
    (void)close();
    if (path.isEmpty() || fileFaultHit(FileOp::OpenWrite))
        return false;
    // A device or a pipe named like the file is refused: writing a backup
    // into one would lose it, or wait for a reader that never comes.
    const int fd = openRegular(path, flags);
    if (fd < 0)
        return false;
    fd_ = fd;
    return true;
}

bool OutputFile::create(const QString& path, const QString& model)
{
    (void)close();
    if (path.isEmpty() || fileFaultHit(FileOp::OpenWrite))
        return false;
#ifdef _WIN32
    // CREATE_NEW fails on anything already there, a folder or a link
    // included; the new file takes the folder's inherited permissions, as
    // every new file there does. Others may read it while it is written, and
    // it can be deleted while still open after a failed write, as on POSIX
    // systems.
    const HANDLE handle =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        ::DeleteFileW(reinterpret_cast<const wchar_t*>(path.utf16()));
        return false;
    }
    fd_ = fd;
    Q_UNUSED(model);
#else
    // O_EXCL fails on anything already there, a dangling link included, so
    // nobody else's file is ever written through this name. Private at first;
    // the model's bits follow once the file is ours.
    const int fd = sysOpen(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    fd_ = fd;
    stat_t st{};
    if (sysStat(model, &st) == 0) {
        // Only a group the user belongs to can be set; in the user's own
        // group the model's group bits would reach other people, so they go.
        const bool sameGroup = ::fchown(fd, uid_t(-1), st.st_gid) == 0;
        (void)::fchmod(fd, st.st_mode & (sameGroup ? 0777 : 0707));
    }
#endif
    return true;
}

bool OutputFile::seek(std::int64_t offset) { return fd_ >= 0 && offset >= 0 && sysSeek(fd_, offset); }

bool OutputFile::truncate(std::int64_t length) { return fd_ >= 0 && length >= 0 && sysTruncate(fd_, length); }

namespace {

// Writes all `size` bytes to `fd`; false on a failure.
bool writeAll(int fd, const char* p, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = sysWrite(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// One step of a copy: up to `want` bytes of `in` from its byte `at` to where
// `out` writes next. Returns the count, 0 at the end of `in`, -1 on a
// failure. `kernel` goes false where the kernel cannot copy (another kind
// of file system, an old kernel), and after any failure of it, which the
// plain copy then meets again if it lasts.
std::int64_t copyStep(int in, std::int64_t at, int out, std::size_t want, std::vector<char>& buffer, bool& kernel)
{
#ifdef __linux__
    if (kernel) {
        loff_t offset = at;
        for (;;) {
            const ssize_t n = ::copy_file_range(in, &offset, out, nullptr, want, 0);
            if (n > 0)
                return n;
            if (n == 0 || errno != EINTR)
                break;
        }
        kernel = false;
    }
#else
    Q_UNUSED(kernel);
#endif
    buffer.resize(std::max(buffer.size(), want));
    if (!sysSeek(in, at))
        return -1;
    for (;;) {
        const ssize_t n = sysRead(in, buffer.data(), want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n;
        return writeAll(out, buffer.data(), std::size_t(n)) ? n : -1;
    }
}

}  // namespace

bool OutputFile::write(std::string_view bytes)
{
    if (fd_ < 0)
        return false;
    // An injected failure comes part-way, as from a full disk.
    const bool fail = fileFaultHit(FileOp::Write);
    return writeAll(fd_, bytes.data(), fail ? bytes.size() / 2 : bytes.size()) && !fail;
}

std::int64_t OutputFile::copyFrom(InputFile& in, std::int64_t from, std::int64_t count)
{
    if (fd_ < 0 || in.fd_ < 0 || from < 0)
        return -1;
    std::vector<char> buffer;
    bool kernel = true;
    std::int64_t copied = 0;
    while (count < 0 || copied < count) {
        std::size_t want = ioBlock();
        if (count >= 0)
            want = std::size_t(std::min<std::int64_t>(std::int64_t(want), count - copied));
        // The same failure points as a copy through reads and writes; an
        // injected write failure comes part-way, as from a full disk.
        if (fileFaultHit(FileOp::Read))
            return -1;
        const bool fail = fileFaultHit(FileOp::Write);
        if (fail)
            want = (want + 1) / 2;
        const std::int64_t n = copyStep(in.fd_, from + copied, fd_, want, buffer, kernel);
        if (fail || n < 0)
            return -1;
        if (n == 0)
            return count < 0 ? copied : -1;
        copied += n;
    }
    return copied;
}

bool OutputFile::close()
{
    if (fd_ < 0)
        return true;
    const int rc = sysClose(fd_);
    fd_ = -1;
    return rc == 0 && !fileFaultHit(FileOp::Close);
}

bool isTaken(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && (info.exists() || info.isSymLink());
}

#ifdef _WIN32
namespace {

// The file's identity and link count; false when it cannot be opened.
bool fileInformation(const QString& path, BY_HANDLE_FILE_INFORMATION& info)
{
    const HANDLE handle =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    return known;
}

}  // namespace
#endif

bool isReplaceableByRename(const QString& path)
{
#ifdef _WIN32
    // Owner, permissions and attributes go over to the new file with the
    // replace itself; other hard links would be lost to it.
    BY_HANDLE_FILE_INFORMATION info{};
    return !fileInformation(path, info) || info.nNumberOfLinks <= 1;
#else
    stat_t st{};
    if (sysStat(path, &st) != 0)
        return true;
    const QString target = QFileInfo(path).canonicalFilePath();
    const QByteArray folder = QFile::encodeName(QFileInfo(target.isEmpty() ? path : target).absolutePath());
    return st.st_uid == ::geteuid() && st.st_gid == ::getegid() && st.st_nlink == 1 &&
           ::access(folder.constData(), W_OK) == 0;
#endif
}

FileIdentity identityOf(const QString& path)
{
#ifdef _WIN32
    // The C runtime reports neither file numbers nor sub-second times there:
    // the volume's serial number and the file index tell files apart, the
    // write time counts in 100 ns.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!fileInformation(path, info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {};
    const auto join = [](DWORD high, DWORD low) { return (std::uint64_t(high) << 32) | low; };
    const std::int64_t modifiedNs =
        std::int64_t(join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)) * 100;
    return {true, std::uint64_t(info.dwVolumeSerialNumber), join(info.nFileIndexHigh, info.nFileIndexLow),
            std::int64_t(join(info.nFileSizeHigh, info.nFileSizeLow)), modifiedNs};
#else
    stat_t st{};
    if (sysStat(path, &st) != 0 || !isRegularMode(st))
        return {};
    const std::int64_t modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return {true, std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size), modifiedNs};
#endif
}

bool isRegularFile(const QString& path)
{
    stat_t st{};
    return !path.isEmpty() && sysStat(path, &st) == 0 && isRegularMode(st);
}

bool copyInto(const QString& from, OutputFile& out)
{
    InputFile in;
    if (!in.open(from) || fileFaultHit(FileOp::Copy))
        return false;
    return out.copyFrom(in, 0, -1) >= 0 && out.close();
}

bool removeFile(const QString& path)
{
    return !path.isEmpty() && !fileFaultHit(FileOp::Remove) && sysUnlink(path) == 0;
}

bool isSameFile(const QString& a, const QString& b)
{
#ifdef _WIN32
    // The C runtime reports no file numbers there; the system does.
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    return !a.isEmpty() && !b.isEmpty() && fileInformation(a, ia) && fileInformation(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
#else
    stat_t sa{};
    stat_t sb{};
    return !a.isEmpty() && !b.isEmpty() && sysStat(a, &sa) == 0 && sysStat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
#endif
}

}  // namespace keyloom
