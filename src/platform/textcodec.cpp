#include "platform/textcodec.h"

#include <cstdint>
#include <cstring>

namespace keyloom {

namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kHighRow[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

Utf8Scan scanUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    Utf8Scan found = Utf8Scan::Ascii;
    while (p < end) {
        // ASCII runs dominate configuration files: test eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        std::uint32_t min;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, cp = c & 0x07;
        } else {
            return Utf8Scan::Invalid;
        }
        if (end - p <= extra)
            return Utf8Scan::Invalid;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return Utf8Scan::Invalid;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return Utf8Scan::Invalid;
        p += extra + 1;
        found = Utf8Scan::Utf8;
    }
    return found;
}

char toWindows1252(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i) {
        if (kHighRow[i] == unit)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

char16_t fromWindows1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHighRow[byte - 0x80] : char16_t(byte);
}

QString decodeText(std::string_view bytes, TextCodec codec)
{
    if (codec == TextCodec::Utf8)
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = QChar(fromWindows1252(static_cast<unsigned char>(bytes[i])));
    return text;
}

bool canEncode(const QString& text, TextCodec codec)
{
    if (codec == TextCodec::Utf8)
        return true;
    for (const QChar c : text) {
        if (toWindows1252(c.unicode()) == '?' && c != QLatin1Char('?'))
            return false;
    }
    return true;
}

std::string encodeText(const QString& text, TextCodec codec)
{
    if (codec == TextCodec::Utf8)
        return text.toStdString();
    std::string bytes(static_cast<std::size_t>(text.size()), '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[static_cast<std::size_t>(i)] = toWindows1252(text.at(i).unicode());
    return bytes;
}

std::optional<std::string> encodeForCodec(const QString& text, TextCodec codec)
{
    if (!canEncode(text, codec))
        return std::nullopt;
    return encodeText(text, codec);
}

}  // namespace keyloom
