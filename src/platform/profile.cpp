#include "platform/profile.h"

#include "platform/fileio.h"
#include "platform/lines.h"
#include "platform/textcodec.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>
#include <optional>
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
    // No comment lines: ";a=1" is the key ";a", as for the Windows service.
    const std::string_view body = trimLeft(line);
    if (body.empty())
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

// Where the value of a key line starts: after the first '=' and the blanks
// that follow it.
std::size_t valueStart(std::string_view line)
{
    std::size_t i = line.find('=');
    i = i == npos ? line.size() : i + 1;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    return i;
}

// The text of a file's first line: a UTF-16LE file's comes with the mark's
// "\xFF\xFE" in front, which is no text.
std::string_view firstLineText(std::string_view line, Encoding encoding)
{
    if (encoding == Encoding::Utf16LE && line.substr(0, 2) == "\xFF\xFE")
        line.remove_prefix(2);
    return line;
}

bool beginsWithByteOrderMark(std::string_view bytes)
{
    return bytes.substr(0, 3) == "\xEF\xBB\xBF" || bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
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
    // A file that does not exist yet has no lines (and is not opened).
    std::optional<LineReader> reader;
    if (path.isEmpty())
        reader.emplace(LineReader::FromMemory{}, std::string_view());
    else
        reader.emplace(path);
    LineReader& lines = *reader;
    std::string_view line;
    // The first read shows the encoding.
    bool more = lines.next(line);
    if (!lines.isOpen() || lines.failed())
        return splice;
    splice.encoding = lines.encoding();
    const auto markSize = static_cast<std::int64_t>(byteOrderMark(splice.encoding).size());
    // A UTF-16 file cut in the middle of a character: anything appended would
    // be shifted by one byte.
    if (isUtf16(splice.encoding) && (fileSize - markSize) % 2 != 0)
        return splice;

    const NameMatcher wantedSection(section);
    const NameMatcher wantedKey(key);
    const std::string_view newValue = trimLeft(value);
    bool inSection = wantedSection.empty();
    // Just after the section's last non-blank line, where a new key goes.
    std::int64_t insertAt = markSize;
    bool insertNeedsEnding = false;
    std::int64_t fileEnd = markSize;
    bool lastLineOpen = false;
    LineEnding firstEnding = LineEnding::None;
    std::int64_t linesEnded = 0;
    bool lineCounts = false;  // the line in progress moves insertAt
    for (bool first = true; more; more = lines.next(line), first = false) {
        const std::string_view text = first ? firstLineText(line, splice.encoding) : line;
        // A UTF-16LE file of the mark alone has no line.
        if (first && text.empty() && line.size() == 2 && lines.ending() == LineEnding::None)
            continue;
        if (!lines.partial() && linesEnded++ == 0)
            firstEnding = lines.ending();
        fileEnd = lines.endOffset();
        lastLineOpen = lines.ending() == LineEnding::None;
        // Of a line in pieces only the first is parsed, as the read does.
        if (lines.continuation()) {
            if (lineCounts) {
                insertAt = fileEnd;
                insertNeedsEnding = lastLineOpen;
            }
            continue;
        }
        lineCounts = false;
        if (!inSection && !mayBeHeader(text))
            continue;
        const ProfileLine parsed = parseLine(text);
        if (parsed.kind == ProfileLine::Header) {
            if (inSection)
                break;
            inSection = wantedSection.matches(parsed.name);
        } else if (!inSection || trim(text).empty()) {
            continue;
        } else if (parsed.kind == ProfileLine::Key && wantedKey.matches(parsed.name)) {
            const std::size_t valueAt = line.size() - text.size() + valueStart(text);
            if (!lines.partial() && line.substr(valueAt) == newValue) {
                splice.status = Splice::Unchanged;
                return splice;
            }
            splice.keepUntil = lines.offsetAt(valueAt);
            // The old value runs to the end of the line's last piece.
            while (lines.partial() && lines.next(line)) {}
            if (lines.failed())
                return splice;
            splice.status = Splice::Change;
            splice.resumeAt = lines.offsetAt(line.size());
            splice.insert = newValue;
            return splice;
        }
        if (inSection) {
            insertAt = fileEnd;
            insertNeedsEnding = lastLineOpen;
            lineCounts = true;
        }
    }
    if (lines.failed())
        return splice;

    const std::string_view eol = endingBytes(firstEnding);
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
std::int64_t pump(InputFile& in, QIODevice* out, std::int64_t count, std::vector<char>& block)
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

// Writes the old file's bytes from `in` with `splice` applied to `out`, from
// offset `from` on (the bytes before it are already there). False on any
// failure, or when the file changed since it was planned: a splice at stale
// offsets would corrupt it.
bool writeSpliced(InputFile& in, QIODevice& out, std::int64_t from, const QString& path, const FileState& before,
                  const Splice& splice)
{
    std::vector<char> block(kBlock);
    std::string inserted;
    appendEncoded(inserted, splice.encoding, splice.insert);
    std::int64_t rest = 0;
    if (before.exists && pump(in, &out, splice.keepUntil - from, block) != splice.keepUntil - from)
        return false;
    if (fileFaultHit(FileOp::Write) || out.write(inserted.data(), qint64(inserted.size())) != qint64(inserted.size()))
        return false;
    const std::int64_t skipped = splice.resumeAt - splice.keepUntil;
    if (before.exists && (pump(in, nullptr, skipped, block) != skipped || (rest = pump(in, &out, -1, block)) < 0))
        return false;
    return splice.resumeAt + rest == before.size && stateOf(path) == before;
}

// Writes the spliced file beside the old one and renames it over the old one
// (over a link's target, the link staying a link; permissions kept). On any
// failure the temporary file goes and the old file stays.
bool replaceFile(const QString& path, const FileState& before, const Splice& splice)
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
    if (!writeSpliced(in, out, 0, path, before, splice))
        return false;
    return out.error() == QFileDevice::NoError && !fileFaultHit(FileOp::Rename) && out.commit();
}

