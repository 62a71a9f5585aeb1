#pragma once
// Writing an edited value into the file: an INI or INF file through the
// profile write, a registry export by rewriting it through its backup, the
// key's lines rebuilt with the new value and every other line copied as it is.

#include "document/document.h"
#include "edit/rewrite.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

namespace keyloom {

// What the window shows when the values are read: section (List1), key (List2)
// and the value to write, already passed through enQuote when QuoteState was 2.
struct ApplyValues {
    std::string section;
    std::string key;
    std::string value;
};

// Rewrites the registry export `currentFile` with the key's lines of the
// section replaced, through rewriteThroughBackup (which says what stays
// after a failure). `pendingText`, when given, is the REGEDIT4 text waiting
// for exactly this file and becomes the source instead of the file.
// `processEvents` runs after the backup is made and after both files are
// closed; `readControls` runs once, right after the first of these. Values
// holding CR or LF, which a line cannot carry, are refused.
[[nodiscard]] EditResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
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
// file `readControls` runs at once and `processEvents` not at all; the
// result is Done when the value reached the file and Refused otherwise.
[[nodiscard]] EditResult applyValue(FileKind kind, const QString& file, const std::string* pendingText,
                                    const std::function<void()>& processEvents,
                                    const std::function<EditedValue()>& readControls);

// What the user is told when the box holds a character that the file's
// 8-bit code page (Windows-1252) lacks: nothing is written then.
QString unencodableValueNote(const QString& file);

}  // namespace keyloom
