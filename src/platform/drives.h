#pragma once
// Stand-in for drive letters: the roots of the mounted file systems a user can
// browse.

#include <QString>
#include <QStringList>

namespace keyloom {

// Roots of the mounted file systems, "/" first, the rest sorted; pseudo file
// systems (proc, sysfs, cgroups, ...) and system areas left out. On Windows
// the drives, "C:/" and so on, in the order of their letters.
QStringList mountedRoots();
// The root among `roots` that is the longest prefix of `path`, "" when none.
// On Windows `path` may use either separator, and letter case is ignored.
QString rootOf(const QString& path, const QStringList& roots);

}  // namespace keyloom
