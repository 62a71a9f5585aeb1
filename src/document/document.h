#pragma once
// Reading a document: the section scan at load time, the key listing of one
// section, the value lookup in a registry export, and the quoting helpers that
// go with it. Every function reads the file afresh through LineReader, works
// on bytes, never throws and never changes the file.

#include "document/linerules.h"
#include "document/namelist.h"
#include "platform/textcodec.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom {

// Wine's own registry file when the first line of `path` is "WINE REGISTRY
// Version 2", whatever its name; otherwise a registry export when the last
// three characters of `path`, lower-cased, are "reg"; INI syntax for every
// other path.
FileKind fileKindOf(const QString& path);

struct LoadResult {
    // One entry per line that begins with "[": the line less its first and
    // last byte ("[Name] ; note" gives "Name] ; not"), in file order. A line
    // longer than the line reader's bound gives the entry of its first piece.
    NameList sections;
    // Some line began with the export marker FF FE "Windows".
    bool markerFound = false;
    // The file's REGEDIT4 text and what it cannot hold
    // (document/regedit4text.h); empty when there was no marker.
    std::string regedit4;
    std::uint64_t unconvertible = 0;
    std::uint64_t firstUnconvertibleLine = 0;  // 1-based; 0 for none
    std::uint64_t damagedLine = 0;             // 1-based; 0 for none
    // Utf8 only for a file with the UTF-8 mark or valid UTF-8 beyond ASCII.
    TextCodec codec = TextCodec::Utf8;
    bool opened = false;
    // A read failed part-way: the result holds what was read before it, and
    // nothing built from it may be written anywhere.
    bool failed = false;
};

// Scans `path` once, in one pass: the section names, the encoding decision
// (document/codecdecision.h) and the REGEDIT4 text. A file that cannot be
// opened gives an empty result with opened == false.
LoadResult loadFile(const QString& path);

// What the user is told when `file` could not be read to its end.
QString readFailedNote(const QString& file);
// What the user is told when the REGEDIT4 text of `file` holds `count`
// characters (the first in file line `firstLine`) that the 8-bit text
// cannot hold, so that neither the conversion nor an apply writes it.
QString unconvertibleNote(const QString& file, std::uint64_t count, std::uint64_t firstLine);

// Why the REGEDIT4 text of `loaded` (from `file`) must not be written, for
// the user: a failed read, a damaged export, characters REGEDIT4 cannot
// hold. Empty when it may be written.
QString regedit4Refusal(const LoadResult& loaded, const QString& file);
// True for a whole UTF-16 export whose REGEDIT4 text cannot hold some of its
// characters: its values are written in place, in UTF-16, instead.
bool writesInPlace(const LoadResult& loaded);
// What the user is told once an apply wrote into such a file.
QString inPlaceNote(const QString& file);

struct KeyListing {
    std::vector<std::string> keys;  // entries in file order
    bool sectionFound = false;      // some header line was exactly the section's
    // The listing stopped: the file could not be opened or read, a key line had
    // no "=", or a registry name part was shorter than two bytes and did not
    // begin with "@". `keys` holds what was listed before.
    bool failed = false;
    // Of those, the file could not be opened or a read failed: the list may
    // lack keys the file holds.
    bool readFailed = false;
};

// Lists the keys of every occurrence of the section whose header line is
// exactly "[" + section + "]", reading `path` to its end. A name part longer
// than the line reader's bound is listed cut to it.
KeyListing listKeys(const QString& path, std::string_view section, FileKind kind);

// Hands the line of `path` that starts at byte `offset` to `sink`, piece by
// piece as the line reader delivers it (`last` with its last piece), so that
// memory stays flat however long the line is. False when no line starts
// there or a read failed.
bool readLineAt(const QString& path, std::int64_t offset,
                const std::function<void(std::string_view piece, bool last)>& sink);

