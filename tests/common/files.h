#pragma once
// Files for tests: whole-file writes and reads, folder listings and a private
// temporary folder. Qt Core only, so that the core's, the window's and the
// fuzz targets' tests share them.

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

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

}  // namespace keyloom::test
