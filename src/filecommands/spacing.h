#pragma once
// Spacing out the sections of an INI or INF file: an empty line goes before
// every section header that is neither the first line nor after an empty line.

#include <QString>

namespace keyloom {

enum class SpaceStatus {
    Done,          // the file was rewritten and the backup deleted
    Refused,       // the file was not touched and no backup of this run is left
    BackupFailed,  // the backup could not be made or read; the file is unchanged
    WriteFailed,   // the rewrite failed part-way; the backup holds the old content
    DeleteFailed,  // the file is complete, the backup stays
};

// Rewrites `currentFile` from its backup (backupNameOf), every line unchanged
// and in order, with the empty lines added. A UTF-16 file, a missing or
// irregular file, one whose backup would be the file itself, and one that
// cannot be opened for writing are left as they are.
SpaceStatus insertSpaces(const QString& currentFile);

}  // namespace keyloom
