#pragma once
// Helpers shared by the fuzz targets: a private scratch folder for the
// functions that take paths, whole-file reads, and a check that aborts, so
// that libFuzzer keeps the input that broke a property.

#include "platform/lines.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                     \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace keyloom::fuzz {

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

inline void writeFile(const QString& path, std::string_view bytes)
{
    QFile::remove(path);
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly));
    FUZZ_CHECK(file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()));
}

// The whole file, or "<missing>".
inline std::string readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

inline std::vector<std::string> linesOf(const QString& path)
{
    std::vector<std::string> lines;
    LineReader reader(path);
    std::string_view line;
    while (reader.next(line))
        lines.emplace_back(line);
    return lines;
}

inline bool isUtf16(std::string_view bytes)
{
    return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

}  // namespace keyloom::fuzz
