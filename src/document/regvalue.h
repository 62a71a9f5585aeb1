#pragma once
// The data of a registry value as an export writes it after the "=" of its
// line: "dword:" numbers and "hex:" / "hex(N):" byte lists, read back into
// bytes, written again in the wrapped form, and described for a person.
// Plain functions over bytes; nothing here reads a file.

#include "document/linerules.h"

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace keyloom {

// The number of a "dword:" value ("dword" in any letter case, one to eight
// hex digits); nothing for every other value.
std::optional<std::uint32_t> dwordOf(std::string_view value);

// The value of each hex digit, -1 for every other byte.
inline constexpr std::array<signed char, 256> kHexDigitValue = [] {
    std::array<signed char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                            : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                   : -1);
    return table;
}();

// Reads one byte of a hex list from `p` (before `end`): two hex digits, then
// the list's end, or a comma, blanks or tabs, and where the list is wrapped
// "\", CR LF and the next line's leading blanks and tabs, as importers read
// a list. Returns the byte with `p` at the next one, or -1 with `p` at what
// is not a byte (or at the end after a comma).
inline int readListByte(const char*& p, const char* end)
{
    const int high = kHexDigitValue[static_cast<unsigned char>(p[0])];
    const int low = end - p >= 2 ? kHexDigitValue[static_cast<unsigned char>(p[1])] : -1;
    if ((high | low) < 0)
        return -1;
    p += 2;
    if (p == end)
        return high << 4 | low;
    if (*p != ',')
        return -1;
    for (++p; p != end && (*p == ' ' || *p == '\t');)
        ++p;
    if (p == end)
        return -1;
    if (*p == '\\') {
        if (end - p < 3 || p[1] != '\r' || p[2] != '\n')
            return -1;
        for (p += 3; p != end && (*p == ' ' || *p == '\t');)
            ++p;
        if (p == end)
            return -1;
    }
    return high << 4 | low;
}

// Reads a byte list such as "25,00,41,00" (readListByte over all of it; the
// empty list has no bytes) into `bytes`. On a fault returns false with its
// offset in `faultAt`; `bytes` then holds the bytes before it.
bool parseHexList(std::string_view list, std::string& bytes, std::size_t* faultAt = nullptr);

// Appends `bytes` as the list of a value line that already holds `column`
// characters: two lower-case hex digits a byte, commas between them, and
// where one more byte could take the line past 80 columns, "\", CR LF and a
// new line two blanks in. Nothing follows the last byte.
void appendWrappedHexList(std::string& out, std::size_t column, std::string_view bytes);

// What a value holds, for a person: its type name and its data decoded.
// `value` is the text after the "=" with its continuation lines joined
// (each "\" at a line's end and the next line's leading blanks removed), as
// RegistryLookup::whole gives it. `utf16Data` says how the bytes of hex(1),
// hex(2) and hex(7) data are text: UTF-16LE code units (the UTF-16 export
// form) or one Windows-1252 byte a character (REGEDIT4).
//   dword:0000000a     "REG_DWORD: 10 (0x0000000a)"
//   hex(b):            "REG_QWORD: " and the 64-bit number, likewise
//   hex(1): / hex(2):  "REG_SZ: " / "REG_EXPAND_SZ: " and the text up to its first zero
//   hex(7):            "REG_MULTI_SZ:" and each string on a line of its own
//   hex: / hex(3):     "REG_BINARY: 4 Bytes"
//   other hex(N):      the type's name (or "hex(N)") and the byte count
// Data that cannot be read give the type name and "Daten nicht lesbar".
// Empty for every other value: a string is shown as it is.
QString describeRegistryValue(std::string_view value, bool utf16Data);

// The data of `value` (as for describeRegistryValue) as an importer stores
// them, in the form `keyloom set --decoded` takes back: a dword as a decimal
// number, the text of hex(1) and hex(2) up to its first zero, the strings of
// hex(7) one a line. None for other values and for data that cannot be read.
std::optional<QString> decodedRegistryValue(std::string_view value, bool utf16Data);

// What `keyloom get --decoded` prints of `value` (the whole text after
// "=", continuation lines joined): a string's text between its quotes
// without its escapes, the stored form decodedRegistryValue gives, else the
// description; `decode` makes text of the file's bytes.
QString decodedRegistryText(std::string_view value, bool utf16Data,
                            const std::function<QString(std::string_view)>& decode);

}  // namespace keyloom
