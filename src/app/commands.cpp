#include "app/commands.h"

#include "platform/longpath.h"
#include "platform/profile.h"

#include <algorithm>
#include <cmath>

namespace keyloom::Commands {

QString& AddBackslash(QString& path, QChar sep)
{
    if (!path.endsWith(sep))
        path += sep;
    return path;
}

QString DirectoryPart(const QString& path, QChar sep)
{
    QString copy = path;
    if (copy.startsWith(sep))
        copy.remove(0, 1);
    if (copy.endsWith(sep))
        copy.chop(1);
    const qsizetype last = copy.lastIndexOf(sep);
    if (last >= 0)
        copy.truncate(last);
    return copy;
}

QString FileNamePart(const QString& path, QChar sep)
{
    QString copy = path;
    if (copy.endsWith(sep))
        copy.chop(1);
    qsizetype cut = copy.lastIndexOf(sep);
#ifdef _WIN32
    // Windows takes '/' for a separator too: a name given that way (on the
    // command line, or by Qt) still shows as the file's name alone.
    if (sep == QLatin1Char('\\'))
        cut = std::max(cut, copy.lastIndexOf(QLatin1Char('/')));
#endif
    return copy.mid(cut + 1);
}

QString ProperCase(const QString& path, QChar sep)
{
    QString result = path;
    for (qsizetype i = 1; i < result.size(); ++i) {
        const QChar before = path.at(i - 1);
        const bool wordStart = before == u' ' || before == u'-' || before == u'(' || before == u'_' || before == sep;
        result[i] = wordStart ? path.at(i).toUpper() : path.at(i).toLower();
    }
    if (!result.isEmpty())
        result[0] = result.at(0).toUpper();
    return result;
}

QString LongPathName(const QString& path, QChar sep)
{
    const QString longPath = systemLongPath(path);
    return longPath.isEmpty() ? ProperCase(path, sep) : longPath;
}

namespace {

// Only ASCII letters: the names are bytes in the file's own encoding, and the
// lookup ignores letter case beyond ASCII by itself.
std::string upperAscii(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

}  // namespace

std::string ReadProfileValue(std::string_view section, std::string_view key, const QString& file, std::string_view def)
{
    std::string buffer(kProfileBufferSize, ' ');
    const std::int64_t n = GetPrivateProfileStringA(upperAscii(section), upperAscii(key), "", buffer.data(),
                                                    std::int64_t(buffer.size()), file);
    if (n <= 0)
        return std::string(def);
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

bool ProfileValueIsCut(std::string_view section, std::string_view key, const QString& file)
{
    // One byte more room than the read has tells whether it was full.
    std::string buffer(kProfileBufferSize + 1, ' ');
    return GetPrivateProfileStringA(upperAscii(section), upperAscii(key), "", buffer.data(),
                                    std::int64_t(buffer.size()), file) >= kProfileBufferSize;
}

ProfileWrite WriteProfileValue(std::string_view section, std::string_view key, std::string_view value,
                               const QString& file)
{
    return writeProfileString(section, key, value, file);
}

Placement CenterPosition(double screenWidth, double screenHeight, double windowWidth, double windowHeight)
{
    // Rounding to nearest with ties to even, then truncating division.
    auto round = [](double v) { return static_cast<int>(std::nearbyint(v)); };
    Placement p{round(screenHeight * 0.85) / 2 - round(windowHeight) / 2,
                round(screenWidth) / 2 - round(windowWidth) / 2};
    if (p.top < 0)
        p.top = 0;
    if (p.left < 0)
        p.left = 0;
    return p;
}

}  // namespace keyloom::Commands
