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

// Every code point that compares equal to `c`: itself, and with letter case
// ignored any code point that may be its other case (the Kelvin sign is a
// "k"). Sorted.
std::vector<char32_t> equalTo(char32_t c, Qt::CaseSensitivity cs)
{
    std::vector<char32_t> same = {c, QChar::toCaseFolded(c)};
    if (cs == Qt::CaseInsensitive)
        same.insert(same.end(), foldedElsewhere().begin(), foldedElsewhere().end());
    std::vector<char32_t> equal;
    for (const char32_t d : same) {
        if (compared(d, cs) == compared(c, cs))
            equal.push_back(d);
    }
    std::sort(equal.begin(), equal.end());
    equal.erase(std::unique(equal.begin(), equal.end()), equal.end());
    return equal;
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

#if defined(__SSE2__)
// Sets of a few bytes, each marking the bytes of sixteen that it holds.
struct OneByte {
    explicit OneByte(const std::string& set) : byte(_mm_set1_epi8(set[0])) {}
    __m128i operator()(__m128i v) const { return _mm_cmpeq_epi8(v, byte); }
    __m128i byte;
};
// A letter in both cases, two bytes apart by 0x20 alone: one compare.
struct CasePair {
    static bool fits(const std::string& set) { return set.size() == 2 && (set[0] ^ set[1]) == 0x20; }
    explicit CasePair(const std::string& set) : bit(_mm_set1_epi8(0x20)), lower(_mm_set1_epi8(char(set[0] | 0x20))) {}
    __m128i operator()(__m128i v) const { return _mm_cmpeq_epi8(_mm_or_si128(v, bit), lower); }
    __m128i bit;
    __m128i lower;
};
struct AnyByte {
    explicit AnyByte(const std::string& set) : count(set.size())
    {
        for (std::size_t i = 0; i < count; ++i)
            bytes[i] = _mm_set1_epi8(set[i]);
    }
    __m128i operator()(__m128i v) const
    {
        __m128i in = _mm_cmpeq_epi8(v, bytes[0]);
        for (std::size_t i = 1; i < count; ++i)
            in = _mm_or_si128(in, _mm_cmpeq_epi8(v, bytes[i]));
        return in;
    }
    std::size_t count;
    __m128i bytes[4];
};

// Sixteen starts at a time from `p` up to `end`: the first byte of the
// first and of the last piece (`lastOffset` further) must both fit before
// `matches` compares the whole needle. The match, or npos with where the
// bytes left to test begin.
template <typename InFirst, typename InLast, typename Matches>
std::pair<std::size_t, std::size_t> findSixteen(const unsigned char* data, std::size_t p, std::size_t end,
                                                std::size_t lastOffset, const InFirst& inFirst, const InLast& inLast,
                                                const Matches& matches)
{
    for (; p + 16 <= end; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + lastOffset));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(inFirst(a), inLast(b))));
        for (; mask != 0; mask &= mask - 1) {
            const std::size_t at = p + static_cast<std::size_t>(__builtin_ctz(mask));
            if (matches(at))
                return {at, at};
        }
    }
    return {std::string_view::npos, p};
}
#endif

}  // namespace

bool textContains(std::string_view bytes, const QString& needle, TextCodec codec, Qt::CaseSensitivity cs)
{
    // ASCII on both sides, the common case, is the same characters in every
    // code page, and QString's case folding of them is ASCII's: no decoding.
    const auto asciiByte = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
    const bool ascii = !needle.isEmpty() && std::all_of(bytes.begin(), bytes.end(), asciiByte) &&
                       std::all_of(needle.begin(), needle.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii)
        return decodeText(bytes, codec).contains(needle, cs);
    const auto fold = [cs](char16_t c) { return cs == Qt::CaseSensitive || c < 'A' || c > 'Z' ? c : char16_t(c + 32); };
    const auto same = [&](char b, QChar n) { return fold(static_cast<unsigned char>(b)) == fold(n.unicode()); };
    return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end(), same) != bytes.end();
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
            // A UTF-16 file read in the code page shows "?" for a character
            // the code page lacks; the text the value box shows tells then.
            if (bytes[i].empty())
                forms[i].forms.emplace_back("?");
        }
        return fromChars(forms);
    }
    // UTF-8: bytes that are no UTF-8 show as U+FFFD.
    for (std::size_t i = 0; i < chars.size(); ++i) {
        for (const char32_t d : equalTo(chars[i], cs))
            forms[i].forms.push_back(QString::fromUcs4(&d, 1).toUtf8().toStdString());
        forms[i].wild = chars[i] == kReplacement;
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
        // A character the code page lacks, in a value that the box shows as
        // the file holds it.
        if (bytes[i].empty()) {
            for (const char32_t d : equalTo(chars[i], cs)) {
                std::string form;
                for (const char16_t unit : QString::fromUcs4(&d, 1).toStdU16String())
                    form += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
                forms[i].forms.push_back(std::move(form));
            }
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
    constexpr std::size_t kMaxSet = 4;
    if (firstBytes_.size() <= kMaxSet && lastBytes_.size() <= kMaxSet) {
        const auto at = [&](std::size_t start) { return matchesAt(bytes, start); };
        // The common sets get their own loops: the loop runs over every byte.
        const auto scan = [&](auto inFirst) {
            if (lastBytes_.size() == 1)
                return findSixteen(data, p, end, lastOffset, inFirst, OneByte(lastBytes_), at);
            if (CasePair::fits(lastBytes_))
                return findSixteen(data, p, end, lastOffset, inFirst, CasePair(lastBytes_), at);
            return findSixteen(data, p, end, lastOffset, inFirst, AnyByte(lastBytes_), at);
        };
        const std::pair<std::size_t, std::size_t> found = firstBytes_.size() == 1       ? scan(OneByte(firstBytes_))
                                                          : CasePair::fits(firstBytes_) ? scan(CasePair(firstBytes_))
                                                                                        : scan(AnyByte(firstBytes_));
        if (found.first != npos)
            return found.first;
        p = found.second;
    }
#endif
    for (; p < end; ++p) {
        if (firstTable_[data[p]] && lastTable_[data[p + lastOffset]] && matchesAt(bytes, p))
            return p;
    }
    return npos;
}

}  // namespace keyloom
