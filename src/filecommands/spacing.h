#pragma once
// Spacing out the sections of an INI or INF file: an empty line goes before
// every section header that is neither the first line nor after an empty line.

#include "edit/rewrite.h"

#include <QString>

namespace keyloom {

// Rewrites `currentFile` through its backup (rewriteThroughBackup), every
// line unchanged and in order, with the empty lines added.
[[nodiscard]] EditResult insertSpaces(const QString& currentFile);

}  // namespace keyloom
