#pragma once
// The line rules of Wine's own registry files (system.reg, user.reg,
// userdef.reg in a Wine prefix). The file is ASCII: key paths, value names
// and strings carry every other character as an escape, "\\" a backslash,
// "\"" a quote, "\n" and its kin, octal "\0".."\377", and "\xN".."\xNNNN" a
// UTF-16 code unit (surrogate pairs as two). The editor shows and compares
// these names decoded, in UTF-8; only a written value is encoded again, and
// every other byte of its line stays as Wine wrote it.

#include <QString>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace keyloom {

// "WINE REGISTRY Version 2": the first line of every such file.
bool isWineRegistryFirstLine(std::string_view line);

// Appends the text of the escaped `escaped` (the bytes between the quotes or
// brackets) to `out` in UTF-8. A surrogate without its partner becomes
// U+FFFD; an escape that names no character ("\q") stands for the character
// after the backslash.
void decodeWineText(std::string_view escaped, std::string& out);
std::string decodeWineText(std::string_view escaped);
// decodeWineText(escaped) == text, mostly without decoding: a path that
// differs from `text` is told apart at its first different key name.
// `buffer` holds a decoding where one is needed.
bool wineTextIs(std::string_view escaped, std::string_view text, std::string& buffer);

// The UTF-16 text `text` escaped as Wine writes a quoted string: "\\" and
// "\"", C escapes for control characters that have one and octal for the
// rest, "\x" and the unit in hex for every unit beyond ASCII (four digits
// when a hex digit follows, so that the escape ends where it should).
std::string encodeWineText(std::u16string_view text);

// The key path of a header line "[Path\\To\\Key] 1796704138" as it stands
// in the file (escapes kept), without brackets and time stamp; none for a
// line without an unescaped "]".
std::optional<std::string_view> wineKeyPathOf(std::string_view line);
// The same path decoded into `buffer`; none as for wineKeyPathOf.
std::optional<std::string_view> wineSectionNameOf(std::string_view line, std::string& buffer);

// A line of a key's block that names no value: the meta lines "#time=",
// "#class=", "#link" and the like.
inline bool isWineMetaLine(std::string_view line) { return !line.empty() && line.front() == '#'; }

// The value name part of a value line: `"Name"=` gives the escaped Name,
// `@=` gives "@"; `valueAt` is where the value begins. None for any other
// line.
struct WineName {
    std::string_view escaped;
    std::size_t valueAt = 0;
    bool isDefault = false;
};
std::optional<WineName> wineNameOf(std::string_view line);
// The value name as the key list shows it: decoded, "@" for the default value.
std::string shownWineName(const WineName& name);
// shownWineName(name) == text, as wineTextIs compares.
bool wineNameIs(const WineName& name, std::string_view text, std::string& buffer);

// How a value is written after its "=".
enum class WineForm {
    String,        // "text"
    ExpandString,  // str(2):"text"
    MultiString,   // str(7):"a\0b\0"
    Dword,         // dword:0000000a
    Hex,           // hex:.. or hex(N):..
    Other,
};
struct WineValue {
    WineForm form = WineForm::Other;
    // The escaped text between the quotes of a string form; empty otherwise.
    std::string_view escaped;
};
WineValue wineValueOf(std::string_view raw);
// The value box's text of `raw`: string forms decoded, every other form as
// written.
std::string shownWineValue(std::string_view raw);
// The value that replaces `old` when the box holds `text`: a string form
// again with the text encoded, a "dword:" value as typed when it is one
// (eight hex digits); none otherwise (multi strings and hex lists are
// edited only whole).
std::optional<std::string> wineValueFor(std::string_view old, std::u16string_view text);
// The decoded text of a string form as UTF-16 little-endian bytes, the data
// as Windows keeps it (multi strings keep their NULs).
std::string wineUtf16Bytes(std::string_view escaped);
// The value box's tooltip of `whole` (a value with its continuation lines
// joined): what describeRegistryValue says of the same data in a UTF-16
// export; empty for a plain string.
QString describeWineValue(std::string_view whole);

}  // namespace keyloom
