#include "test_util.h"

#include <QFile>

namespace keyloom::test {

TempDir::TempDir() = default;

QString TempDir::path(const QString& name) const { return dir_.filePath(name); }

QString TempDir::write(const QString& name, const std::string& bytes) const
{
    const QString full = path(name);
    QFile f(full);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return full;
}

std::string readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

}  // namespace keyloom::test
