#include "document/textmatch.h"

#include <QList>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keyloom {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;

// What QString compares of a character: itself, or with letter case ignored
// its case folding.
char32_t compared(char32_t c, Qt::CaseSensitivity cs) { return cs == Qt::CaseSensitive ? c : QChar::toCaseFolded(c); }

// Every code point whose case folding is another one: apart from a
// character and its folding, the only ones that can compare equal to it
// without regard to case. Made once, on first use.
const std::vector<char32_t>& foldedElsewhere()
{
    static const auto list = [] {
        std::vector<char32_t> found;
        for (char32_t c = 0; c <= kLastCodePoint; ++c) {
            if (QChar::toCaseFolded(c) != c)
                found.push_back(c);
        }
        return found;
    }();
    return list;
}

// The needle's characters, or nothing when it is empty or spans a line end,
// which no line holds.
std::vector<char32_t> charactersOf(const QString& needle)
{
    if (needle.isEmpty() || needle.contains(QLatin1Char('\r')) || needle.contains(QLatin1Char('\n')))
        return {};
    const QList<uint> ucs4 = needle.toUcs4();
    return std::vector<char32_t>(ucs4.begin(), ucs4.end());
}

// Windows-1252 bytes that show as each needle character.
std::vector<std::vector<unsigned char>> windows1252Bytes(const std::vector<char32_t>& needle, Qt::CaseSensitivity cs)
{
    std::vector<std::vector<unsigned char>> bytes(needle.size());
    for (int b = 0; b < 256; ++b) {
        const char32_t shown = compared(fromWindows1252(static_cast<unsigned char>(b)), cs);
        for (std::size_t i = 0; i < needle.size(); ++i) {
            if (compared(needle[i], cs) == shown)
                bytes[i].push_back(static_cast<unsigned char>(b));
        }
    }
    return bytes;
}

}  // namespace

bool textContains(std::string_view bytes, const QString& needle, TextCodec codec, Qt::CaseSensitivity cs)
{
    return decodeText(bytes, codec).contains(needle, cs);
}

NeedleFilter NeedleFilter::forText(const QString& needle, TextCodec codec, Qt::CaseSensitivity cs)
{
    const std::vector<char32_t> chars = charactersOf(needle);
    if (chars.empty())
        return {};
    std::vector<Char> forms(chars.size());
    if (codec == TextCodec::Windows1252) {
        const auto bytes = windows1252Bytes(chars, cs);
        for (std::size_t i = 0; i < chars.size(); ++i) {
            for (const unsigned char b : bytes[i])
                forms[i].forms.emplace_back(1, static_cast<char>(b));
        }
        return fromChars(forms);
    }
    // UTF-8: any code point may be the other case of a needle character
    // (the Kelvin sign is a "k"); bytes that are no UTF-8 show as U+FFFD.
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        std::vector<char32_t> same = {c, QChar::toCaseFolded(c)};
        if (cs == Qt::CaseInsensitive)
            same.insert(same.end(), foldedElsewhere().begin(), foldedElsewhere().end());
        for (const char32_t d : same) {
            if (compared(d, cs) == compared(c, cs))
                forms[i].forms.push_back(QString::fromUcs4(&d, 1).toUtf8().toStdString());
        }
        std::sort(forms[i].forms.begin(), forms[i].forms.end());
        forms[i].forms.erase(std::unique(forms[i].forms.begin(), forms[i].forms.end()), forms[i].forms.end());
        forms[i].wild = c == kReplacement;
    }
    return fromChars(forms);
}

