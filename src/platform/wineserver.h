#pragma once
// Whether Wine runs for a prefix. A running wineserver keeps the prefix's
// registry in memory and writes its files anew when it ends, so a value
// written into them meanwhile is lost.

#include <QString>
#include <QStringList>

namespace keyloom {

// The folders where a wineserver for the prefix folder `prefixDir` keeps its
// socket, "server-DEV-INODE" named after the folder's device and inode in
// lower-case hex: under `tmpRoot`, in ".wine-UID" as Wine itself makes it,
// and in the folder that the prefix's file "wineserver" names (Debian's
// build makes a private temporary folder and writes its name there). Empty
// when the prefix folder cannot be examined.
QStringList wineServerDirsOf(const QString& prefixDir, const QString& tmpRoot = QStringLiteral("/tmp"));

// A wineserver answers on the socket in one of those folders. A socket left
// behind by a server that died refuses the connection and counts as none.
// Always false where Wine does not run (Windows).
bool wineServerRunsFor(const QString& prefixDir, const QString& tmpRoot = QStringLiteral("/tmp"));

// The prefix of Wine's registry file `file`: the folder it lies in.
QString winePrefixOf(const QString& file);

}  // namespace keyloom
