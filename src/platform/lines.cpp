#include "platform/lines.h"

#include "platform/textcodec.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keyloom {

namespace {

// Units taken at a time when decoding UTF-16.
constexpr std::size_t kRun = 16;

// Copies kRun UTF-16 units from `in` to `out` as bytes when all of them are
// ASCII and returns true; otherwise returns false and writes nothing.
template <bool Little>
bool copyAsciiRun(const unsigned char* in, char* out)
{
#if defined(__SSE2__)
    if constexpr (Little) {
        // x86 is little-endian, so each 16-bit lane is one unit: none may
        // have a bit above 0x7F, and then packing them to bytes is exact.
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i beyond = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) != 0xFFFF)
            return false;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
        return true;
    }
#endif
    constexpr std::size_t low = Little ? 0 : 1;
    unsigned char lowBits = 0;
    unsigned char highBits = 0;
    for (std::size_t k = 0; k < kRun; ++k) {
        lowBits |= in[2 * k + low];
        highBits |= in[2 * k + 1 - low];
    }
    if (highBits != 0 || lowBits >= 0x80)
        return false;
    for (std::size_t k = 0; k < kRun; ++k)
        out[k] = static_cast<char>(in[2 * k + low]);
    return true;
}

}  // namespace

namespace {

// The storage of the last buffer given up on this thread, for the next one:
// the reads that follow one another (load, key listing, value lookup) then
// write into memory that is mapped already instead of faulting in fresh
// pages each time.
struct SpareStorage {
    std::unique_ptr<char[]> data;
    std::size_t capacity = 0;
};
thread_local SpareStorage spareStorage;
// Room for a read block behind a line in progress, so that one allocation
// does for most files.
std::size_t firstCapacity() { return 2 * ioBlock() + 64; }
std::size_t spareAtMost() { return 4 * firstCapacity(); }

}  // namespace

ByteBuffer::~ByteBuffer()
{
    if (data_ && capacity_ <= spareAtMost() && capacity_ > spareStorage.capacity) {
        spareStorage.data = std::move(data_);
        spareStorage.capacity = capacity_;
    }
}

void ByteBuffer::resize(std::size_t size)
{
    if (size > capacity_ && !data_ && spareStorage.capacity >= size) {
        data_ = std::move(spareStorage.data);
        capacity_ = spareStorage.capacity;
        spareStorage.capacity = 0;
    }
    if (size > capacity_) {
        const std::size_t capacity = std::max({size, 2 * capacity_, firstCapacity()});
        auto grown = std::make_unique_for_overwrite<char[]>(capacity);
        if (size_ > 0)
            std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = capacity;
    }
    size_ = size;
}

void ByteBuffer::append(std::string_view bytes)
{
    const std::size_t old = size_;
    resize(old + bytes.size());
    if (!bytes.empty())
        std::memcpy(data_.get() + old, bytes.data(), bytes.size());
}

void ByteBuffer::eraseFront(std::size_t count)
{
    if (count < size_)
        std::memmove(data_.get(), data_.get() + count, size_ - count);
    size_ -= std::min(count, size_);
}

LineReader::LineReader(const QString& path, std::size_t maxLine) : maxLine_(std::max(maxLine, kMinMaxLine))
{
    opened_ = file_.open(path);
    eof_ = !opened_;
}

LineReader::LineReader(FromMemory, std::string_view bytes, std::size_t maxLine)
    : memory_(bytes), fromMemory_(true), opened_(true), maxLine_(std::max(maxLine, kMinMaxLine))
{}

