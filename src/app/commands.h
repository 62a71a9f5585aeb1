#pragma once
// Shared path procedures. They work on the text alone with one separator
// character (the platform's by default); only LongPathName asks the file
// system.

#include "platform/profile.h"

#include <QDir>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace keyloom::Commands {

inline QChar platformSeparator() { return QDir::separator(); }

// Appends the separator to `path` itself unless it ends in one; returns it.
QString& AddBackslash(QString& path, QChar sep = platformSeparator());
// The folder part: one leading and one trailing separator dropped, then
// everything before the last separator (the whole rest when there is none).
QString DirectoryPart(const QString& path, QChar sep = platformSeparator());
// The part after the last separator, once a trailing separator is dropped
// (on Windows, where the separator is '\\', after a '/' as well).
QString FileNamePart(const QString& path, QChar sep = platformSeparator());
// Upper case after blank, '-', '(', '_' and the separator, lower case
// elsewhere, first character upper case; the length never changes.
QString ProperCase(const QString& path, QChar sep = platformSeparator());
// The absolute form of an existing path ("." and ".." resolved, links kept);
// the proper-case form of a path that does not exist.
QString LongPathName(const QString& path, QChar sep = platformSeparator());

// Room of the profile read: values longer than this less one are cut.
constexpr std::int64_t kProfileBufferSize = 2048;

// The value of `key` in `section` of `file`, at most 2047 bytes; `def` when
// the key is missing or its value empty. Names are looked up in upper case.
std::string ReadProfileValue(std::string_view section, std::string_view key, const QString& file,
                             std::string_view def = {});
// True when the value of `key` is longer than ReadProfileValue shows: written
// back from the box, its end would be lost.
bool ProfileValueIsCut(std::string_view section, std::string_view key, const QString& file);
// Sets `key` in `section` of `file` to `value` through the profile write,
// which says whether the value reached the file.
[[nodiscard]] ProfileWrite WriteProfileValue(std::string_view section, std::string_view key, std::string_view value,
                                             const QString& file);

// Where the centred window goes: the middle across, 42.5 % down, never above
// or left of the screen. All lengths in twips.
struct Placement {
    int top;
    int left;
};
Placement CenterPosition(double screenWidth, double screenHeight, double windowWidth, double windowHeight);

}  // namespace keyloom::Commands
