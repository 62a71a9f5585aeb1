#pragma once
// Reading and writing one key of one section of an INI-style file.
//
// Section and key names match without regard to letter case (non-ASCII
// letters included) and to blanks around them; only the first occurrence of a
// section, and the first occurrence of a key in it, counts. Keys above the
// first header belong to the section "". Texts are bytes in the encoding the
// line reader delivers for the file (platform/lines.h).

#include <QString>
#include <cstdint>
#include <string_view>

namespace keyloom {

// Places the value of `key` in `section` of `file` into `buffer`, cut to
// size - 1 bytes and always followed by a NUL when size > 0; `def` stands in
// when the file, the section or the key is missing. Returns the count of
// bytes placed, without the NUL. The value is trimmed of blanks, loses one
// pair of enclosing quotes and ends at a NUL byte in the file.
std::int64_t GetPrivateProfileStringA(std::string_view section, std::string_view key, std::string_view def,
                                      char* buffer, std::int64_t size, const QString& file);

// Sets `key` in `section` of `file` to `value` and returns true when the value
// reached the file. Only the key's line changes (or one line, or a header and
// a line, are added); every other byte, the encoding and the permissions stay,
// and the file is replaced atomically, or left untouched when nothing would
// change. Refuses line breaks in any of the three texts, a NUL in the names,
// an empty key, and a new line that would not read back as that key.
bool WritePrivateProfileStringA(std::string_view section, std::string_view key, std::string_view value,
                                const QString& file);

}  // namespace keyloom
