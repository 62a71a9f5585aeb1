#pragma once
// Shared path procedures. They work on the text alone with one separator
// character (the platform's by default); only LongPathName asks the file
// system.

#include <QDir>
#include <QString>

namespace keyloom::Commands {

inline QChar platformSeparator() { return QDir::separator(); }

// Appends the separator to `path` itself unless it ends in one; returns it.
QString& AddBackslash(QString& path, QChar sep = platformSeparator());
// The folder part: one leading and one trailing separator dropped, then
// everything before the last separator (the whole rest when there is none).
QString DirectoryPart(const QString& path, QChar sep = platformSeparator());
// The part after the last separator, once a trailing separator is dropped.
QString FileNamePart(const QString& path, QChar sep = platformSeparator());
// Upper case after blank, '-', '(', '_' and the separator, lower case
// elsewhere, first character upper case; the length never changes.
QString ProperCase(const QString& path, QChar sep = platformSeparator());
// The absolute form of an existing path ("." and ".." resolved, links kept);
// the proper-case form of a path that does not exist.
QString LongPathName(const QString& path, QChar sep = platformSeparator());

// Where the centred window goes: the middle across, 42.5 % down, never above
// or left of the screen. All lengths in twips.
struct Placement {
    int top;
    int left;
};
Placement CenterPosition(double screenWidth, double screenHeight, double windowWidth, double windowHeight);

}  // namespace keyloom::Commands
