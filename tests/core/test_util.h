#pragma once
// Helpers for tests that work on real files in a private temporary folder.

#include <QString>
#include <QTemporaryDir>
#include <string>

namespace keyloom::test {

class TempDir {
public:
    TempDir();
    QString path(const QString& name) const;
    // Writes `bytes` to the file `name` and returns its full path.
    QString write(const QString& name, const std::string& bytes) const;

private:
    QTemporaryDir dir_;
};

// The whole content of a file, or "<missing>" when it cannot be read.
std::string readAll(const QString& path);

}  // namespace keyloom::test
