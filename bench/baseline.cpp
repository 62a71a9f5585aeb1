#include "bench/baseline.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace keyloom::bench {

namespace {

constexpr std::size_t kBlock = 1 << 20;

ssize_t readSome(int fd, char* to, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, to, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Lines of an open file: memchr finds the next LF, a second memchr the first
// CR before it, which ends the line instead when it is a lone CR or the CR of
// CR LF.
class BlockLines {
public:
    explicit BlockLines(int fd) : fd_(fd), buffer_(2 * kBlock) {}

    bool next(std::string_view& line)
    {
        for (;;) {
            const char* begin = buffer_.data() + pos_;
            const char* end = buffer_.data() + size_;
            const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', std::size_t(end - begin)));
            const char* stop = lf ? lf : end;
            const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', std::size_t(stop - begin)));
            if (cr && (cr + 1 < stop || cr + 1 == lf || (eof_ && cr + 1 == end))) {
                line = std::string_view(begin, std::size_t(cr - begin));
                pos_ = std::size_t(cr + 1 - buffer_.data()) + (cr + 1 == lf ? 1 : 0);
                return true;
            }
            if (lf) {
                line = std::string_view(begin, std::size_t(lf - begin));
                pos_ = std::size_t(lf + 1 - buffer_.data());
                return true;
            }
            if (eof_) {
                line = std::string_view(begin, std::size_t(end - begin));
                pos_ = size_;
                return begin < end;
            }
            // Keep the unfinished line and read the next block behind it.
            const std::size_t rest = size_ - pos_;
            std::memmove(buffer_.data(), begin, rest);
            if (buffer_.size() < rest + kBlock)
                buffer_.resize(rest + kBlock);
            const ssize_t n = readSome(fd_, buffer_.data() + rest, kBlock);
            failed_ = n < 0;
            eof_ = n <= 0;
            pos_ = 0;
            size_ = rest + static_cast<std::size_t>(n > 0 ? n : 0);
        }
    }
    bool failed() const { return failed_; }

private:
    int fd_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

bool copy(const char* from, const char* to)
{
    const int in = ::open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    bool ok = out >= 0;
    std::vector<char> block(kBlock);
    while (ok) {
        const ssize_t n = readSome(in, block.data(), block.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = writeAll(out, std::string_view(block.data(), std::size_t(n)));
    }
    ::close(in);
    return out >= 0 && ::close(out) == 0 && ok;
}

}  // namespace

ScanCount scanLines(const char* path)
{
    ScanCount count;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return count;
    BlockLines lines(fd);
    std::string_view line;
    while (lines.next(line)) {
        ++count.lines;
        count.bytes += line.size();
        if (!line.empty() && line.front() == '[')
            ++count.headers;
    }
    count.ok = !lines.failed();
    ::close(fd);
    return count;
}

bool rewriteLines(const char* path, const char* backup)
{
    if (!copy(path, backup))
        return false;
    const int in = ::open(backup, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool ok = out >= 0;
    BlockLines lines(in);
    std::string buffer;
    buffer.reserve(kBlock + 4096);
    std::string_view line;
    while (ok && lines.next(line)) {
        buffer.append(line);
        buffer.append("\r\n");
        if (buffer.size() >= kBlock) {
            ok = writeAll(out, buffer);
            buffer.clear();
        }
    }
    ok = ok && !lines.failed() && writeAll(out, buffer);
    ::close(in);
    ok = out >= 0 && ::close(out) == 0 && ok;
    return ok && ::unlink(backup) == 0;
}

}  // namespace keyloom::bench
