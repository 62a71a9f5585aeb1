#pragma once
// Helpers for tests that work on real files in a private temporary folder.

#include "common/utf16.h"

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom {
class LineReader;
}

namespace keyloom::test {

class TempDir {
public:
    TempDir();
    QString path(const QString& name) const;
    // Writes `bytes` to the file `name` and returns its full path.
    QString write(const QString& name, const std::string& bytes) const;
    // Runs `body`, whose checks depend on file permissions. As root, who
    // ignores them, it runs as the user nobody in a forked child that owns
    // this folder and everything in it; the child's failures fail the test.
    // On Windows it runs `body` as it is, or skips the test where the
    // read-only attribute is not enforced.
    void runWithoutRoot(const std::function<void()>& body) const;

private:
    QTemporaryDir dir_;
};

// Makes `link` a second name of the file `target`: a symbolic link, or on
// Windows, where QFile::link makes a shortcut (a file of its own), a hard link.
bool linkToSameFile(const QString& target, const QString& link);

// Makes a FIFO under `path`; false where that fails, and always on Windows,
// which has none.
bool makeFifo(const QString& path);

// The whole content of a file, or "<missing>" when it cannot be read.
std::string readAll(const QString& path);

// Every line the reader still has.
std::vector<std::string> linesOf(LineReader& reader);

}  // namespace keyloom::test