void LineReader::decodeUtf16(const char* data, std::size_t size)
{
    const bool little = encoding_ == Encoding::Utf16LE;
    auto unitAt = [&](unsigned char a, unsigned char b) {
        return little ? char16_t(a | (b << 8)) : char16_t((a << 8) | b);
    };
    // Every unit gives at most one byte (three in UTF-8, and a pair's first
    // unit left from the last call three more), so room for all of them is
    // made at once and the buffer cut to what was written at the end.
    std::size_t w = buffer_.size();
    buffer_.resize(w + (unicode_ ? 3 : 1) * ((size + 1) / 2) + (unicode_ ? 4 : 0));
    char* out = buffer_.data();
    auto put = [&](char16_t unit) {
        if (unicode_) {
            w = putUtf8(unit, w);
            return;
        }
        // A surrogate pair is one character the code page lacks: one '?'.
        if (unit >= 0xDC00 && unit <= 0xDFFF && pendingHighSurrogate_) {
            pendingHighSurrogate_ = false;
            shift(base_ + std::int64_t(w), 1);
            return;
        }
        pendingHighSurrogate_ = unit >= 0xD800 && unit <= 0xDBFF;
        const char byte = toWindows1252(unit);
        if (byte == '?' && unit != u'?') [[unlikely]]
            unmappedAt_.push_back(dropped_ + w);
        out[w++] = byte;
    };
    std::size_t i = 0;
    if (!pendingByte_.empty() && size > 0) {
        put(unitAt(static_cast<unsigned char>(pendingByte_[0]), static_cast<unsigned char>(data[0])));
        pendingByte_.clear();
        i = 1;
    }
    // Runs of sixteen units: almost all are ASCII throughout and are copied
    // in one go; the others go unit by unit.
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    while (i + 1 < size) {
        const std::size_t n = std::min(kRun, (size - i) / 2);
        const bool ascii = n == kRun && !highSurrogate_ &&
                           (little ? copyAsciiRun<true>(in + i, out + w) : copyAsciiRun<false>(in + i, out + w));
        if (ascii) {
            w += n;
            pendingHighSurrogate_ = false;  // an ASCII unit ends any pair
        } else {
            for (std::size_t k = 0; k < n; ++k)
                put(unitAt(in[i + 2 * k], in[i + 2 * k + 1]));
        }
        i += 2 * n;
    }
    buffer_.resize(w);
    if (i < size)
        pendingByte_.assign(1, data[i]);
}

