#pragma once
// UTF-16 file bytes for tests of both the core and the window.

#include <string>
#include <string_view>

namespace keyloom::test {

// `text` as the bytes of a UTF-16 file, little-endian unless told otherwise,
// with its byte-order mark first.
inline std::string utf16(std::u16string_view text, bool littleEndian = true)
{
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    bytes.reserve(2 + 2 * text.size());
    for (const char16_t u : text) {
        const char low = static_cast<char>(u & 0xFF);
        const char high = static_cast<char>(u >> 8);
        bytes.push_back(littleEndian ? low : high);
        bytes.push_back(littleEndian ? high : low);
    }
    return bytes;
}

inline std::string utf16le(std::u16string_view text) { return utf16(text, true); }
inline std::string utf16be(std::u16string_view text) { return utf16(text, false); }

}  // namespace keyloom::test
