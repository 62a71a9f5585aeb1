#pragma once
// The long-path service: the full, long form of a path that exists.

#include <QString>

namespace keyloom {

// An existing path in its absolute form with native separators, "." and ".."
// resolved and symbolic links kept; on Windows with short (8.3) names
// expanded by GetLongPathNameW. Empty when nothing exists under `path` (a
// dangling link counts as existing).
QString systemLongPath(const QString& path);

}  // namespace keyloom
