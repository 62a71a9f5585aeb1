#pragma once
// Makes writes past a given file size fail with EFBIG while in scope, the way
// a full disk makes a write fail part-way. POSIX only.

#ifndef _WIN32

#include <csignal>
#include <sys/resource.h>

namespace keyloom::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// Runs `command` with writes past `bytes` failing and returns what it returns.
template <class Command>
auto withFileSizeLimit(rlim_t bytes, Command command)
{
    FileSizeLimit limit(bytes);
    return command();
}

}  // namespace keyloom::test

#endif
