#pragma once
// What the window program prints instead of opening its window.

#include <QString>
#include <QStringList>
#include <optional>

namespace keyloom {

// The text for a command line that is exactly "--help", "-h" or "--version"
// (`arguments` without the program's name); nothing for any other command
// line, whose text is a file's path. `version` as the project gives it.
std::optional<QString> programInfo(const QStringList& arguments, const QString& version);

}  // namespace keyloom
