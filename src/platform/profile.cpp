#include "platform/profile.h"

#include "platform/fileio.h"
#include "platform/lines.h"
#include "platform/replace.h"
#include "platform/textcodec.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace keyloom {

namespace {

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

// A write as one splice: the old file's first `keepUntil` bytes, then
// `insert`, then the old file from `resumeAt` on.
struct Splice {
    enum Status { Failed, Invalid, Unchanged, Change };
    Status status = Failed;
    Encoding encoding = Encoding::Bytes;
    std::int64_t keepUntil = 0;
    std::int64_t resumeAt = 0;
    std::string insert;        // 8-bit text, encoded when written
    bool unicodeText = false;  // the insert is UTF-8 text of a UTF-16 file
    // Where `insert` goes on after the ending it starts with for a last line
    // that had none, and after the header of a new section; the name key
    // of that section. Inserts at the same place are joined by these.
    std::size_t bodyAt = 0;
    std::size_t keyLineAt = 0;
    std::optional<std::string> newSection;
};

// What a read that plans a change learns of the file as a whole.
struct ReadSpot {
    bool read = false;  // the file was read to where the spot is
    Encoding encoding = Encoding::Bytes;
    bool unicodeText = false;
};

// The start of a read that plans a change: the first line read into `line`
// (`more`: there was one), and the size of the byte-order mark, where the
// text begins; `spot` takes the encoding that the first read shows.
struct FirstRead {
    bool more = false;
    std::int64_t markSize = 0;
};
// None when the file cannot be read, or is UTF-16 cut in the middle of a
// character: anything spliced in would shift the rest by one byte.
std::optional<FirstRead> readFirst(LineReader& lines, std::int64_t fileSize, std::string_view& line, ReadSpot& spot)
{
    FirstRead first;
    first.more = lines.next(line);
    if (!lines.isOpen() || lines.failed())
        return std::nullopt;
    spot.encoding = lines.encoding();
    spot.unicodeText = lines.unicodeText();
    first.markSize = static_cast<std::int64_t>(byteOrderMark(spot.encoding).size());
    if (isUtf16(spot.encoding) && (fileSize - first.markSize) % 2 != 0)
        return std::nullopt;
    return first;
}

// Where a write goes in a file: the key's value, or the place for a new key
// line at the end of the section, or for a new section at the end of the
// file. Offsets are the file's.
struct ProfileSpot : ReadSpot {
    bool keyFound = false;
    std::int64_t valueAt = 0;   // the key's value: from here...
    std::int64_t valueEnd = 0;  // ...to here (its line's ending)
    bool valueSame = false;     // it is the new value already
    bool sectionFound = false;
    std::int64_t insertAt = 0;  // just after the section's last non-blank line
    bool insertNeedsEnding = false;
    std::int64_t fileEnd = 0;
    bool lastLineOpen = false;  // the file's last line has no ending
    LineEnding firstEnding = LineEnding::None;
};

// Reads `lines` (the file) up to the key of `section` whose value would be
// `newValue`, or to its end.
ProfileSpot locate(LineReader& lines, std::int64_t fileSize, std::string_view section, std::string_view key,
                   std::string_view newValue)
{
    ProfileSpot spot;
    std::string_view line;
    const std::optional<FirstRead> head = readFirst(lines, fileSize, line, spot);
    if (!head)
        return spot;
    const std::int64_t markSize = head->markSize;
    const NameMatcher wantedSection(section);
    const NameMatcher wantedKey(key);
    spot.sectionFound = wantedSection.empty();
    spot.insertAt = spot.fileEnd = markSize;
    std::int64_t linesEnded = 0;
    bool lineCounts = false;  // the line in progress moves insertAt
    for (bool first = true, more = head->more; more; more = lines.next(line), first = false) {
        const std::string_view text = first ? firstLineText(line, spot.encoding) : line;
        // A UTF-16LE file of the mark alone has no line.
        if (first && text.empty() && line.size() == 2 && lines.ending() == LineEnding::None)
            continue;
        if (!lines.partial() && linesEnded++ == 0)
            spot.firstEnding = lines.ending();
        spot.fileEnd = lines.endOffset();
        spot.lastLineOpen = lines.ending() == LineEnding::None;
        // Of a line in pieces only the first is parsed, as the read does.
        if (lines.continuation()) {
            if (lineCounts) {
                spot.insertAt = spot.fileEnd;
                spot.insertNeedsEnding = spot.lastLineOpen;
            }
            continue;
        }
        lineCounts = false;
        if (!spot.sectionFound && !mayBeHeader(text))
            continue;
        const ProfileLine parsed = parseLine(text);
        if (parsed.kind == ProfileLine::Header) {
            if (spot.sectionFound)
                break;
            spot.sectionFound = wantedSection.matches(parsed.name);
        } else if (!spot.sectionFound || trim(text).empty()) {
            continue;
        } else if (parsed.kind == ProfileLine::Key && wantedKey.matches(parsed.name)) {
            const std::size_t valueAt = line.size() - text.size() + valueStart(text);
            spot.keyFound = true;
            spot.valueSame = !lines.partial() && line.substr(valueAt) == newValue;
            spot.valueAt = lines.offsetAt(valueAt);
            // The old value runs to the end of the line's last piece.
            while (lines.partial() && lines.next(line)) {}
            spot.valueEnd = lines.offsetAt(line.size());
            break;
        }
        if (spot.sectionFound) {
            spot.insertAt = spot.fileEnd;
            spot.insertNeedsEnding = spot.lastLineOpen;
            lineCounts = true;
        }
    }
    spot.read = !lines.failed();
    return spot;
}

// The splice that puts `newValue` at `spot`: the value replaced, or a key
// line (after a header line, for a new section) added. Invalid for a key or
// section that would be written but never found again.
Splice compose(const ProfileSpot& spot, std::string_view section, std::string_view key, std::string_view newValue)
{
    Splice splice;
    splice.encoding = spot.encoding;
    splice.unicodeText = spot.unicodeText;
    if (!spot.read)
        return splice;
    if (spot.keyFound) {
        splice.status = spot.valueSame ? Splice::Unchanged : Splice::Change;
        splice.keepUntil = spot.valueAt;
        splice.resumeAt = spot.valueEnd;
        splice.insert = newValue;
        return splice;
    }
    splice.status = Splice::Invalid;
    const std::string_view eol = endingBytes(spot.firstEnding);
    const std::string keyLine = std::string(key) + "=" + std::string(newValue);
    // A key such as "a=b" or ";x" would be written but never found again.
    const ProfileLine parsedKey = parseLine(keyLine);
    if (parsedKey.kind != ProfileLine::Key || !NameMatcher(key).matches(parsedKey.name))
        return splice;
    if (spot.sectionFound) {
        splice.keepUntil = splice.resumeAt = spot.insertAt;
        if (spot.insertNeedsEnding)
            splice.insert.append(eol);
        splice.bodyAt = splice.insert.size();
    } else {
        const std::string header = "[" + std::string(section) + "]";
        const ProfileLine parsedHeader = parseLine(header);
        if (parsedHeader.kind != ProfileLine::Header || !NameMatcher(section).matches(parsedHeader.name))
            return splice;
        splice.keepUntil = splice.resumeAt = spot.fileEnd;
        if (spot.lastLineOpen)
            splice.insert.append(eol);
        splice.bodyAt = splice.insert.size();
        splice.insert.append(header).append(eol);
        splice.newSection = profileNameKey(section);
    }
    splice.keyLineAt = splice.insert.size();
    splice.insert.append(keyLine).append(eol);
    // A key line first in a file without a byte-order mark must not begin
    // with the bytes of one: the file would read as another encoding.
    if (splice.keepUntil == 0 && encodingOfMark(splice.insert) != Encoding::Bytes)
        return splice;
    splice.status = Splice::Change;
    return splice;
}

// First pass: finds the line to change or the place for new lines. `path` is
// empty for a file that does not exist yet.
Splice planWrite(const QString& path, std::int64_t fileSize, std::string_view section, std::string_view key,
                 std::string_view value)
{
    // A file that does not exist yet has no lines (and is not opened).
    std::optional<LineReader> reader;
    if (path.isEmpty())
        reader.emplace(LineReader::FromMemory{}, std::string_view());
    else
        reader.emplace(path);
    const std::string_view newValue = trimLeft(value);
    return compose(locate(*reader, fileSize, section, key, newValue), section, key, newValue);
}

// The lines a delete removes: from the start of the key's line to the end of
// its ending, or from the section's header to the next header (or the end).
struct RemovalSpot : ReadSpot {
    bool found = false;
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// Reads `lines` up to the first key `key` of the first section `section`
// (the ones the read finds), or up to the header after that section when
// there is no key.
RemovalSpot locateRemoval(LineReader& lines, std::int64_t fileSize, std::string_view section, std::string_view key,
                          bool wholeSection)
{
    RemovalSpot spot;
    std::string_view line;
    const std::optional<FirstRead> head = readFirst(lines, fileSize, line, spot);
    if (!head)
        return spot;
    const std::int64_t markSize = head->markSize;
    const NameMatcher wantedSection(section);
    const NameMatcher wantedKey(key);
    bool inSection = wantedSection.empty();
    spot.found = inSection && wholeSection;
    spot.from = spot.to = markSize;
    for (bool first = true, more = head->more; more; more = lines.next(line), first = false) {
        const std::string_view text = first ? firstLineText(line, spot.encoding) : line;
        const std::int64_t start = std::max(markSize, lines.offsetAt(line.size() - text.size()));
        if (!lines.continuation() && (inSection || mayBeHeader(text))) {
            const ProfileLine parsed = parseLine(text);
            if (parsed.kind == ProfileLine::Header && inSection)
                break;
            if (parsed.kind == ProfileLine::Header) {
                inSection = wantedSection.matches(parsed.name);
                spot.found = inSection && wholeSection;
                spot.from = start;
            } else if (!wholeSection && inSection && parsed.kind == ProfileLine::Key &&
                       wantedKey.matches(parsed.name)) {
                spot.found = true;
                spot.from = start;
                while (lines.partial() && lines.next(line)) {}
                spot.to = lines.endOffset();
                break;
            }
        }
        spot.to = lines.endOffset();
    }
    spot.read = !lines.failed();
    return spot;
}

// The splice of one change: `value` set, or without it the key (without a
// key, the section) deleted; Unchanged when there is nothing to delete.
Splice planChange(const QString& path, std::int64_t fileSize, const ProfileChange& change)
{
    const std::string_view section = trim(change.section);
    if (change.value && change.key)
        return planWrite(path, fileSize, section, trim(*change.key), *change.value);
    Splice splice;
    if (path.isEmpty()) {
        splice.status = Splice::Unchanged;
        return splice;
    }
    LineReader reader(path);
    const std::string_view key = change.key ? trim(*change.key) : std::string_view();
    const RemovalSpot spot = locateRemoval(reader, fileSize, section, key, !change.key);
    splice.encoding = spot.encoding;
    splice.unicodeText = spot.unicodeText;
    if (!spot.read)
        return splice;
    splice.status = spot.found && spot.to > spot.from ? Splice::Change : Splice::Unchanged;
    splice.keepUntil = spot.from;
    splice.resumeAt = spot.to;
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

// Writes the old file's bytes from `in` with `splices` (in file order, none
// overlapping) applied to `out`, from offset `from` on (the bytes before it
// are already there); `inserted` holds each splice's text encoded. False on
// any failure, or when the old content is not as long as it was when planned.
bool writeSpliced(InputFile& in, QIODevice& out, std::int64_t from, const std::vector<std::string>& inserted,
                  const std::vector<Splice>& splices, const FileIdentity& before)
{
    std::vector<char> block(ioBlock());
    std::int64_t at = from;
    for (std::size_t i = 0; i < splices.size(); ++i) {
        const Splice& splice = splices[i];
        const std::string& text = inserted[i];
        if (before.exists && pump(in, &out, splice.keepUntil - at, block) != splice.keepUntil - at)
            return false;
        if (fileFaultHit(FileOp::Write) || out.write(text.data(), qint64(text.size())) != qint64(text.size()))
            return false;
        const std::int64_t skipped = splice.resumeAt - splice.keepUntil;
        if (before.exists && pump(in, nullptr, skipped, block) != skipped)
            return false;
        at = splice.resumeAt;
    }
    const std::int64_t rest = before.exists ? pump(in, &out, -1, block) : 0;
    return rest >= 0 && at + rest == before.size;
}

// Writes `splices` (each a Change, in file order) into `file`, whose
// identity was `before` when they were planned.
ProfileWrite writeSplices(const QString& file, const FileIdentity& before, const std::vector<Splice>& splices)
{
    ProfileWrite result;
    std::vector<std::string> inserted(splices.size());
    std::int64_t newSize = before.size;
    for (std::size_t i = 0; i < splices.size(); ++i) {
        appendEncoded(inserted[i], splices[i].encoding, splices[i].insert, splices[i].unicodeText);
        newSize += static_cast<std::int64_t>(inserted[i].size()) - (splices[i].resumeAt - splices[i].keepUntil);
    }
    // The old content read from the file or, written in place, from its
    // private copy: the splices' offsets hold for both.
    const ContentWriter write = [&](InputFile& old, QIODevice& out, std::int64_t from) {
        return writeSpliced(old, out, from, inserted, splices, before);
    };
    if (!before.exists) {
        result.written = createWithContent(file, write);
        return result;
    }
    // A file that changed since it was planned is not written: a splice at
    // stale offsets would corrupt it.
    const ReplaceResult replaced = replaceContent(file, before, splices.front().keepUntil, newSize, write);
    result.written = replaced.written;
    result.wholeCopy = replaced.wholeCopy;
    return result;
}

// Where a splice goes among those at the same offset: new keys of sections
// that are there, then new sections (those of one name together), then the
// lines a splice replaces or removes.
int rankOf(const Splice& splice)
{
    if (splice.resumeAt > splice.keepUntil)
        return 2;
    return splice.newSection ? 1 : 0;
}

// `splices` in file order, with inserts at one place joined into one: the
// ending a last line lacked written once, one header for one new section.
// Empty when two of them overlap.
std::vector<Splice> joinSplices(std::vector<Splice> splices)
{
    std::vector<std::size_t> group(splices.size());
    for (std::size_t i = 0; i < splices.size(); ++i) {
        group[i] = i;
        for (std::size_t j = 0; j < i && splices[i].newSection; ++j)
            if (splices[j].newSection == splices[i].newSection)
                group[i] = std::min(group[i], j);
    }
    std::vector<std::size_t> order(splices.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const Splice& x = splices[a];
        const Splice& y = splices[b];
        return std::tuple(x.keepUntil, rankOf(x), group[a]) < std::tuple(y.keepUntil, rankOf(y), group[b]);
    });
    std::vector<Splice> joined;
    for (std::size_t i : order) {
        Splice& next = splices[i];
        if (!joined.empty() && next.keepUntil < joined.back().resumeAt)
            return {};
        Splice* last = joined.empty() ? nullptr : &joined.back();
        if (!last || rankOf(next) == 2 || rankOf(*last) == 2 || last->keepUntil != next.keepUntil) {
            joined.push_back(std::move(next));
            continue;
        }
        const bool sameSection = next.newSection && last->newSection == next.newSection;
        last->insert += next.insert.substr(sameSection ? next.keyLineAt : next.bodyAt);
        last->newSection = next.newSection;
    }
    return joined;
}

// Two changes that would touch the same lines: a key named twice, or a
// section deleted and named by another change.
bool changesCollide(const std::vector<ProfileChange>& changes)
{
    for (std::size_t i = 0; i < changes.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            const ProfileChange& a = changes[i];
            const ProfileChange& b = changes[j];
            if (profileNameKey(a.section) != profileNameKey(b.section))
                continue;
            if (!a.key || !b.key || profileNameKey(*a.key) == profileNameKey(*b.key))
                return true;
        }
    }
    return false;
}

}  // namespace