std::size_t LineReader::putUtf8(char16_t unit, std::size_t w)
{
    const bool second = unit >= 0xDC00 && unit <= 0xDFFF;
    char32_t c = unit;
    std::int64_t units = 1;
    if (highSurrogate_ && !second) {
        // A pair's first unit alone: a character nobody can show.
        highSurrogate_ = 0;
        w = putUtf8(0xFFFD, w);
        unmappedAt_.push_back(dropped_ + w - 3);
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        highSurrogate_ = unit;
        return w;
    }
    if (second && highSurrogate_) {
        c = 0x10000 + ((char32_t(highSurrogate_) - 0xD800) << 10) + (unit - 0xDC00);
        units = 2;
        highSurrogate_ = 0;
    } else if (second) {
        c = 0xFFFD;
        unmappedAt_.push_back(dropped_ + w);
    }
    char* out = buffer_.data();
    const std::size_t start = w;
    if (c < 0x80) {
        out[w++] = static_cast<char>(c);
    } else if (c < 0x800) {
        out[w++] = static_cast<char>(0xC0 | (c >> 6));
        out[w++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out[w++] = static_cast<char>(0xE0 | (c >> 12));
        out[w++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[w++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out[w++] = static_cast<char>(0xF0 | (c >> 18));
        out[w++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out[w++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[w++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    if (std::int64_t(w - start) != units)
        shift(base_ + std::int64_t(w), units - std::int64_t(w - start));
    return w;
}

void LineReader::shift(std::int64_t at, std::int64_t units)
{
    folds_.push_back({at, (folds_.empty() ? foldsBefore_ : folds_.back().units) + units});
}

void LineReader::detectEncoding()
{
    // Called once the buffer holds the file's first bytes (raw).
    encoding_ = encodingOfMark(std::string_view(buffer_.data(), std::min<std::size_t>(buffer_.size(), 3)));
    if (encoding_ == Encoding::Utf8Bom) {
        pos_ = scanFrom_ = 3;
    } else if (isUtf16(encoding_)) {
        const std::string raw(buffer_.data() + 2, buffer_.size() - 2);
        buffer_.clear();
        unicode_ = forcedUnicode_ ? *forcedUnicode_ : isUnicodeText(raw, encoding_);
        // An export's marker "ÿþ"; any other file drops its mark.
        if (encoding_ == Encoding::Utf16LE && !unicode_)
            buffer_.append("\xFF\xFE");
        decodeUtf16(raw.data(), raw.size());
    }
}

void LineReader::dropConsumed()
{
    if (pos_ > 0) {
        dropped_ += pos_;
        const auto gone = std::lower_bound(unmappedAt_.begin(), unmappedAt_.end(), dropped_);
        unmappedDropped_ += std::uint64_t(gone - unmappedAt_.begin());
        unmappedAt_.erase(unmappedAt_.begin(), gone);
        buffer_.eraseFront(pos_);
        base_ += std::int64_t(pos_);
        if (!folds_.empty() && folds_.front().at <= base_) {
            const auto passed = std::upper_bound(folds_.begin(), folds_.end(), base_,
                                                 [](std::int64_t at, const Fold& fold) { return at < fold.at; });
            foldsBefore_ = std::prev(passed)->units;
            folds_.erase(folds_.begin(), passed);
        }
        scanFrom_ -= pos_;
        if (crKnown_ && nextCr_ != kNone)
            nextCr_ -= pos_;
        if (lfKnown_ && nextLf_ != kNone)
            nextLf_ -= pos_;
        pos_ = 0;
    }
}

bool LineReader::readRaw()
{
    // A unit split by the last read begins the new bytes.
    raw_.resize(ioBlock() + 1);
    const std::size_t odd = pendingByte_.size();
    if (odd > 0)
        raw_[0] = pendingByte_[0];
    const std::int64_t n = file_.read(raw_.data() + odd, ioBlock());
    if (n <= 0) {
        failed_ = n < 0;
        eof_ = true;
        return false;
    }
    pendingByte_.clear();
    rawOffset_ = fileRead_ - std::int64_t(odd);
    fileRead_ += n;
    rawAt_ = 0;
    rawEnd_ = odd + std::size_t(n);
    return true;
}

void LineReader::decodeRaw()
{
    std::size_t n = rawEnd_ - rawAt_;
    if (rawChunk_ > 0 && rawChunk_ < n) {
        n = rawChunk_;
        rawChunk_ *= 2;
    } else {
        rawChunk_ = 0;
    }
    decodeUtf16(raw_.data() + rawAt_, n);
    rawAt_ += n;
}

bool LineReader::fill()
{
    if (eof_)
        return false;
    // Drop consumed bytes before appending, so the buffer holds one block
    // plus at most the line in progress.
    dropConsumed();
    // New bytes may hold a line end that the cache said was not there.
    if (nextCr_ == kNone)
        crKnown_ = false;
    if (nextLf_ == kNone)
        lfKnown_ = false;

    if (fromMemory_) {
        eof_ = true;
        buffer_.append(memory_);
    } else if (isUtf16(encoding_)) {
        if (rawAt_ < rawEnd_ || readRaw())
            decodeRaw();
    } else {
        const std::size_t old = buffer_.size();
        buffer_.resize(old + ioBlock());
        std::size_t have = 0;
        // Before the encoding is known, read at least the three bytes of the
        // longest byte-order mark.
        do {
            const std::int64_t n = file_.read(buffer_.data() + old + have, ioBlock() - have);
            if (n <= 0) {
                failed_ = n < 0;
                eof_ = true;
                break;
            }
            have += static_cast<std::size_t>(n);
            fileRead_ += n;
        } while (!started_ && have < 3);
        buffer_.resize(old + have);
    }
    if (eof_)
        file_.close();
    if (!started_) {
        started_ = true;
        detectEncoding();
    }
    return true;
}

bool LineReader::next(std::string_view& line)
{
    continuation_ = partial_;
    partial_ = false;
    for (;;) {
        const std::size_t size = buffer_.size();
        if (!crKnown_) {
            const void* p = std::memchr(buffer_.data() + scanFrom_, '\r', size - scanFrom_);
            nextCr_ = p ? std::size_t(static_cast<const char*>(p) - buffer_.data()) : kNone;
            crKnown_ = true;
        }
        if (!lfKnown_) {
            const void* p = std::memchr(buffer_.data() + scanFrom_, '\n', size - scanFrom_);
            nextLf_ = p ? std::size_t(static_cast<const char*>(p) - buffer_.data()) : kNone;
            lfKnown_ = true;
        }
        const std::size_t at = std::min(nextCr_, nextLf_);
        // A line longer than the bound goes out in pieces, so that memory
        // does not grow with it.
        if ((at == kNone || at - pos_ > maxLine_) && size - pos_ > maxLine_) {
            line = std::string_view(buffer_.data() + pos_, maxLine_);
            lineStart_ = pos_;
            ending_ = LineEnding::None;
            partial_ = true;
            pos_ += maxLine_;
            scanFrom_ = std::max(scanFrom_, pos_);
            return true;
        }
        if (at != kNone && !(at == nextCr_ && at + 1 == size && !eof_)) {
            std::size_t after = at + 1;
            if (at == nextLf_) {
                ending_ = LineEnding::Lf;
            } else if (nextLf_ == after) {
                ending_ = LineEnding::CrLf;
                ++after;
            } else {
                ending_ = LineEnding::Cr;
            }
            line = std::string_view(buffer_.data() + pos_, at - pos_);
            lineStart_ = pos_;
            pos_ = scanFrom_ = after;
            if (nextCr_ < after)
                crKnown_ = false;
            if (nextLf_ < after)
                lfKnown_ = false;
            return true;
        }
        // No complete line end yet (a CR at the very end may be the first
        // half of CR LF): read more, or deliver the unterminated last line.
        scanFrom_ = at != kNone ? at : size;
        if (eof_ || !fill()) {
            if (pos_ < buffer_.size()) {
                line = std::string_view(buffer_.data() + pos_, buffer_.size() - pos_);
                lineStart_ = pos_;
                ending_ = LineEnding::None;
                pos_ = scanFrom_ = buffer_.size();
                return true;
            }
            return false;
        }
    }
}

namespace {

// The first byte in [p, end) that is `a` or `b`, or end.
const char* findEither(const char* p, const char* end, char a, char b)
{
#if defined(__SSE2__)
    const __m128i wantA = _mm_set1_epi8(a);
    const __m128i wantB = _mm_set1_epi8(b);
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB)));
        if (hits != 0)
            return p + __builtin_ctz(static_cast<unsigned>(hits));
    }
#endif
    for (; p != end; ++p) {
        if (*p == a || *p == b)
            return p;
    }
    return end;
}

}  // namespace

bool LineReader::nextStartingWith(std::string_view firsts, std::string_view& line, const Passed& passed)
{
    // Whether pos_ is where a line starts: not inside a long line's pieces.
    bool startHere = !partial_;
    for (;;) {
        const char* const base = buffer_.data();
        const char* const end = base + buffer_.size();
        const char* from = base + pos_;
        while (from != end) {
            const char* const hit =
                firsts.size() == 1 ? static_cast<const char*>(std::memchr(from, firsts[0], std::size_t(end - from)))
                                   : findEither(from, end, firsts[0], firsts[1]);
            if (hit == nullptr || hit == end)
                break;
            // A line starts after a line end; the byte before the buffer's
            // first one is gone, but startHere remembers what it was.
            const bool lineStart = hit == base + pos_ ? startHere : hit[-1] == '\n' || hit[-1] == '\r';
            if (lineStart) {
                if (passed && hit != base + pos_)
                    passed(std::string_view(base + pos_, std::size_t(hit - (base + pos_))));
                // A cached line end at or after the new start, or none in the
                // buffer, stays true: forgetting it would search a file with
                // only LF endings for a CR to the buffer's end at every hit.
                const std::size_t at = std::size_t(hit - base);
                const bool scanned = scanFrom_ <= at;
                crKnown_ = crKnown_ && scanned && (nextCr_ == kNone || nextCr_ >= at);
                lfKnown_ = lfKnown_ && scanned && (nextLf_ == kNone || nextLf_ >= at);
                pos_ = scanFrom_ = at;
                partial_ = false;
                return next(line);
            }
            from = hit + 1;
        }
        if (pos_ < buffer_.size()) {
            if (passed)
                passed(std::string_view(base + pos_, buffer_.size() - pos_));
            startHere = end[-1] == '\n' || end[-1] == '\r';
            pos_ = scanFrom_ = buffer_.size();
            crKnown_ = lfKnown_ = false;
        }
        partial_ = false;
        if (eof_ || !fill())
            return false;
    }
}

namespace {

bool isLineEndUnit(char16_t unit) { return unit == u'\r' || unit == u'\n'; }

// Raw bytes decoded at first after a pass over lines: a header line and a
// few lines after it, mostly.
constexpr std::size_t kPassChunk = 512;

}  // namespace

bool LineReader::nextStartingWithUndecoded(char first, std::string_view& line)
{
    if (!started_ || fromMemory_ || !isUtf16(encoding_))
        return nextStartingWith(std::string_view(&first, 1), line);
    // What follows the line found is decoded in small steps again: the
    // caller may pass over the lines after it too.
    rawChunk_ = kPassChunk;
    if (const std::size_t at = decodedLineStart(first); at != kNone) {
        pos_ = scanFrom_ = at;
        crKnown_ = lfKnown_ = false;
        partial_ = false;
        return next(line);
    }
    // The units just before the raw bytes tell whether a line starts with
    // the first of them: the end of what is decoded, or of the line last
    // returned; a pair's first unit still waiting is no line end.
    const std::size_t size = buffer_.size();
    const auto byteAt = [&](std::size_t i) { return char16_t(static_cast<unsigned char>(buffer_[i])); };
    char16_t before[2] = {0, 0};
    if (highSurrogate_ == 0 && size > pos_) {
        before[0] = byteAt(size - 1);
        before[1] = size - 1 > pos_ ? byteAt(size - 2) : 0;
    } else if (highSurrogate_ == 0 && !partial_ && ending_ != LineEnding::None) {
        before[0] = ending_ == LineEnding::Cr ? u'\r' : u'\n';
        before[1] = ending_ == LineEnding::CrLf ? u'\r' : 0;
    }
    pos_ = size;
    for (;;) {
        if (rawAt_ == rawEnd_ && (eof_ || !readRaw()))
            return false;
        if (const std::size_t at = rawLineStart(first, before); at != kNone) {
            restartAt(at);
            return next(line);
        }
    }
}

std::size_t LineReader::decodedLineStart(char first)
{
    const char* const data = buffer_.data();
    const std::size_t size = buffer_.size();
    for (std::size_t from = pos_; from < size;) {
        const void* hit = std::memchr(data + from, first, size - from);
        if (hit == nullptr)
            break;
        const std::size_t at = std::size_t(static_cast<const char*>(hit) - data);
        from = at + 1;
        if (at == pos_) {
            // Right after the line last returned, unless that was a piece.
            if (partial_)
                continue;
            endingBefore_ = ending_;
            return at;
        }
        if (data[at - 1] == '\r') {
            endingBefore_ = LineEnding::Cr;
            return at;
        }
        if (data[at - 1] == '\n') {
            // A LF right at pos_ ends a line of its own: a CR before it would
            // have ended the line last returned together with it.
            endingBefore_ = at - 1 > pos_ && data[at - 2] == '\r' ? LineEnding::CrLf : LineEnding::Lf;
            return at;
        }
    }
    return kNone;
}

std::size_t LineReader::rawLineStart(char first, char16_t (&before)[2])
{
    const bool little = encoding_ == Encoding::Utf16LE;
    const auto* raw = reinterpret_cast<const unsigned char*>(raw_.data());
    const std::size_t end = rawAt_ + (rawEnd_ - rawAt_) / 2 * 2;
    const auto unit = [&](std::size_t at) {
        return little ? char16_t(raw[at] | (raw[at + 1] << 8)) : char16_t((raw[at] << 8) | raw[at + 1]);
    };
    // The unit `back` units before the one at `at`, maybe before the block.
    const auto unitBefore = [&](std::size_t at, std::size_t back) {
        const std::size_t bytes = 2 * back;
        return at >= rawAt_ + bytes ? unit(at - bytes) : before[(bytes - (at - rawAt_)) / 2 - 1];
    };
    // The wanted byte is a unit's low byte: its first in UTF-16LE, its second in UTF-16BE.
    const std::size_t low = little ? 0 : 1;
    for (std::size_t from = rawAt_ + low; from < end;) {
        const void* hit = std::memchr(raw + from, first, end - from);
        if (hit == nullptr)
            break;
        const std::size_t at = std::size_t(static_cast<const unsigned char*>(hit) - raw) - low;
        from = at + low + 1;
        if ((at - rawAt_) % 2 != 0 || raw[at + 1 - low] != 0 || !isLineEndUnit(unitBefore(at, 1)))
            continue;
        endingBefore_ = unitBefore(at, 1) == u'\r'   ? LineEnding::Cr
                        : unitBefore(at, 2) == u'\r' ? LineEnding::CrLf
                                                     : LineEnding::Lf;
        return at;
    }
    const std::size_t units = (end - rawAt_) / 2;
    if (units > 0) {
        before[1] = units > 1 ? unit(end - 4) : before[0];
        before[0] = unit(end - 2);
    }
    if (end < rawEnd_)
        pendingByte_.assign(1, raw_[end]);
    rawAt_ = rawEnd_;
    return kNone;
}

void LineReader::restartAt(std::size_t at)
{
    pos_ = buffer_.size();
    dropConsumed();
    // The decoded bytes from here on map to the file from raw_[at] on.
    const std::int64_t marker = encoding_ == Encoding::Utf16LE && !unicode_ ? 2 : 0;
    folds_.clear();
    foldsBefore_ = (rawOffset_ + std::int64_t(at) - 2) / 2 - base_ + marker;
    highSurrogate_ = 0;
    pendingHighSurrogate_ = false;
    crKnown_ = lfKnown_ = false;
    scanFrom_ = 0;
    partial_ = false;
    rawAt_ = at;
}

std::int64_t LineReader::utf16Offset(std::int64_t decoded) const
{
    // Each decoded byte was one unit after the two-byte mark, but a '?' for a
    // surrogate pair was two, and a character of UTF-8 bytes as many units
    // as UTF-16 needs. The "\xFF\xFE" put before an UTF-16LE export's text
    // is the mark itself.
    const std::int64_t marker = encoding_ == Encoding::Utf16LE && !unicode_ ? 2 : 0;
    if (decoded < marker)
        return 0;
    const auto after = std::upper_bound(folds_.begin(), folds_.end(), decoded,
                                        [](std::int64_t at, const Fold& fold) { return at < fold.at; });
    const std::int64_t folded = after == folds_.begin() ? foldsBefore_ : std::prev(after)->units;
    return 2 + 2 * (decoded - marker + folded);
}

Encoding encodingOfMark(std::string_view head)
{
    if (head.substr(0, 3) == "\xEF\xBB\xBF")
        return Encoding::Utf8Bom;
    if (head.substr(0, 2) == "\xFF\xFE")
        return Encoding::Utf16LE;
    if (head.substr(0, 2) == "\xFE\xFF")
        return Encoding::Utf16BE;
    return Encoding::Bytes;
}

std::string_view firstLineText(std::string_view line, Encoding encoding)
{
    if (encoding == Encoding::Utf16LE && line.substr(0, 2) == "\xFF\xFE")
        line.remove_prefix(2);
    return line;
}

std::string_view byteOrderMark(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF";
    case Encoding::Utf16LE:
        return "\xFF\xFE";
    case Encoding::Utf16BE:
        return "\xFE\xFF";
    case Encoding::Bytes:
        break;
    }
    return {};
}

void appendEncoded(std::string& out, Encoding encoding, std::string_view text, bool unicodeText)
{
    if (!isUtf16(encoding)) {
        out.append(text);
        return;
    }
    const bool little = encoding == Encoding::Utf16LE;
    const auto append = [&](char16_t unit) {
        const char lo = static_cast<char>(unit & 0xFF);
        const char hi = static_cast<char>(unit >> 8);
        out.push_back(little ? lo : hi);
        out.push_back(little ? hi : lo);
    };
    if (unicodeText) {
        for (const QChar c : QString::fromUtf8(text.data(), qsizetype(text.size())))
            append(c.unicode());
        return;
    }
    for (const char c : text)
        append(fromWindows1252(static_cast<unsigned char>(c)));
}

bool isUnicodeText(std::string_view head, Encoding encoding)
{
    if (!isUtf16(encoding))
        return false;
    std::string windows;
    appendEncoded(windows, encoding, "Windows");
    return head.substr(0, windows.size()) != windows;
}

std::string_view endingBytes(LineEnding ending)
{
    return ending == LineEnding::Lf   ? std::string_view("\n")
           : ending == LineEnding::Cr ? std::string_view("\r")
                                      : std::string_view("\r\n");
}

void LineWriter::setEnding(LineEnding ending) { eol_ = endingBytes(ending); }

bool LineWriter::open(const QString& path, Encoding encoding, LineEnding ending)
{
    encoding_ = encoding;
    setEnding(ending);
    out_.clear();
    out_.reserve(ioBlock() + 4096);
    firstLine_ = true;
    ok_ = file_.open(path);
    if (!ok_)
        return false;
    out_ = byteOrderMark(encoding_);
    return true;
}

bool LineWriter::writeRaw(std::string_view bytes)
{
    if (!ok_)
        return false;
    if (firstLine_) {
        firstLine_ = false;
        bytes = firstLineText(bytes, encoding_);
    }
    appendEncoded(out_, encoding_, bytes);
    return out_.size() < ioBlock() || flush();
}

bool LineWriter::writeLine(std::string_view line)
{
    if (!writeRaw(line))
        return false;
    appendEncoded(out_, encoding_, eol_);
    return out_.size() < ioBlock() || flush();
}

bool LineWriter::flush()
{
    if (ok_ && !out_.empty())
        ok_ = file_.write(out_);
    out_.clear();
    return ok_;
}

bool LineWriter::close()
{
    if (!file_.isOpen())
        return false;
    flush();
    const bool closed = file_.close();
    ok_ = ok_ && closed;
    return ok_;
}

LineEnding writeEndingFor(LineEnding first) { return first == LineEnding::Lf ? LineEnding::Lf : LineEnding::CrLf; }

bool isUtf16File(const QString& path)
{
    InputFile file;
    char head[2];
    if (!file.open(path) || file.read(head, 2) != 2)
        return false;
    return isUtf16(encodingOfMark(std::string_view(head, 2)));
}

bool isUnicodeTextFile(const QString& path)
{
    InputFile file;
    char head[16];
    const std::int64_t n = file.open(path) ? file.read(head, sizeof head) : 0;
    const std::string_view bytes(head, std::size_t(std::max<std::int64_t>(n, 0)));
    return bytes.size() >= 2 && isUnicodeText(bytes.substr(2), encodingOfMark(bytes));
}

}  // namespace keyloom
