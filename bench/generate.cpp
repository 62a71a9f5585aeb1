// Writes the benchmark files into a folder:
//   keyloom_gen FOLDER SIZE_MB [SEED]
// export.reg and profile.ini of about SIZE_MB megabytes each, export-utf16.reg
// and export-utf16-wide.reg of twice that, and manifest.txt with the names
// the benchmarks look up.

#include "bench/generator.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: keyloom_gen FOLDER SIZE_MB [SEED]\n");
        return 2;
    }
    const QString folder = QFile::decodeName(argv[1]);
    const std::uint64_t megabytes = std::strtoull(argv[2], nullptr, 10);
    const std::uint64_t seed = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 1;
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "keyloom_gen: cannot create %s\n", argv[1]);
        return 1;
    }
    const keyloom::bench::GeneratedFiles files = keyloom::bench::generateFiles(folder, megabytes * 1000000, seed);
    if (!files.ok) {
        std::fprintf(stderr, "keyloom_gen: writing into %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
