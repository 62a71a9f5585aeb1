#pragma once
// The two 8-bit encodings the editor shows and writes: UTF-8 for files that
// start with its byte-order mark or hold valid UTF-8 beyond ASCII,
// Windows-1252 (the code page Windows programs read these files in) for every
// other file, plain ASCII included.

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace keyloom {

enum class TextCodec { Utf8, Windows1252 };

enum class Utf8Scan { Ascii, Utf8, Invalid };
// Ascii when no byte of `bytes` is above 0x7F; Utf8 when they are
// well-formed UTF-8 beyond that; Invalid otherwise.
Utf8Scan scanUtf8(std::string_view bytes);
// True when `bytes` is well-formed UTF-8 (plain ASCII included).
inline bool isValidUtf8(std::string_view bytes) { return scanUtf8(bytes) != Utf8Scan::Invalid; }

// Windows-1252 byte for a UTF-16 code unit; '?' when the code page lacks it.
char toWindows1252(char16_t unit);
// UTF-16 code unit for a Windows-1252 byte. The five bytes the code page
// leaves undefined map to the C1 controls of the same value, so every byte
// survives the round trip.
char16_t fromWindows1252(unsigned char byte);

// True when every character of `text` has bytes in `codec`: always for
// UTF-8, for Windows-1252 only the characters of its code page.
bool canEncode(const QString& text, TextCodec codec);

// The bytes of `text` in `codec`; none when the codec lacks one of its
// characters, which is never replaced by "?".
std::optional<std::string> encodeForCodec(const QString& text, TextCodec codec);

// Text for display; bytes back from the user's text, in the file's encoding.
QString decodeText(std::string_view bytes, TextCodec codec);
std::string encodeText(const QString& text, TextCodec codec);

}  // namespace keyloom
