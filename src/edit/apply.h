#pragma once
// Writing an edited value into a registry export: the file is copied to its
// backup and rewritten from it line by line, the key's lines rebuilt with the
// new value and every other line copied as it is.

#include "document/document.h"
#include "edit/rewrite.h"

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

struct ApplyResult {
    EditStatus status;  // WriteFailed: the file may be partial, the backup holds the old content
    bool pendingUsed;  // the file was completely rewritten from the pending text
};

// Rewrites `currentFile` with the key's lines of the section replaced.
// `pendingText`, when given, is the REGEDIT4 text waiting for exactly this
// file and becomes the source instead of the file; without it a UTF-16 file is
// refused. `processEvents` runs after the backup is made and after both files
// are closed; `readControls` runs once, right after the first of these.
// Refuses a missing or irregular file, a backup that is the file itself, and
// values holding CR or LF, none of which a line can carry.
[[nodiscard]] ApplyResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
                               const std::function<void()>& processEvents,
                               const std::function<ApplyValues()>& readControls);

// What the window holds when an apply reads its controls: List1's entry,
// Label1's caption, List2's entry, Text1's text in the file's encoding, and
// QuoteState.
struct EditedValue {
    std::string section;
    std::string label;
    std::string key;
    std::string value;
    std::int16_t quoteState = 0;
};

// Writes an edited value the way the file's kind writes values: an INI or
// INF file through the profile write (section from Label1, the value as
// typed), a registry export through applyRegistryValue (section from List1,
// the value quoted again when the lookup took its quotes off). For an INI
// file `readControls` runs at once and `processEvents` not at all.
[[nodiscard]] ApplyResult applyValue(FileKind kind, const QString& file, const std::string* pendingText,
                       const std::function<void()>& processEvents,
                       const std::function<EditedValue()>& readControls);

}  // namespace keyloom