std::string_view profileValueText(std::string_view raw)
{
    raw = trim(raw.substr(0, raw.find('\0')));
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
    return raw;
}

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
            return place(profileValueText(parsed.value));
        }
    }
    return place(def);
}

ProfileWrite writeProfileString(std::string_view section, std::string_view key, std::string_view value,
                                const QString& file)
{
    ProfileWrite result;
    auto breaksLine = [](std::string_view s) { return s.find_first_of("\r\n") != npos; };
    if (file.isEmpty())
        return result;
    if (breaksLine(section) || breaksLine(key) || breaksLine(value) || section.find('\0') != npos ||
        key.find('\0') != npos || trim(key).empty()) {
        result.invalid = true;
        return result;
    }

    const QFileInfo info(file);
    // A dangling link or anything but a regular file is left alone.
    if (info.exists() ? !info.isFile() : info.isSymLink())
        return result;
    const FileIdentity before = identityOf(file);

    const Splice splice = planWrite(before.exists ? file : QString(), before.size, trim(section), trim(key), value);
    if (splice.status == Splice::Unchanged) {
        result.written = true;
        return result;
    }
    result.invalid = splice.status == Splice::Invalid;
    if (splice.status != Splice::Change)
        return result;
    return writeSplices(file, before, {splice});
}