// Writes the splice into the file itself, for a file that a rename would
// take from its owner, group or other links, or whose folder the user cannot
// write to. The old content is first copied to a private file in the
// temporary folder, which stays and is named in the result when the file may
// have been cut.
ProfileWrite overwriteFile(const QString& path, const FileState& before, const Splice& splice)
{
    ProfileWrite result;
    QTemporaryFile copy(QDir(QDir::tempPath()).filePath(QFileInfo(path).fileName() + QStringLiteral(".XXXXXX")));
    if (!copy.open())
        return result;
    copy.close();
    OutputFile copyOut;
    if (!copyOut.open(copy.fileName()) || !copyInto(path, copyOut) || stateOf(path) != before)
        return result;
    InputFile in;
    QFile out(path);
    // The bytes before the splice are the same: writing starts at it.
    if (!in.open(copy.fileName()) || fileFaultHit(FileOp::OpenWrite) ||
        !out.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !out.seek(splice.keepUntil))
        return result;
    std::vector<char> block(kBlock);
    const bool written = pump(in, nullptr, splice.keepUntil, block) == splice.keepUntil &&
                         writeSpliced(in, out, splice.keepUntil, copy.fileName(), stateOf(copy.fileName()), splice) &&
                         out.resize(out.pos()) && out.error() == QFileDevice::NoError;
    out.close();
    if (written && out.error() == QFileDevice::NoError) {
        result.written = true;
        return result;
    }
    copy.setAutoRemove(false);
    result.wholeCopy = copy.fileName();
    return result;
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
        if (first)
            line = firstLineText(line, reader.encoding());
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

ProfileWrite writeProfileString(std::string_view section, std::string_view key, std::string_view value,
                                const QString& file)
{
    ProfileWrite result;
    auto breaksLine = [](std::string_view s) { return s.find_first_of("\r\n") != npos; };
    if (file.isEmpty() || breaksLine(section) || breaksLine(key) || breaksLine(value) || section.find('\0') != npos ||
        key.find('\0') != npos || trim(key).empty())
        return result;

    const QFileInfo info(file);
    const FileState before = stateOf(file);
    // A dangling link or anything but a regular file is left alone.
    if (before.exists ? !info.isFile() : info.isSymLink())
        return result;

    const Splice splice = planWrite(before.exists ? file : QString(), before.size, trim(section), trim(key), value);
    if (splice.status == Splice::Unchanged) {
        result.written = true;
        return result;
    }
    if (splice.status != Splice::Change)
        return result;
    if (!before.exists || isReplaceableByRename(file)) {
        result.written = replaceFile(file, before, splice);
        return result;
    }
    if (!info.isWritable())
        return result;
    return overwriteFile(file, before, splice);
}

bool WritePrivateProfileStringA(std::string_view section, std::string_view key, std::string_view value,
                                const QString& file)
{
    return writeProfileString(section, key, value, file).written;
}

ProfileLineView profileLineOf(std::string_view line)
{
    const ProfileLine parsed = parseLine(line);
    switch (parsed.kind) {
    case ProfileLine::Header:
        return {ProfileLineView::Header, parsed.name, {}};
    case ProfileLine::Key:
        return {ProfileLineView::Key, parsed.name, readValue(parsed.value)};
    case ProfileLine::Other:
        break;
    }
    return {};
}

std::string profileNameKey(std::string_view name)
{
    // NameMatcher: ASCII names match by ASCII letter case alone, and never
    // match a name beyond ASCII; those match by their decoded text.
    name = trim(name);
    if (isAscii(name)) {
        std::string key(name);
        std::transform(key.begin(), key.end(), key.begin(), asciiLower);
        return key;
    }
    return '\x01' + decodeName(name).toCaseFolded().toStdString();
}

}  // namespace keyloom
