#include "platform/profile.h"

#include "platform/fileio.h"
#include "platform/lines.h"
#include "platform/textcodec.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace keyloom {

namespace {

constexpr std::size_t kBlock = kIoBlock;
constexpr auto npos = std::string_view::npos;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimLeft(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view trim(std::string_view s)
{
    s = trimLeft(s);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool isAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool asciiCaseEqual(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

// Names arrive in the file's own 8-bit encoding, which is UTF-8 when they are
// valid UTF-8 and Windows-1252 otherwise.
QString decodeName(std::string_view bytes)
{
    return decodeText(bytes, isValidUtf8(bytes) ? TextCodec::Utf8 : TextCodec::Windows1252);
}

// Compares names from the file with one wanted name, blanks around it ignored
// and letter case ignored, for umlauts too.
class NameMatcher {
public:
    explicit NameMatcher(std::string_view wanted) : wanted_(trim(wanted)), ascii_(isAscii(wanted_))
    {
        if (!ascii_)
            decoded_ = decodeName(wanted_);
    }
    bool empty() const { return wanted_.empty(); }
    // `name` must already be trimmed.
    bool matches(std::string_view name) const
    {
        if (asciiCaseEqual(name, wanted_))
            return true;
        // Beyond ASCII, letters need decoding to compare without case.
        if (ascii_ || isAscii(name))
            return false;
        return QString::compare(decodeName(name), decoded_, Qt::CaseInsensitive) == 0;
    }

private:
    std::string_view wanted_;
    bool ascii_;
    QString decoded_;
};

// One line of a profile file, as far as finding sections and keys goes.
struct ProfileLine {
    enum Kind { Other, Header, Key };
    Kind kind = Other;
    std::string_view name;   // trimmed
    std::string_view value;  // everything after the first '=', as it stands
};

ProfileLine parseLine(std::string_view line)
{
    const std::string_view body = trimLeft(line);
    if (body.empty() || body.front() == ';' || body.front() == '#')
        return {};
    if (body.front() == '[') {
        const std::size_t close = body.rfind(']');
        if (close != npos)
            return {ProfileLine::Header, trim(body.substr(1, close - 1)), {}};
    }
    const std::size_t eq = body.find('=');
    if (eq == npos)
        return {};
    return {ProfileLine::Key, trim(body.substr(0, eq)), body.substr(eq + 1)};
}

// Whether `line` can be a header: its first byte after blanks is '['. Where
// only headers matter, the other lines (most of a file) need no parsing.
bool mayBeHeader(std::string_view line)
{
    const std::string_view body = trimLeft(line);
    return !body.empty() && body.front() == '[';
}

// The value as a reader sees it: up to a NUL, trimmed, one pair of enclosing
// quotes of the same kind removed.
std::string_view readValue(std::string_view raw)
{
    raw = trim(raw.substr(0, raw.find('\0')));
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
    return raw;
}

std::string_view endingText(LineEnding ending)
{
    switch (ending) {
    case LineEnding::Lf:
        return "\n";
    case LineEnding::Cr:
        return "\r";
    default:
        return "\r\n";
    }
}

// The lines of a file together with where they lie on disk, so that a write
// can copy everything around a change byte for byte. `text` is the line as the
// line reader delivers it (without the byte-order mark), `raw` the same line
// as stored; both are valid until the next call. A line longer than the line
// reader's bound comes in pieces, as from the line reader.
struct RawLine {
    std::string_view raw;
    std::string_view text;
    std::int64_t offset = 0;  // of the line's first byte
    std::int64_t end = 0;     // just after the line's ending
    LineEnding ending = LineEnding::None;
    bool partial = false;       // more of this line follows
    bool continuation = false;  // this continues the previous piece's line
};

class RawLines {
public:
    // An empty path gives a reader without lines.
    explicit RawLines(const QString& path) : opened_(!path.isEmpty() && file_.open(path))
    {
        eof_ = !opened_;
        fill();
    }
    bool isOpen() const { return opened_; }
    bool failed() const { return failed_; }
    Encoding encoding() const { return encoding_; }
    std::int64_t markSize() const { return markSize_; }
    std::size_t unitSize() const { return unit_; }
    bool next(RawLine& line);

private:
    bool fill();
    char16_t unitAt(std::size_t i) const
    {
        const auto a = static_cast<unsigned char>(buffer_[i]);
        if (unit_ == 1)
            return a;
        const auto b = static_cast<unsigned char>(buffer_[i + 1]);
        return encoding_ == Encoding::Utf16LE ? char16_t(a | (b << 8)) : char16_t((a << 8) | b);
    }
    std::size_t findLineEnd(std::size_t from);
    std::size_t find(char c, std::size_t from) const;
    std::string_view textOf(std::string_view raw);

    InputFile file_;
    bool opened_;
    bool failed_ = false;
    bool eof_ = false;
    bool started_ = false;
    Encoding encoding_ = Encoding::Bytes;
    std::size_t unit_ = 1;
    std::int64_t markSize_ = 0;
    std::string buffer_;
    std::size_t pos_ = 0;    // start of the next line in buffer_
    std::size_t scan_ = 0;   // where the search for its end resumes
    std::int64_t base_ = 0;  // file offset of buffer_[0]
    std::string text_;       // decoded line of a UTF-16 file
    // Next CR and LF of 8-bit text at or after the last search, npos for
    // none in the buffer; valid while endsKnown_, that is until a fill.
    std::size_t nextCr_ = 0;
    std::size_t nextLf_ = 0;
    bool endsKnown_ = false;
};

bool RawLines::fill()
{
    if (eof_)
        return false;
    buffer_.erase(0, pos_);
    endsKnown_ = false;
    base_ += static_cast<std::int64_t>(pos_);
    scan_ -= pos_;
    pos_ = 0;
    do {
        const std::size_t old = buffer_.size();
        buffer_.resize(old + kBlock);
        const std::int64_t n = file_.read(buffer_.data() + old, kBlock);
        buffer_.resize(old + static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
        if (n <= 0) {
            failed_ = n < 0;
            eof_ = true;
            file_.close();
        }
        // The byte-order mark needs the first three bytes.
    } while (!started_ && !eof_ && buffer_.size() < 3);
    if (!started_) {
        started_ = true;
        const std::string_view head(buffer_.data(), std::min<std::size_t>(buffer_.size(), 3));
        if (head == "\xEF\xBB\xBF") {
            encoding_ = Encoding::Utf8Bom;
            markSize_ = 3;
        } else if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF") {
            encoding_ = head[0] == '\xFF' ? Encoding::Utf16LE : Encoding::Utf16BE;
            markSize_ = 2;
            unit_ = 2;
        }
        pos_ = scan_ = static_cast<std::size_t>(markSize_);
    }
    return true;
}

std::size_t RawLines::find(char c, std::size_t from) const
{
    const void* at = std::memchr(buffer_.data() + from, c, buffer_.size() - from);
    return at ? std::size_t(static_cast<const char*>(at) - buffer_.data()) : npos;
}

std::size_t RawLines::findLineEnd(std::size_t from)
{
    const std::size_t size = buffer_.size();
    if (unit_ == 1) {
        // memchr for each kind of line end, its find kept until it is passed:
        // a file with only one kind is not searched to the end of the buffer
        // for the other at every line.
        if (!endsKnown_ || (nextCr_ != npos && nextCr_ < from))
            nextCr_ = find('\r', from);
        if (!endsKnown_ || (nextLf_ != npos && nextLf_ < from))
            nextLf_ = find('\n', from);
        endsKnown_ = true;
        return std::min(nextCr_, nextLf_);
    }
    for (std::size_t i = from; i + 1 < size; i += 2) {
        const char16_t u = unitAt(i);
        if (u == u'\r' || u == u'\n')
            return i;
    }
    return npos;
}

std::string_view RawLines::textOf(std::string_view raw)
{
    if (unit_ == 1)
        return raw;
    // The same conversion as the line reader's: Windows-1252, a character the
    // code page lacks (a surrogate pair counting as one) becoming '?'.
    text_.clear();
    bool afterHigh = false;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
        const char16_t u = unitAt(static_cast<std::size_t>(raw.data() - buffer_.data()) + i);
        if (u >= 0xDC00 && u <= 0xDFFF && afterHigh) {
            afterHigh = false;
            continue;
        }
        afterHigh = u >= 0xD800 && u <= 0xDBFF;
        text_.push_back(toWindows1252(u));
    }
    return text_;
}

bool RawLines::next(RawLine& line)
{
    line.continuation = line.partial;
    line.partial = false;
    const std::size_t limit = LineReader::kMaxLine * unit_;
    for (;;) {
        const std::size_t at = findLineEnd(scan_);
        if ((at == npos || at - pos_ > limit) && buffer_.size() - pos_ > limit) {
            line.raw = std::string_view(buffer_.data() + pos_, limit);
            line.offset = base_ + static_cast<std::int64_t>(pos_);
            line.end = line.offset + static_cast<std::int64_t>(limit);
            line.ending = LineEnding::None;
            line.partial = true;
            line.text = textOf(line.raw);
            pos_ += limit;
            scan_ = std::max(scan_, pos_);
            return true;
        }
        if (at != npos) {
            std::size_t after = at + unit_;
            LineEnding ending = LineEnding::Lf;
            if (unitAt(at) == u'\r') {
                // A CR at the end of the buffer may be the first half of CR LF.
                if (after + unit_ > buffer_.size() && !eof_) {
                    scan_ = at;
                    fill();
                    continue;
                }
                ending = LineEnding::Cr;
                if (after + unit_ <= buffer_.size() && unitAt(after) == u'\n') {
                    ending = LineEnding::CrLf;
                    after += unit_;
                }
            }
            line.raw = std::string_view(buffer_.data() + pos_, at - pos_);
            line.offset = base_ + static_cast<std::int64_t>(pos_);
            line.end = base_ + static_cast<std::int64_t>(after);
            line.ending = ending;
            line.text = textOf(line.raw);
            pos_ = scan_ = after;
            return true;
        }
        // Resume at the first unit not yet looked at.
        scan_ = buffer_.size() - (buffer_.size() - pos_) % unit_;
        if (eof_) {
            if (pos_ >= buffer_.size())
                return false;
            line.raw = std::string_view(buffer_.data() + pos_, buffer_.size() - pos_);
            line.offset = base_ + static_cast<std::int64_t>(pos_);
            line.end = base_ + static_cast<std::int64_t>(buffer_.size());
            line.ending = LineEnding::None;
            line.text = textOf(line.raw);
            pos_ = scan_ = buffer_.size();
            return true;
        }
        fill();
    }
}

// Where the value of a key line starts: after the first '=' and the blanks
// that follow it. `unit` is 1 for 8-bit text, 2 for UTF-16 (either order:
// '=' and the blanks are ASCII, so one of the two bytes is zero).
std::size_t valueStart(std::string_view line, std::size_t unit, bool bigEndian)
{
    auto ascii = [&](std::size_t i) -> char {
        if (unit == 1)
            return line[i];
        const char lo = bigEndian ? line[i + 1] : line[i];
        const char hi = bigEndian ? line[i] : line[i + 1];
        return hi == '\0' ? lo : '\x80';
    };
    std::size_t i = 0;
    while (i + unit <= line.size() && ascii(i) != '=')
        i += unit;
    i += unit;
    while (i + unit <= line.size() && isBlank(ascii(i)))
        i += unit;
    return std::min(i, line.size());
}

bool beginsWithByteOrderMark(std::string_view bytes)
{
    return bytes.substr(0, 3) == "\xEF\xBB\xBF" || bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

// 8-bit text as the line reader delivers it, back in the file's encoding.
std::string encodeFor(Encoding encoding, std::string_view text)
{
    if (encoding != Encoding::Utf16LE && encoding != Encoding::Utf16BE)
        return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const char16_t unit = fromWindows1252(static_cast<unsigned char>(c));
        const char lo = static_cast<char>(unit & 0xFF);
        const char hi = static_cast<char>(unit >> 8);
        out.push_back(encoding == Encoding::Utf16LE ? lo : hi);
        out.push_back(encoding == Encoding::Utf16LE ? hi : lo);
    }
    return out;
}

// A write as one splice: the old file's first `keepUntil` bytes, then
// `insert`, then the old file from `resumeAt` on.
struct Splice {
    enum Status { Failed, Unchanged, Change };
    Status status = Failed;
    Encoding encoding = Encoding::Bytes;
    std::int64_t keepUntil = 0;
    std::int64_t resumeAt = 0;
    std::string insert;  // 8-bit text, encoded when written
};

// First pass: finds the line to change or the place for new lines. `path` is
// empty for a file that does not exist yet.
Splice planWrite(const QString& path, std::int64_t fileSize, std::string_view section, std::string_view key,
                 std::string_view value)
{
    Splice splice;
    RawLines lines(path);
    if (!path.isEmpty() && (!lines.isOpen() || lines.failed()))
        return splice;
    splice.encoding = lines.encoding();
    // A UTF-16 file cut in the middle of a character: anything appended would
    // be shifted by one byte.
    if ((fileSize - lines.markSize()) % static_cast<std::int64_t>(lines.unitSize()) != 0)
        return splice;

    const NameMatcher wantedSection(section);
    const NameMatcher wantedKey(key);
    const std::string_view newValue = trimLeft(value);
    bool inSection = wantedSection.empty();
    // Just after the section's last non-blank line, where a new key goes.
    std::int64_t insertAt = lines.markSize();
    bool insertNeedsEnding = false;
    std::int64_t fileEnd = lines.markSize();
    bool lastLineOpen = false;
    LineEnding firstEnding = LineEnding::None;
    std::int64_t linesEnded = 0;
    bool lineCounts = false;  // the line in progress moves insertAt
    RawLine line;
    while (lines.next(line)) {
        if (!line.partial && linesEnded++ == 0)
            firstEnding = line.ending;
        fileEnd = line.end;
        lastLineOpen = line.ending == LineEnding::None;
        // Of a line in pieces only the first is parsed, as the read does.
        if (line.continuation) {
            if (lineCounts) {
                insertAt = line.end;
                insertNeedsEnding = lastLineOpen;
            }
            continue;
        }
        lineCounts = false;
        if (!inSection && !mayBeHeader(line.text))
            continue;
        const ProfileLine parsed = parseLine(line.text);
        if (parsed.kind == ProfileLine::Header) {
            if (inSection)
                break;
            inSection = wantedSection.matches(parsed.name);
        } else if (!inSection || trim(line.text).empty()) {
            continue;
        } else if (parsed.kind == ProfileLine::Key && wantedKey.matches(parsed.name)) {
            if (!line.partial && line.text.substr(valueStart(line.text, 1, false)) == newValue) {
                splice.status = Splice::Unchanged;
                return splice;
            }
            splice.keepUntil =
                line.offset +
                static_cast<std::int64_t>(valueStart(line.raw, lines.unitSize(), splice.encoding == Encoding::Utf16BE));
            // The old value runs to the end of the line's last piece.
            while (line.partial && lines.next(line)) {
            }
            if (lines.failed())
                return splice;
            splice.status = Splice::Change;
            splice.resumeAt = line.offset + static_cast<std::int64_t>(line.raw.size());
            splice.insert = newValue;
            return splice;
        }
        if (inSection) {
            insertAt = line.end;
            insertNeedsEnding = line.ending == LineEnding::None;
            lineCounts = true;
        }
    }
    if (lines.failed())
        return splice;

    const std::string_view eol = endingText(firstEnding);
    const std::string keyLine = std::string(key) + "=" + std::string(newValue);
    // A key such as "a=b" or ";x" would be written but never found again.
    const ProfileLine parsedKey = parseLine(keyLine);
    if (parsedKey.kind != ProfileLine::Key || !wantedKey.matches(parsedKey.name))
        return splice;
    if (inSection) {
        splice.keepUntil = splice.resumeAt = insertAt;
        if (insertNeedsEnding)
            splice.insert.append(eol);
    } else {
        const std::string header = "[" + std::string(section) + "]";
        const ProfileLine parsedHeader = parseLine(header);
        if (parsedHeader.kind != ProfileLine::Header || !wantedSection.matches(parsedHeader.name))
            return splice;
        splice.keepUntil = splice.resumeAt = fileEnd;
        if (lastLineOpen)
            splice.insert.append(eol);
        splice.insert.append(header).append(eol);
    }
    splice.insert.append(keyLine).append(eol);
    // A key line first in a file without a byte-order mark must not begin
    // with the bytes of one: the file would read as another encoding.
    if (splice.keepUntil == 0 && beginsWithByteOrderMark(splice.insert))
        return splice;
    splice.status = Splice::Change;
    return splice;
}

// Moves up to `count` bytes (all that are left when count < 0) from `in` to
// `out`, or skips them when `out` is null. Returns the count moved, -1 on error.
std::int64_t pump(InputFile& in, QSaveFile* out, std::int64_t count, std::vector<char>& block)
{
    std::int64_t moved = 0;
    while (count < 0 || moved < count) {
        std::size_t want = block.size();
        if (count >= 0)
            want = static_cast<std::size_t>(std::min<std::int64_t>(count - moved, std::int64_t(want)));
        const std::int64_t n = in.read(block.data(), want);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        if (out && (fileFaultHit(FileOp::Write) || out->write(block.data(), n) != n))
            return -1;
        moved += n;
    }
    return moved;
}

struct FileState {
    bool exists = false;
    std::int64_t size = 0;
    QDateTime modified;
    bool operator==(const FileState&) const = default;
};

FileState stateOf(const QString& path)
{
    const QFileInfo info(path);
    return {info.exists(), info.size(), info.lastModified()};
}

// Second pass: writes the spliced file beside the old one and renames it over
// the old one (over a link's target, the link staying a link; permissions
// kept). On any failure the temporary file goes and the old file stays.
bool applyWrite(const QString& path, const FileState& before, const Splice& splice)
{
    // Unbuffered, so that a failing write shows in write()'s count: commit()
    // does not notice a failure of the final flush of a buffered write, and
    // would rename a cut file over the whole one.
    QSaveFile out(path);
    if (fileFaultHit(FileOp::OpenWrite) || !out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    InputFile in;
    if (before.exists && !in.open(path))
        return false;
    std::vector<char> block(kBlock);
    const std::string inserted = encodeFor(splice.encoding, splice.insert);
    const std::int64_t skipped = splice.resumeAt - splice.keepUntil;
    std::int64_t rest = 0;
    if (before.exists && pump(in, &out, splice.keepUntil, block) != splice.keepUntil)
        return false;
    if (fileFaultHit(FileOp::Write) || out.write(inserted.data(), qint64(inserted.size())) != qint64(inserted.size()))
        return false;
    if (before.exists && (pump(in, nullptr, skipped, block) != skipped || (rest = pump(in, &out, -1, block)) < 0))
        return false;
    // Another program changed the file since it was planned: a splice at
    // stale offsets would corrupt it.
    if (splice.resumeAt + rest != before.size || stateOf(path) != before)
        return false;
    return out.error() == QFileDevice::NoError && !fileFaultHit(FileOp::Rename) && out.commit();
}

}  // namespace

std::int64_t GetPrivateProfileStringA(std::string_view section, std::string_view key, std::string_view def,
                                      char* buffer, std::int64_t size, const QString& file)
{
    if (!buffer || size <= 0)
        return 0;
    auto place = [&](std::string_view text) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(std::int64_t(text.size()), size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
        return static_cast<std::int64_t>(n);
    };
    const NameMatcher wantedSection(section);
    const NameMatcher wantedKey(key);
    if (wantedKey.empty())
        return place(def);

    LineReader reader(file);
    bool inSection = wantedSection.empty();
    bool first = true;
    std::string_view line;
    while (reader.next(line)) {
        // Of a line longer than the reader's bound only the first piece is
        // parsed: its value is read cut to that piece.
        if (reader.continuation())
            continue;
        if (first && reader.encoding() == Encoding::Utf16LE && line.substr(0, 2) == "\xFF\xFE")
            line.remove_prefix(2);
        first = false;
        if (!inSection && !mayBeHeader(line))
            continue;
        const ProfileLine parsed = parseLine(line);
        if (parsed.kind == ProfileLine::Header) {
            if (inSection)
                break;
            inSection = wantedSection.matches(parsed.name);
        } else if (inSection && parsed.kind == ProfileLine::Key && wantedKey.matches(parsed.name)) {
            return place(readValue(parsed.value));
        }
    }
    return place(def);
}

bool WritePrivateProfileStringA(std::string_view section, std::string_view key, std::string_view value,
                                const QString& file)
{
    auto breaksLine = [](std::string_view s) { return s.find_first_of("\r\n") != npos; };
    if (file.isEmpty() || breaksLine(section) || breaksLine(key) || breaksLine(value) ||
        section.find('\0') != npos || key.find('\0') != npos || trim(key).empty())
        return false;

    const QFileInfo info(file);
    const FileState before = stateOf(file);
    // A dangling link or anything but a regular file is left alone.
    if (before.exists ? !info.isFile() : info.isSymLink())
        return false;

    const Splice splice = planWrite(before.exists ? file : QString(), before.size, trim(section), trim(key), value);
    if (splice.status == Splice::Unchanged)
        return true;
    return splice.status == Splice::Change && applyWrite(file, before, splice);
}

}  // namespace keyloom
