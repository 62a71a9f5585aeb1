#include "document/winereg.h"

#include "document/linerules.h"
#include "document/regvalue.h"

#include <algorithm>

namespace keyloom {

namespace {

constexpr auto npos = std::string_view::npos;

// The control characters that have a C escape, by their letter.
char16_t controlOf(char letter)
{
    switch (letter) {
    case 'a':
        return 7;
    case 'b':
        return 8;
    case 't':
        return 9;
    case 'n':
        return 10;
    case 'v':
        return 11;
    case 'f':
        return 12;
    case 'r':
        return 13;
    case 'e':
        return 27;
    default:
        return 0;
    }
}

// Reads up to `most` digits of base 8 or 16 from `text` at `i`.
char16_t readNumber(std::string_view text, std::size_t& i, int base, int most)
{
    unsigned value = 0;
    for (int n = 0; n < most && i < text.size(); ++n, ++i) {
        const int d = kHexDigitValue[static_cast<unsigned char>(text[i])];
        if (d < 0 || d >= base)
            break;
        value = value * unsigned(base) + unsigned(d);
    }
    return char16_t(value);
}

// Calls `unit` with each UTF-16 code unit that `escaped` stands for.
template <typename Unit>
void forEachUnit(std::string_view escaped, Unit unit)
{
    for (std::size_t i = 0; i < escaped.size();) {
        const char c = escaped[i++];
        if (c != '\\' || i == escaped.size()) {
            unit(char16_t(static_cast<unsigned char>(c)));
            continue;
        }
        const char e = escaped[i];
        if (e == 'x' && i + 1 < escaped.size() && kHexDigitValue[static_cast<unsigned char>(escaped[i + 1])] >= 0) {
            ++i;
            unit(readNumber(escaped, i, 16, 4));
        } else if (e >= '0' && e <= '7') {
            unit(readNumber(escaped, i, 8, 3));
        } else {
            const char16_t control = controlOf(e);
            unit(control != 0 ? control : char16_t(static_cast<unsigned char>(e)));
            ++i;
        }
    }
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

bool isHigh(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool isLow(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

// The end of a quoted text that starts at `from`: the first quote that no
// backslash escapes; npos for none.
std::size_t closingQuote(std::string_view line, std::size_t from)
{
    for (std::size_t i = from; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            return i;
    }
    return npos;
}

// The escaped text of `raw` when it is `head` followed by one quoted text
// and nothing else.
std::optional<std::string_view> quotedAfter(std::string_view raw, std::string_view head)
{
    if (raw.substr(0, head.size()) != head || raw.size() < head.size() + 2 || raw[head.size()] != '"')
        return std::nullopt;
    const std::size_t close = closingQuote(raw, head.size() + 1);
    if (close != raw.size() - 1)
        return std::nullopt;
    return raw.substr(head.size() + 1, close - head.size() - 1);
}

}  // namespace

bool isWineRegistryFirstLine(std::string_view line)
{
    // Line ends are left off by the reader; a stray CR is not.
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line == "WINE REGISTRY Version 2";
}

void decodeWineText(std::string_view escaped, std::string& out)
{
    // Most paths hold no escape beyond "\\": copied a run at a time.
    char16_t high = 0;  // a high surrogate waiting for its partner
    const auto unit = [&](char16_t u) {
        if (high != 0 && isLow(u)) {
            appendUtf8(out, 0x10000 + ((char32_t(high) - 0xD800) << 10) + (u - 0xDC00));
            high = 0;
            return;
        }
        if (high != 0)
            appendUtf8(out, 0xFFFD);
        high = 0;
        if (isHigh(u))
            high = u;
        else
            appendUtf8(out, isLow(u) ? 0xFFFD : u);
    };
    while (!escaped.empty()) {
        const std::size_t slash = escaped.find('\\');
        if (high == 0) {
            out.append(escaped.substr(0, slash));
        } else {
            for (const char c : escaped.substr(0, slash))
                unit(char16_t(static_cast<unsigned char>(c)));
        }
        if (slash == npos)
            break;
        // The doubled backslash between a path's keys is by far the most common.
        if (high == 0 && slash + 1 < escaped.size() && escaped[slash + 1] == '\\') {
            out += '\\';
            escaped.remove_prefix(slash + 2);
            continue;
        }
        // One escape at a time: its length is found by decoding it.
        std::size_t end = slash + 1;
        if (end < escaped.size()) {
            const char e = escaped[end++];
            if (e == 'x' || (e >= '0' && e <= '7')) {
                const int base = e == 'x' ? 16 : 8;
                const int most = e == 'x' ? 4 : 2;
                for (int n = 0; n < most && end < escaped.size(); ++n, ++end) {
                    const int d = kHexDigitValue[static_cast<unsigned char>(escaped[end])];
                    if (d < 0 || d >= base)
                        break;
                }
            }
        }
        forEachUnit(escaped.substr(slash, end - slash), unit);
        escaped.remove_prefix(end);
    }
    if (high != 0)
        appendUtf8(out, 0xFFFD);
}

std::string decodeWineText(std::string_view escaped)
{
    std::string out;
    out.reserve(escaped.size());
    decodeWineText(escaped, out);
    return out;
}

bool wineTextIs(std::string_view escaped, std::string_view text, std::string& buffer)
{
    std::size_t at = 0;  // of `text`, matched so far
    for (std::string_view rest = escaped; !rest.empty();) {
        const std::size_t slash = rest.find('\\');
        const std::string_view plain = rest.substr(0, slash);
        if (text.substr(at, plain.size()) != plain)
            return false;
        at += plain.size();
        if (slash == npos)
            break;
        if (slash + 1 < rest.size() && rest[slash + 1] == '\\') {
            if (text.substr(at, 1) != "\\")
                return false;
            ++at;
            rest.remove_prefix(slash + 2);
            continue;
        }
        // Any other escape: the whole text decoded.
        buffer.clear();
        decodeWineText(escaped, buffer);
        return buffer == text;
    }
    return at == text.size();
}

std::string encodeWineText(std::u16string_view text)
{
    static constexpr char kLetters[33] = ".......abtnvfr.............e....";
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        const char16_t next = i + 1 < text.size() ? text[i + 1] : char16_t(0);
        if (u > 127) {
            const bool hexFollows = i + 1 < text.size() && next < 128 && kHexDigitValue[next] >= 0;
            out += "\\x";
            bool started = hexFollows;
            for (int shift = 12; shift >= 0; shift -= 4) {
                const unsigned d = (u >> shift) & 0xF;
                started = started || d != 0 || shift == 0;
                if (started)
                    out += kHex[d];
            }
        } else if (u < 32 && kLetters[u] != '.') {
            out += '\\';
            out += kLetters[u];
        } else if (u < 32) {
            const bool octalFollows = i + 1 < text.size() && next >= '0' && next <= '7';
            // As few digits as the value needs, all three where a digit follows.
            out += '\\';
            if (octalFollows)
                out += '0';
            if (octalFollows || u >= 8)
                out += char('0' + (u >> 3));
            out += char('0' + (u & 7));
        } else {
            if (u == '\\' || u == '"')
                out += '\\';
            out += char(u);
        }
    }
    return out;
}

std::optional<std::string_view> wineKeyPathOf(std::string_view line)
{
    if (!isHeaderLine(line))
        return std::nullopt;
    // A "]" ends the path unless an odd run of backslashes stands before it.
    for (std::size_t from = 1;;) {
        const std::size_t close = line.find(']', from);
        if (close == npos)
            return std::nullopt;
        std::size_t backslashes = 0;
        while (close - backslashes > 1 && line[close - 1 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0)
            return line.substr(1, close - 1);
        from = close + 1;
    }
}

std::optional<std::string_view> wineSectionNameOf(std::string_view line, std::string& buffer)
{
    const std::optional<std::string_view> path = wineKeyPathOf(line);
    if (!path)
        return std::nullopt;
    buffer.clear();
    decodeWineText(*path, buffer);
    return std::string_view(buffer);
}

std::optional<WineName> wineNameOf(std::string_view line)
{
    if (line.substr(0, 2) == "@=")
        return WineName{"@", 2, true};
    if (line.empty() || line.front() != '"')
        return std::nullopt;
    const std::size_t close = closingQuote(line, 1);
    if (close == npos || line.substr(close + 1, 1) != "=")
        return std::nullopt;
    return WineName{line.substr(1, close - 1), close + 2, false};
}

std::string shownWineName(const WineName& name)
{
    return name.isDefault ? std::string("@") : decodeWineText(name.escaped);
}

bool wineNameIs(const WineName& name, std::string_view text, std::string& buffer)
{
    return name.isDefault ? text == "@" : wineTextIs(name.escaped, text, buffer);
}

WineValue wineValueOf(std::string_view raw)
{
    if (const auto text = quotedAfter(raw, ""))
        return {WineForm::String, *text};
    if (const auto text = quotedAfter(raw, "str(2):"))
        return {WineForm::ExpandString, *text};
    if (const auto text = quotedAfter(raw, "str(7):"))
        return {WineForm::MultiString, *text};
    if (dwordDigitsOf(raw))
        return {WineForm::Dword, {}};
    if (hexHeadOf(raw))
        return {WineForm::Hex, {}};
    return {};
}

std::string shownWineValue(std::string_view raw)
{
    const WineValue value = wineValueOf(raw);
    if (value.form == WineForm::String || value.form == WineForm::ExpandString)
        return decodeWineText(value.escaped);
    return std::string(raw);
}

std::optional<std::string> wineValueFor(std::string_view old, std::u16string_view text)
{
    switch (wineValueOf(old).form) {
    case WineForm::String:
        return '"' + encodeWineText(text) + '"';
    case WineForm::ExpandString:
        return "str(2):\"" + encodeWineText(text) + '"';
    case WineForm::Dword:
        // Written as typed, once it is a whole "dword:" value.
        if (text.size() == 14 && std::u16string_view(text).substr(0, 6) == u"dword:" &&
            std::all_of(text.begin() + 6, text.end(), [](char16_t c) { return c < 128 && kHexDigitValue[c] >= 0; }))
            return std::string(text.begin(), text.end());
        break;
    case WineForm::MultiString:
    case WineForm::Hex:
    case WineForm::Other:
        break;
    }
    return std::nullopt;
}

std::string wineUtf16Bytes(std::string_view escaped)
{
    std::string bytes;
    bytes.reserve(escaped.size() * 2);
    forEachUnit(escaped, [&](char16_t u) {
        bytes += char(u & 0xFF);
        bytes += char(u >> 8);
    });
    return bytes;
}

QString describeWineValue(std::string_view whole)
{
    const WineValue value = wineValueOf(whole);
    switch (value.form) {
    case WineForm::String:
        return {};
    case WineForm::ExpandString:
    case WineForm::MultiString: {
        std::string hex = value.form == WineForm::ExpandString ? "hex(2):" : "hex(7):";
        static constexpr char kHex[] = "0123456789abcdef";
        for (const char b : wineUtf16Bytes(value.escaped)) {
            hex += kHex[static_cast<unsigned char>(b) >> 4];
            hex += kHex[b & 0xF];
            hex += ',';
        }
        if (hex.back() == ',')
            hex.pop_back();
        return describeRegistryValue(hex, true);
    }
    case WineForm::Dword:
    case WineForm::Hex:
    case WineForm::Other:
        break;
    }
    return describeRegistryValue(whole, true);
}

}  // namespace keyloom
