#pragma once
// Files for tests: whole-file writes and reads, folder listings, a private
// temporary folder, second names and FIFOs. Qt Core (and the system's own
// calls) only, so that the core's, the window's and the fuzz targets' tests
// share them.

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

#ifdef _WIN32
#include <filesystem>
#include <system_error>
#else
#include <sys/stat.h>
#endif

namespace keyloom::test {

// Writes `bytes` as the whole content of the file at `path`, creating or
// truncating it in place; true when every byte was written.
inline bool writeFile(const QString& path, QByteArrayView bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes.data(), bytes.size()) == bytes.size();
}

// Writes `bytes` as the file `name` in `dir` and returns its path; a failed
// write shows in what the test reads back.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, QByteArrayView bytes)
{
    const QString path = dir.filePath(name);
    writeFile(path, bytes);
    return path;
}

// The whole content of the file at `path`, or "<missing>" when it cannot be
// opened.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// readFile() for tests that compare std::string.
inline std::string readAll(const QString& path) { return readFile(path).toStdString(); }

// Every entry of `folder` but "." and "..", hidden and system ones too,
// sorted by name.
inline QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A private folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    // The path of `name` in the folder; the folder itself for "".
    QString path(const QString& name) const { return dir_.filePath(name); }
    // Writes `bytes` to the file `name` and returns its full path.
    QString write(const QString& name, QByteArrayView bytes) const { return writeFile(dir_, name, bytes); }

private:
    QTemporaryDir dir_;
};

// Makes `link` a second name of the file `target`: a symbolic link, or on
// Windows, where QFile::link makes a shortcut (a file of its own), a hard
// link.
inline bool linkToSameFile(const QString& target, const QString& link)
{
#ifdef _WIN32
    std::error_code error;
    std::filesystem::create_hard_link(target.toStdWString(), link.toStdWString(), error);
    return !error;
#else
    return QFile::link(target, link);
#endif
}

// Makes a FIFO under `path`; false where that fails, and always on Windows,
// which has none.
inline bool makeFifo(const QString& path)
{
#ifdef _WIN32
    Q_UNUSED(path);
    return false;
#else
    return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0;
#endif
}

}  // namespace keyloom::test