NeedleFilter NeedleFilter::forUtf16(const QString& needle, Qt::CaseSensitivity cs)
{
    const std::vector<char32_t> chars = charactersOf(needle);
    if (chars.empty())
        return {};
    const auto bytes = windows1252Bytes(chars, cs);
    std::vector<Char> forms(chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i) {
        for (const unsigned char b : bytes[i]) {
            // Every character the code page lacks shows as "?".
            if (b == '?') {
                forms[i].wild = true;
                break;
            }
            const char16_t unit = fromWindows1252(b);
            forms[i].forms.push_back({static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
        }
    }
    return fromChars(forms);
}

NeedleFilter NeedleFilter::fromChars(const std::vector<Char>& chars)
{
    NeedleFilter filter;
    for (const Char& c : chars) {
        if (c.forms.empty() && !c.wild)
            return filter;  // never
    }
    filter.never_ = false;
    // The longest run of characters that each take a fixed number of bytes:
    // within it every hit has the same layout.
    auto fixedWidth = [](const Char& c) {
        return !c.wild && std::all_of(c.forms.begin(), c.forms.end(),
                                      [&](const std::string& f) { return f.size() == c.forms.front().size(); });
    };
    std::size_t bestBegin = 0, bestLength = 0;
    for (std::size_t begin = 0; begin < chars.size();) {
        std::size_t end = begin;
        while (end < chars.size() && fixedWidth(chars[end]))
            ++end;
        if (end - begin > bestLength) {
            bestBegin = begin;
            bestLength = end - begin;
        }
        begin = end + 1;
    }
    std::size_t offset = 0;
    for (std::size_t i = bestBegin; i < bestBegin + bestLength; ++i) {
        const std::size_t width = chars[i].forms.front().size();
        filter.pieces_.push_back({chars[i].forms, offset, width});
        offset += width;
    }
    filter.span_ = offset;
    if (filter.pieces_.empty())
        return filter;
    for (const std::string& form : filter.pieces_.front().forms) {
        const auto b = static_cast<unsigned char>(form.front());
        if (!filter.firstTable_[b])
            filter.firstBytes_.push_back(form.front());
        filter.firstTable_[b] = true;
    }
    for (const std::string& form : filter.pieces_.back().forms) {
        const auto b = static_cast<unsigned char>(form.front());
        if (!filter.lastTable_[b])
            filter.lastBytes_.push_back(form.front());
        filter.lastTable_[b] = true;
    }
    return filter;
}

bool NeedleFilter::matchesAt(std::string_view bytes, std::size_t at) const
{
    for (const Piece& piece : pieces_) {
        const char* here = bytes.data() + at + piece.offset;
        const bool any = std::any_of(piece.forms.begin(), piece.forms.end(), [&](const std::string& form) {
            return std::memcmp(here, form.data(), piece.width) == 0;
        });
        if (!any)
            return false;
    }
    return true;
}

std::size_t NeedleFilter::find(std::string_view bytes, std::size_t from) const
{
    if (never_)
        return npos;
    if (pieces_.empty())
        return from <= bytes.size() ? from : npos;
    if (bytes.size() < span_ || from > bytes.size() - span_)
        return npos;
    const std::size_t end = bytes.size() - span_ + 1;  // past the last start
    const std::size_t lastOffset = pieces_.back().offset;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t p = from;
#if defined(__SSE2__)
    // Sixteen starts at a time: the first byte of the first and of the last
    // piece must both fit before the whole needle is compared. A few
    // distinct bytes each (letter case) keep this to some compares.
    constexpr std::size_t kMaxSet = 4;
    if (firstBytes_.size() <= kMaxSet && lastBytes_.size() <= kMaxSet) {
        __m128i first[kMaxSet];
        __m128i last[kMaxSet];
        for (std::size_t i = 0; i < firstBytes_.size(); ++i)
            first[i] = _mm_set1_epi8(firstBytes_[i]);
        for (std::size_t i = 0; i < lastBytes_.size(); ++i)
            last[i] = _mm_set1_epi8(lastBytes_[i]);
        for (; p + 16 <= end; p += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + lastOffset));
            __m128i inFirst = _mm_cmpeq_epi8(a, first[0]);
            for (std::size_t i = 1; i < firstBytes_.size(); ++i)
                inFirst = _mm_or_si128(inFirst, _mm_cmpeq_epi8(a, first[i]));
            __m128i inLast = _mm_cmpeq_epi8(b, last[0]);
            for (std::size_t i = 1; i < lastBytes_.size(); ++i)
                inLast = _mm_or_si128(inLast, _mm_cmpeq_epi8(b, last[i]));
            auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(inFirst, inLast)));
            while (mask != 0) {
                const std::size_t at = p + static_cast<std::size_t>(__builtin_ctz(mask));
                if (matchesAt(bytes, at))
                    return at;
                mask &= mask - 1;
            }
        }
    }
#endif
    for (; p < end; ++p) {
        if (firstTable_[data[p]] && lastTable_[data[p + lastOffset]] && matchesAt(bytes, p))
            return p;
    }
    return npos;
}

}  // namespace keyloom
