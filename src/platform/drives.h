#pragma once
// Stand-in for drive letters: the roots of the mounted file systems a user can
// browse.

#include <QString>
#include <QStringList>

namespace keyloom {

// Roots of the mounted file systems, "/" first, the rest sorted; pseudo file
// systems (proc, sysfs, cgroups, ...) and system areas left out.
QStringList mountedRoots();
// The root among `roots` that is the longest prefix of `path`, "" when none.
QString rootOf(const QString& path, const QStringList& roots);

}  // namespace keyloom
