#pragma once
// Helpers of the fuzz targets over the tests' shared ones: a private scratch
// folder for the functions that take paths, and a check that aborts, so that
// libFuzzer keeps the input that broke a property.

#include "common/files.h"
#include "common/lines.h"
#include "platform/fileio.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                     \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace keyloom::fuzz {

// Tiny blocks, of odd size, so that short inputs cross block boundaries (and
// split UTF-16 units between two reads).
inline const bool tinyBlocks = (setIoBlock(61), true);

// A file in a folder of this process's own, in memory where /dev/shm exists.
inline QString scratchPath(const QString& name)
{
    static const QString folder = [] {
        const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        const QString dir = base + QStringLiteral("/keyloom-fuzz-") + QString::number(::getpid());
        QDir().mkpath(dir);
        return dir;
    }();
    return folder + QLatin1Char('/') + name;
}

// Replaces whatever `path` is with a regular file of `bytes`.
inline void writeFile(const QString& path, std::string_view bytes)
{
    QFile::remove(path);
    FUZZ_CHECK(test::writeFile(path, QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()))));
}

using test::linesOf;
using test::readAll;

inline bool isUtf16(std::string_view bytes)
{
    return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

}  // namespace keyloom::fuzz
