#pragma once
// The yardsticks every benchmark is measured against: the simplest correct
// streaming code for the two kinds of work the editor does, a scan of all
// lines and a rewrite of a file from its backup.

#include <cstdint>

namespace keyloom::bench {

struct ScanCount {
    std::uint64_t lines = 0;
    std::uint64_t headers = 0;  // lines beginning with '['
    std::uint64_t bytes = 0;    // line bytes without their endings
    bool ok = false;            // the file was opened and read to its end
};

// Reads `path` in 1 MiB read() blocks and splits it at CR LF, CR and LF, each
// line a view into the block. Leaves the file untouched.
ScanCount scanLines(const char* path);

// Copies `path` to `backup`, writes it back line by line with CR LF, and
// deletes the backup. True when all of that succeeded.
bool rewriteLines(const char* path, const char* backup);

}  // namespace keyloom::bench
