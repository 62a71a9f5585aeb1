#pragma once
// Writing an edited value into the file: an INI or INF file through the
// profile write, a registry export by rewriting it through its backup, the
// key's lines rebuilt with the new value and every other line copied as it is.

#include "document/linerules.h"
#include "edit/rewrite.h"
#include "platform/fileio.h"
#include "platform/textcodec.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom {

// What the user asked to write, captured at the moment they asked (the apply
// button pressed, the command line read), before any event can run: the
// write uses this alone, whatever the window shows by the time it writes.
struct EditRequest {
    QString file;
    // The file as its shown content was read; a file whose identity differs
    // by the time of the write is not written. Not checked when it does not
    // exist (a profile write may create the file).
    FileIdentity identity;
    FileKind kind = FileKind::Ini;
    TextCodec codec = TextCodec::Windows1252;  // the file's text encoding
    std::string section;                       // List1's entry
    std::string label;                         // Label1's caption: the INI way's section
    std::string key;                           // List2's entry
    QString text;                              // the value box's text, as typed
    std::int16_t quoteState = kQuotesKept;
    // `keyloom set --decoded`: `text` is the value as an importer stores it,
    // and `current` the registry value as the box would show it now, whose
    // type the new value keeps.
    std::optional<std::string> current = std::nullopt;
};

// The section, key and value a registry rewrite writes: the value already
// encoded and in quotes where QuoteState was 2. With `hexData`, `value` is a
// hex head ("hex(2):") and the data follow it as a list wrapped the way
// exporters wrap theirs.
struct ApplyValues {
    std::string section;
    std::string key;
    std::string value;
    std::optional<std::string> hexData = std::nullopt;
    // `value` is UTF-8 text for a UTF-16 file written in place (instead of
    // the 8-bit text its lines are read as).
    bool utf8 = false;
};

// Rewrites the registry export `currentFile` with the key's lines of the
// section replaced, through rewriteThroughBackup (which says what stays
// after a failure). `pendingText`, when given, is the REGEDIT4 text waiting
// for exactly this file and becomes the source instead of the file; without
// it a UTF-16 export is written in place (Utf16Lines::InPlace), the value's
// name kept as the file has it.
// `processEvents` runs after the backup is made and after both files are
// closed. Values holding CR or LF, which a line cannot carry, are refused.
// The continuation lines of the old value (a wrapped hex list) go with it.
[[nodiscard]] EditResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
                                            const std::function<void()>& processEvents, const ApplyValues& values);

// Writes `request` the way the file's kind writes values: an INI or INF file
// through the profile write (section from Label1, the value as typed), a
// registry export through applyRegistryValue (section from List1, the value
// quoted again when the lookup took its quotes off), Wine's file through
// the same backup with the value line in Wine's own form (names decoded,
// the text escaped as Wine writes it). The text is encoded in
// the file's encoding first; a character it lacks refuses the write, never
// turns into "?". A registry value is written only in a form an importer
// reads as meant (registryValueNote); `--decoded` text is first written in
// the form of the value's type (decodedValueOf). Refusals are Invalid. A
// file changed since it was read is not written. The result's reason says,
// for every outcome but Done, what the user must be told.
[[nodiscard]] EditResult applyEdit(const EditRequest& request, const std::string* pendingText,
                                   const std::function<void()>& processEvents);

// One change of several written into one file at once: the value of
// `request` set, its key deleted with the lines that continue it, or its
// whole section deleted (its header up to the next header). Every change of
// a batch names the same file, identity and kind.
struct EditChange {
    enum Kind { Set, DeleteKey, DeleteSection };
    Kind kind = Set;
    EditRequest request;
};

// Writes `changes` into their file in one rewrite (one backup, or one
// profile write for an INI or INF file), every change checked first: any
// refusal writes nothing. A single Set is applyEdit. An INI or INF file
// deletes as the profile service does (the first section of the name, its
// first key of the name; what is not there stays as it is); a registry
// export and Wine's file delete every line of the key, and every section of
// the name. Two changes of one key, or of a section another change deletes,
// are refused as Invalid (collidingChangesNote).
[[nodiscard]] EditResult applyEdits(const std::vector<EditChange>& changes, const std::string* pendingText,
                                    const std::function<void()>& processEvents);
// What the user is told when one call names a key twice, or a section that
// it also deletes.
QString collidingChangesNote(const QString& file);

// Why the registry value `value` (encoded, as typed into a box whose lookup
// set `quoteState`) cannot be written into `file`; none when it can: a
// string (quotes taken off) needs valid escapes, any other value must be a
// "dword:" with one to eight hex digits or a whole string in quotes.
std::optional<QString> registryValueNote(std::string_view value, std::int16_t quoteState, const QString& file);
// What the user is told when a hex value is to be set as text.
QString hexValueNote(const QString& file);

// The value `text` (as an importer stores it; `encoded` in the file's
// encoding) written in the form of the registry value `current` (as the box
// shows it, with `quoteState`): a string escaped and in quotes; a dword from a decimal or "0x" number; the
// text of hex(1), hex(2), hex(7) (one string a line) as its bytes, UTF-16LE
// code units where `utf16Data`, Windows-1252 otherwise, each string ended by
// a zero. Refused (`note` set) for other types and for text the form cannot
// hold.
struct DecodedWrite {
    ApplyValues values;  // value (and hexData) only
    QString note;
};
DecodedWrite decodedValueOf(const QString& text, std::string_view encoded, std::string_view current,
                            std::int16_t quoteState, bool utf16Data, const QString& file);
// What the user is told when a value of Wine's file cannot take the text:
// it is a multi string or hex value, or a dword value got no eight hex digits.
QString wineValueNote(const QString& file);
// What the user is asked before a value of Wine's file is written while a
// wineserver runs for its prefix (platform/wineserver.h).
QString wineRunningQuestion();

// What the user is told when the box holds a character that the file's
// 8-bit code page (Windows-1252) lacks: nothing is written then.
QString unencodableValueNote(const QString& file);

}  // namespace keyloom