// What a registry value lookup did to the value box, in the order it did it.
struct RegistryLookup {
    bool failed = false;      // open or read failure, or a lone quote that unQuote refused
    bool readFailed = false;  // of those, the open or a read failed
    bool found = false;       // some line matched: text and quoteState are the last successful match
    std::string text;
    std::int16_t quoteState = 0;
    // The matching line was longer than the line reader's bound: `text` is
    // its beginning only, and the box is disabled so that the cut value
    // cannot be written back.
    bool cut = false;
    // The matching line holds characters that the 8-bit text of a UTF-16
    // export shows as "?": the box is disabled too, so that an apply cannot
    // write them back as "?".
    bool lossy = false;
    bool examined = false;  // some line of the section was examined: enabled is valid
    bool enabled = true;    // false when the box's text began with "hex", or was cut, after the last examined line
    // `text` with the continuation lines of a hex value joined to it (each
    // "\" at a line's end and the next line's leading blanks removed); the
    // same as `text` for every other value.
    std::string whole;
    // The file's hex(1), hex(2) and hex(7) data are UTF-16 code units: it is
    // a UTF-16 file. An importer reads those of an 8-bit file as
    // Windows-1252 bytes, whatever its first line says.
    bool utf16Data = false;
    // The file is UTF-16 text that is no export: the lines, and `text`, are
    // UTF-8, every character as it is.
    bool unicodeText = false;
    // Where the line of the last match starts in the file, and where its
    // ending starts; -1 for none.
    std::int64_t lineOffset = -1;
    std::int64_t lineEnd = -1;
    // Some header line opened the section.
    bool sectionFound = false;
};

// Looks `entry` up in every occurrence of `section` of the registry export
// `path`. `currentText` is the box's text before the lookup; it decides the
// enabled state for lines examined before the first match. On failure the
// result still holds what happened up to the failing line.
RegistryLookup lookupRegistryValue(const QString& path, std::string_view section, std::string_view entry,
                                   std::string_view currentText);

// Looks `entry` up in every occurrence of `section` of Wine's registry file
// `path`, both decoded (UTF-8): `text` is a string form's text decoded and
// every other value as written; `enabled` only for a string or dword value
// that the box can hold and write back unchanged; `whole` the value as
// written with its continuation lines joined.
RegistryLookup lookupWineValue(const QString& path, std::string_view section, std::string_view entry);

// One value that lookupRegistryValues looks for: `entry` in every occurrence
// of `section`, with `currentText` as for lookupRegistryValue; without an
// entry only whether the section is there (sectionFound).
struct RegistryTarget {
    std::string_view section;
    std::optional<std::string_view> entry;
    std::string_view currentText = {};
};

// Looks every target up in one pass over `path`, an export (`kind`
// Registry) or Wine's file (WineRegistry), in the targets' order: each
// result is the one lookupRegistryValue or lookupWineValue gives for that
// target alone (the last match of the name, read from the first line of it
// in each occurrence of the section). Memory holds one value per target,
// however large the file.
std::vector<RegistryLookup> lookupRegistryValues(const QString& path, FileKind kind,
                                                 const std::vector<RegistryTarget>& targets);

// What the value box shows after a key was chosen, in the order the lookup
// sets it; an empty field leaves that part of the window as it is.
struct ValueView {
    std::optional<std::int16_t> quoteState;
    std::optional<std::string> text;
    // `text` is UTF-8, not in the file's codec: a UTF-16 export's value that
    // the code page cannot show.
    bool utf8 = false;
    std::optional<bool> enabled;
    // What the value holds, for the box's tooltip (describeRegistryValue);
    // empty for a value shown as it is.
    std::optional<QString> toolTip;
    // The lookup stopped at a failure: the apply button keeps its state.
    bool failed = false;
    // The file could not be opened or read to where the value is.
    bool readFailed = false;
};

// The codec of `view.text` in a file of `codec`.
inline TextCodec shownCodec(const ValueView& view, TextCodec codec) { return view.utf8 ? TextCodec::Utf8 : codec; }

// The value box's tooltip for an INI value longer than the box can hold,
// shown disabled so that no apply cuts it.
QString longValueNote();

// Looks `key` up the way the file's kind reads values: an INI or INF file
// through the profile read of the section `label` (Label1's caption), a
// registry export from the key's line in every occurrence of `section`
// (List1's entry). `currentText` is the box's text before the lookup.
ValueView lookUpValue(FileKind kind, const QString& file, std::string_view section, std::string_view label,
                      std::string_view key, std::string_view currentText);

}  // namespace keyloom
