#pragma once
// Spacing out the sections of an INI or INF file: an empty line goes before
// every section header that is neither the first line nor after an empty line.

#include "edit/rewrite.h"

#include <QString>

namespace keyloom {

// Rewrites `currentFile` from its backup (backupNameOf), every line unchanged
// and in order, with the empty lines added. A UTF-16 file, a missing or
// irregular file, one whose backup would be the file itself, and one that
// cannot be opened for writing are left as they are.
[[nodiscard]] EditStatus insertSpaces(const QString& currentFile);

}  // namespace keyloom
