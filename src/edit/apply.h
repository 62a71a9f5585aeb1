#pragma once
// Writing an edited value into a registry export: the file is copied to its
// backup and rewritten from it line by line, the key's lines rebuilt with the
// new value and every other line copied as it is.

#include <QString>
#include <functional>
#include <string>

namespace keyloom {

// The backup of `currentFile`: its path without the last character, followed
// by "_" ("test.reg" gives "test.re_"). Empty for an empty path.
QString backupNameOf(const QString& currentFile);

// What the window shows when the values are read: section (List1), key (List2)
// and the value to write, already passed through enQuote when QuoteState was 2.
struct ApplyValues {
    std::string section;
    std::string key;
    std::string value;
};

enum class ApplyStatus {
    Done,           // the file was rewritten completely and the backup deleted
    Refused,        // the file was not touched and no backup of this run is left
    BackupFailed,   // the backup could not be made; the file is unchanged
    RewriteFailed,  // opening, reading or writing failed; the file may be partial, the backup holds the old content
    DeleteFailed,   // the file is complete, the backup stays
};

struct ApplyResult {
    ApplyStatus status;
    bool pendingUsed;  // the file was completely rewritten from the pending text
};

// Rewrites `currentFile` with the key's lines of the section replaced.
// `pendingText`, when given, is the REGEDIT4 text waiting for exactly this
// file and becomes the source instead of the file; without it a UTF-16 file is
// refused. `processEvents` runs after the backup is made and after both files
// are closed; `readControls` runs once, right after the first of these.
// Refuses a missing or irregular file, a backup that is the file itself, and
// values holding CR or LF, none of which a line can carry.
ApplyResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
                               const std::function<void()>& processEvents,
                               const std::function<ApplyValues()>& readControls);

}  // namespace keyloom
