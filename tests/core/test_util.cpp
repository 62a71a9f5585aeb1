#include "test_util.h"

#include "document/lines.h"

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

std::string utf16le(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (const char16_t u : text) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
}

std::vector<std::string> linesOf(LineReader& reader)
{
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line))
        lines.emplace_back(line);
    return lines;
}

}  // namespace keyloom::test