ProfileWrite writeProfileChanges(const std::vector<ProfileChange>& changes, const QString& file)
{
    ProfileWrite result;
    auto breaksLine = [](std::string_view s) { return s.find_first_of("\r\n") != npos; };
    result.invalid = changesCollide(changes);
    for (const ProfileChange& change : changes) {
        const std::string_view key = change.key ? std::string_view(*change.key) : std::string_view();
        const bool keyless = !change.key || trim(key).empty();
        result.invalid = result.invalid || breaksLine(change.section) || breaksLine(key) ||
                         breaksLine(change.value.value_or(std::string())) || change.section.find('\0') != npos ||
                         key.find('\0') != npos || (change.key && keyless) || (change.value && !change.key);
    }
    const QFileInfo info(file);
    if (file.isEmpty() || result.invalid || (info.exists() ? !info.isFile() : info.isSymLink()))
        return result;
    const FileIdentity before = identityOf(file);
    std::vector<Splice> splices;
    for (const ProfileChange& change : changes) {
        Splice splice = planChange(before.exists ? file : QString(), before.size, change);
        result.invalid = splice.status == Splice::Invalid;
        if (splice.status == Splice::Failed || result.invalid)
            return result;
        if (splice.status == Splice::Change)
            splices.push_back(std::move(splice));
    }
    if (splices.empty()) {
        result.written = true;
        return result;
    }
    splices = joinSplices(std::move(splices));
    result.invalid = splices.empty();
    return result.invalid ? result : writeSplices(file, before, splices);
}

bool WritePrivateProfileStringA(std::string_view section, std::string_view key, std::string_view value,
                                const QString& file)
{
    return writeProfileString(section, key, value, file).written;
}

std::optional<bool> profileDeleteFinds(const ProfileChange& change, const QString& file)
{
    const FileIdentity info = identityOf(file);
    if (!info.exists)
        return false;
    const Splice splice = planChange(file, info.size, ProfileChange{change.section, change.key, std::nullopt});
    if (splice.status == Splice::Failed)
        return std::nullopt;
    return splice.status == Splice::Change;
}

ProfileLineView profileLineOf(std::string_view line)
{
    const ProfileLine parsed = parseLine(line);
    switch (parsed.kind) {
    case ProfileLine::Header:
        return {ProfileLineView::Header, parsed.name, {}};
    case ProfileLine::Key:
        return {ProfileLineView::Key, parsed.name, profileValueText(parsed.value)};
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
