#pragma once
// The two 8-bit encodings the editor shows and writes: UTF-8 for files whose
// text is valid UTF-8, Windows-1252 for every other file.

#include <QString>
#include <string>
#include <string_view>

namespace keyloom {

enum class TextCodec { Utf8, Windows1252 };

// True when `bytes` is well-formed UTF-8 (plain ASCII included).
bool isValidUtf8(std::string_view bytes);

// Windows-1252 byte for a UTF-16 code unit; '?' when the code page lacks it.
char toWindows1252(char16_t unit);
// UTF-16 code unit for a Windows-1252 byte. The five bytes the code page
// leaves undefined map to the C1 controls of the same value, so every byte
// survives the round trip.
char16_t fromWindows1252(unsigned char byte);

// Text for display; bytes back from the user's text, in the file's encoding.
QString decodeText(std::string_view bytes, TextCodec codec);
std::string encodeText(const QString& text, TextCodec codec);

}  // namespace keyloom
