#include "document/document.h"

#include "app/appmodul.h"
#include "app/commands.h"
#include "document/regvalue.h"
#include "platform/lines.h"
#include "platform/memory.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <optional>

namespace keyloom {

namespace {

constexpr std::string_view kMarker("\xFF\xFE"
                                   "Windows");
constexpr std::string_view kCrLf("\r\n");

std::string headerOf(std::string_view section)
{
    std::string header;
    header.reserve(section.size() + 2);
    header += '[';
    header += section;
    header += ']';
    return header;
}

// Room for the REGEDIT4 text of `path`: its size in 8-bit characters, plus
// a little for line ends that grow from one byte to CR LF.
std::size_t textCapacityFor(const QString& path, Encoding encoding)
{
    const qint64 size = QFileInfo(path).size();
    const bool utf16 = encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE;
    return static_cast<std::size_t>(std::max<qint64>(size, 0) / (utf16 ? 2 : 1)) + 64;
}

// Count of bytes at the end of `bytes` that begin a multi-byte UTF-8
// character whose remaining bytes lie beyond it.
std::size_t openUtf8Tail(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, n); ++back) {
        const auto c = static_cast<unsigned char>(bytes[n - back]);
        if ((c & 0xC0) == 0x80)
            continue;  // a continuation byte: the lead lies further back
        const std::size_t length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// UTF-8 test of one piece of a line, a character cut between two pieces
// carried over in `carry` (at most three bytes).
Utf8Scan scanUtf8Piece(std::string_view piece, bool partial, std::string& carry)
{
    std::string joined;
    if (!carry.empty()) {
        joined = carry;
        joined += piece;
        piece = joined;
        carry.clear();
    }
    if (partial) {
        const std::size_t keep = openUtf8Tail(piece);
        carry.assign(piece.substr(piece.size() - keep));
        piece.remove_suffix(keep);
    }
    return scanUtf8(piece);
}

// Characters that REGEDIT4 cannot hold, with the line of the first.
struct Unheld {
    std::uint64_t count = 0;
    std::uint64_t firstLine = 0;
    void add(std::uint64_t n, std::uint64_t line)
    {
        count += n;
        if (firstLine == 0 || line < firstLine)
            firstLine = line;
    }
};

// A hex(1), hex(2) or hex(7) value of the REGEDIT4 text being built. Its
// lines go into the text as they stand; once the last one is in, they are
// replaced by the value re-encoded, or stay when it cannot be.
struct TextList {
    bool open = false;
    bool broken = false;         // a line of it came in pieces
    std::size_t start = 0;       // where its first line begins in the text
    std::size_t headLength = 0;  // that line up to the list
    std::uint64_t line = 0;      // the file line of its first line
};

// Opens `list` when `line`, at `at` in the text, begins a value whose data
// are text: in a UTF-16 export those are UTF-16 code units.
void startList(std::string_view line, std::size_t at, std::uint64_t lineNumber, TextList& list)
{
    if (line.empty() || (line.front() != '"' && line.front() != '@'))
        return;
    const std::optional<std::size_t> value = valueStartOf(line);
    // Most values are strings or numbers: only "hex" is worth a closer look.
    if (!value || (line.substr(*value, 1) != "h" && line.substr(*value, 1) != "H"))
        return;
    const std::optional<HexHead> head = hexHeadOf(line.substr(*value));
    if (head && (head->type == kRegSz || head->type == kRegExpandSz || head->type == kRegMultiSz))
        list = TextList{true, false, at, *value + head->listStart, lineNumber};
}

// Replaces the lines of `list`, which end `text`, by the value in REGEDIT4:
// each UTF-16LE code unit of the data becomes the Windows-1252 byte of its
// character (a zero unit a zero byte), and the list is wrapped again. A list
// that holds a character the code page lacks stays as it stands, and each
// such character goes into `unheld`; so does one that cannot be read (not
// hex, half a unit, half a surrogate pair), counting once more for that.
// `recoded` is room reused from one list to the next.
void finishList(std::string& text, const TextList& list, Unheld& unheld, std::string& recoded)
{
    if (list.broken) {
        unheld.add(1, list.line);
        return;
    }
    // The list as it stands: every line with CR LF, all but the last
    // continued with "\".
    const std::size_t listAt = list.start + list.headLength;
    const std::string_view lines = std::string_view(text).substr(listAt, text.size() - listAt - kCrLf.size());
    const char* p = lines.data();
    const char* const end = p + lines.size();
    std::uint64_t line = list.line;
    const char* counted = p;
    // Asked in file order; a position before the last one asked keeps its line.
    auto lineAt = [&](const char* at) {
        if (at > counted) {
            line += std::uint64_t(std::count(counted, at, '\n'));
            counted = at;
        }
        return line;
    };
    // A unit takes at least five characters ("xx,xx"), six but for the last.
    recoded.resize(lines.size() / 6 + 1);
    char* const out = recoded.data();
    std::size_t n = 0;
    Unheld lacking;
    const char* highAt = nullptr;  // the first half of a surrogate pair
    bool stopped = false;
    while (p != end && !stopped) {
        const char* const unitAt = p;
        // Most units are a Latin letter, "xx,00," with more on the same line.
        if (end - p > 6 && std::memcmp(p + 2, ",00,", 4) == 0 && p[6] != '\\') {
            const int high = kHexDigitValue[static_cast<unsigned char>(p[0])];
            const int low = kHexDigitValue[static_cast<unsigned char>(p[1])];
            if ((high | low) >= 0 && (high < 8 || high >= 0xA)) {
                out[n++] = static_cast<char>(high << 4 | low);
                p += 6;
                continue;
            }
        }
        const int low = readListByte(p, end);
        const int high = low < 0 || p == end ? -1 : readListByte(p, end);
        if (high < 0) {
            lacking.add(1, lineAt(highAt ? highAt : low < 0 ? p : unitAt));
            stopped = true;
            continue;
        }
        const auto unit = char16_t(low | high << 8);
        if (highAt || (unit >= 0xD800 && unit <= 0xDFFF)) {
            // A pair is one character the code page lacks; a lone half is
            // no character at all, and the rest cannot be read.
            if (!highAt && unit <= 0xDBFF) {
                highAt = unitAt;
                continue;
            }
            lacking.add(1, lineAt(highAt ? highAt : unitAt));
            stopped = !highAt || unit < 0xDC00 || unit > 0xDFFF;
            highAt = nullptr;
            continue;
        }
        const char byte = unit < 0x80 ? static_cast<char>(unit) : toWindows1252(unit);
        if (byte == '?' && unit != u'?')
            lacking.add(1, lineAt(unitAt));
        out[n++] = byte;
    }
    if (highAt && !stopped)
        lacking.add(1, lineAt(highAt));
    if (lacking.count > 0) {
        unheld.add(lacking.count, lacking.firstLine);
        return;
    }
    text.resize(listAt);
    appendWrappedHexList(text, list.headLength, std::string_view(recoded).substr(0, n));
    text += kCrLf;
}

// Count of lines that start before byte `offset` of the file.
std::uint64_t linesBefore(const QString& path, std::int64_t offset)
{
    LineReader reader(path);
    std::uint64_t count = 0;
    std::string_view line;
    while (reader.next(line) && reader.lineOffset() < offset)
        count += reader.continuation() ? 0 : 1;
    return count;
}

}  // namespace

FileKind fileKindOf(const QString& path)
{
    return path.right(3).toLower() == QLatin1String("reg") ? FileKind::Registry : FileKind::Ini;
}

LoadResult loadFile(const QString& path)
{
    LoadResult result;
    LineReader reader(path);
    result.opened = reader.isOpen();
    Utf8Scan text = Utf8Scan::Ascii;
    std::string utf8Carry;
    bool inMarkerLine = false;
    std::uint64_t lineNumber = 0;
    // What the text cannot hold: the reader counts the characters of its
    // lines that the code page lacks, the lists those of their data.
    std::uint64_t unmappedBefore = 0;
    std::uint64_t firstUnmappedLine = 0;
    Unheld inLists;
    TextList list;
    std::string recoded;
    // Until a marker line only header and marker lines matter, and the UTF-8
    // test of every byte: the lines in between are passed over whole. Their
    // count is then unknown, and file lines are counted from the marker line
    // until the end tells whether a line number is needed at all.
    std::optional<PrefaultAhead> prefault;  // stopped before the text can move
    bool linesPassed = false;
    std::int64_t markerOffset = -1;  // of the first marker line, when lines were passed
    // Line ends are ASCII and never split a multi-byte sequence, so the file
    // is valid UTF-8 exactly when every run of its bytes is.
    auto testUtf8 = [&](std::string_view bytes, bool partial) {
        if (text != Utf8Scan::Invalid) {
            const Utf8Scan piece = scanUtf8Piece(bytes, partial, utf8Carry);
            if (piece != Utf8Scan::Ascii)
                text = piece;
        }
    };
    const LineReader::Passed passed = [&](std::string_view bytes) {
        linesPassed = true;
        testUtf8(bytes, true);
    };
    std::string_view line;
    while (result.regedit4.empty() ? reader.nextStartingWith("[\xFF", line, passed) : reader.next(line)) {
        // A line longer than the reader's bound arrives in pieces; only its
        // first piece is a line start. A header that long gives an entry of
        // its first piece, which names no section the listing can find.
        const bool lineStart = !reader.continuation();
        if (lineStart)
            ++lineNumber;
        if (lineStart && !line.empty() && line.front() == '[' && line.size() >= 2)
            result.sections.push_back(line.substr(1, line.size() - 2));
        testUtf8(line, reader.partial());
        if (!result.regedit4.empty() && !(inMarkerLine && !lineStart)) {
            const std::size_t at = result.regedit4.size();
            // Most lines end in CR LF already and go in with it at once.
            if (reader.ending() == LineEnding::CrLf) {
                result.regedit4 += reader.withEnding();
            } else {
                result.regedit4 += line;
                if (!reader.partial())
                    result.regedit4 += kCrLf;
            }
            if (lineStart && !list.open)
                startList(line, at, lineNumber, list);
            // A list goes on while its lines end in "\". One whose lines
            // come in pieces is kept as it stands.
            if (list.open && reader.partial()) {
                list.broken = true;
            } else if (list.open && (line.empty() || line.back() != '\\')) {
                finishList(result.regedit4, list, inLists, recoded);
                list.open = false;
            }
            if (firstUnmappedLine == 0 && reader.unmapped() != unmappedBefore)
                firstUnmappedLine = lineNumber;
        }
        // Tested after the append, so a second marker line is appended first
        // and then dropped with everything before it.
        if (lineStart) {
            inMarkerLine = line.substr(0, kMarker.size()) == kMarker;
            if (inMarkerLine) {
                // The text that follows is at most the rest of the file (half
                // of it for UTF-16): room for it at once spares copying a
                // growing string of hundreds of megabytes again and again.
                if (!result.markerFound) {
                    if (linesPassed) {
                        markerOffset = reader.lineOffset();
                        lineNumber = 1;
                    }
                    result.regedit4.reserve(textCapacityFor(path, reader.encoding()));
                    adviseHugePages(result.regedit4.data(), result.regedit4.capacity());
                    // The text of a UTF-16 export is about as long as that
                    // room: its pages are mapped in beside the decoding.
                    if (isUtf16(reader.encoding()))
                        prefault.emplace(result.regedit4.data(), result.regedit4.capacity());
                }
                result.markerFound = true;
                result.regedit4.assign("REGEDIT4\r\n");
                list = {};
                inLists = {};
                firstUnmappedLine = 0;
            }
        }
        if (inMarkerLine)
            unmappedBefore = reader.unmapped();
    }
    prefault.reset();
    // A file that ends inside a character is not UTF-8.
    if (!utf8Carry.empty())
        text = Utf8Scan::Invalid;
    // A list still open at the end lacks its last line.
    if (list.open) {
        list.broken = true;
        finishList(result.regedit4, list, inLists, recoded);
    }
    if (result.markerFound) {
        Unheld unheld = inLists;
        if (reader.unmapped() != unmappedBefore)
            unheld.add(reader.unmapped() - unmappedBefore, firstUnmappedLine);
        result.unconvertible = unheld.count;
        result.firstUnconvertibleLine = unheld.firstLine;
        if (unheld.firstLine != 0 && markerOffset >= 0)
            result.firstUnconvertibleLine += linesBefore(path, markerOffset);
    }
    // A marker late in an 8-bit file leaves most of that room unused.
    if (result.regedit4.capacity() > 2 * result.regedit4.size() + 4096)
        result.regedit4.shrink_to_fit();
    const bool utf16 = reader.encoding() == Encoding::Utf16LE || reader.encoding() == Encoding::Utf16BE;
    // Plain ASCII is 8-bit text in the Windows code page, unless the file
    // says it is UTF-8 with its byte-order mark.
    const bool utf8 = text == Utf8Scan::Utf8 || (text == Utf8Scan::Ascii && reader.encoding() == Encoding::Utf8Bom);
    result.codec = utf8 && !utf16 ? TextCodec::Utf8 : TextCodec::Windows1252;
    return result;
}

KeyListing listKeys(const QString& path, std::string_view section, FileKind kind)
{
    KeyListing result;
    LineReader reader(path);
    if (!reader.isOpen()) {
        result.failed = true;
        return result;
    }
    const std::string header = headerOf(section);
    bool inSection = false;
    // The entry of a key line longer than the reader's bound whose "=" lies
    // beyond its first piece: listed once the "=" shows, cut to that piece.
    std::optional<std::string> pending;
    std::string_view line;
    // Outside the section only its next header can matter.
    while (inSection || pending ? reader.next(line) : reader.nextStartingWith("[", line)) {
        if (reader.continuation()) {
            if (pending && line.find('=') != std::string_view::npos) {
                result.keys.push_back(std::move(*pending));
                pending.reset();
            }
            if (pending && !reader.partial()) {
                result.failed = true;
                return result;
            }
            continue;
        }
        if (line.empty())
            continue;
        if (line.front() == '[') {
            // A line in pieces is longer than any header the scan lists.
            inSection = !reader.partial() && line == header;
            result.sectionFound = result.sectionFound || inSection;
            continue;
        }
        // Only the space counts as indentation: continuation lines of wrapped
        // registry values start with blanks, a tab-led line is a key.
        if (line.front() == ' ' || line.front() == ';' || !inSection)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos && !reader.partial()) {
            result.failed = true;
            return result;
        }
        const std::string_view name = line.substr(0, eq);
        std::optional<std::string> entry;
        switch (kind) {
        case FileKind::Ini:
            if (!name.empty())
                entry.emplace(name);
            break;
        case FileKind::Registry:
            if (!name.empty() && name.front() == '@') {
                entry.emplace("@");
            } else if (name.size() < 2) {
                result.failed = true;
                return result;
            } else if (name.size() > 2) {
                // The enclosing quotes go without being checked; escapes stay as written.
                entry.emplace(name.substr(1, name.size() - 2));
            }
            break;
        }
        if (eq == std::string_view::npos)
            pending = std::move(entry);
        else if (entry)
            result.keys.push_back(std::move(*entry));
    }
    result.failed = reader.failed();
    return result;
}

bool unQuote(std::string& text, std::int16_t& quoteState)
{
    if (text == "\"")
        return false;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
        quoteState = kQuotesRemoved;
    } else {
        quoteState = kQuotesKept;
    }
    return true;
}

void enQuote(std::string& text)
{
    if (text.empty() || (text.front() != '"' && text.back() != '"'))
        text = '"' + text + '"';
}

RegistryLookup lookupRegistryValue(const QString& path, std::string_view section, std::string_view entry,
                                   std::string_view currentText)
{
    RegistryLookup result;
    LineReader reader(path);
    if (!reader.isOpen()) {
        result.failed = true;
        return result;
    }
    const std::string header = headerOf(section);
    const std::string prefix = '"' + std::string(entry) + "\"=";
    // Compared with the line's first two bytes: only a one-byte entry such as
    // "@" can match, which finds the default value's "@=" line.
    const std::string shortPrefix = std::string(entry) + '=';
    bool inSection = false;
    bool firstLine = true;
    bool joining = false;  // the hex value found goes on in the next piece or line
    std::string_view line;
    // Outside the section only its next header can matter.
    while (inSection || joining || firstLine ? reader.next(line) : reader.nextStartingWith("[", line)) {
        if (firstLine) {
            firstLine = false;
            const bool utf16 = reader.encoding() == Encoding::Utf16LE || reader.encoding() == Encoding::Utf16BE;
            const std::string_view head = line.substr(line.substr(0, 2) == "\xFF\xFE" ? 2 : 0);
            result.utf16Data = utf16 || head.substr(0, 23) == "Windows Registry Editor";
        }
        if (joining) {
            std::string_view more = line;
            if (!reader.continuation())
                more.remove_prefix(std::min(more.find_first_not_of(" \t"), more.size()));
            result.whole += more;
            joining = reader.partial() || (!result.whole.empty() && result.whole.back() == '\\');
            if (joining && !reader.partial())
                result.whole.pop_back();
        }
        // Only the first piece of a line longer than the reader's bound is
        // looked at; a value cut there is shown but cannot be edited.
        if (reader.continuation() || line.empty())
            continue;
        if (line.front() == '[') {
            inSection = !reader.partial() && line == header;
            continue;
        }
        if (!inSection)
            continue;
        bool matched = false;
        std::string value;
        if (line.substr(0, prefix.size()) == prefix) {
            matched = true;
            value = line.substr(prefix.size());
        } else if (line.substr(0, 2) == shortPrefix) {
            matched = true;
            value = line.substr(std::min<std::size_t>(2, line.size()));
        }
        if (matched) {
            std::int16_t quoteState = kQuotesKept;
            if (!unQuote(value, quoteState)) {
                result.failed = true;
                return result;
            }
            result.found = true;
            result.text = std::move(value);
            result.quoteState = quoteState;
            result.cut = reader.partial();
            result.whole = result.text;
            // A quoted value is a string, whatever its text looks like.
            joining = quoteState == kQuotesKept && hexHeadOf(result.whole) &&
                      (reader.partial() || (!result.whole.empty() && result.whole.back() == '\\'));
            if (joining && !reader.partial())
                result.whole.pop_back();
            // Later lines of this occurrence are skipped; a later occurrence
            // of the same header is examined again.
            inSection = false;
        }
        result.examined = true;
        const std::string_view shown = result.found ? std::string_view(result.text) : currentText;
        result.enabled = shown.substr(0, 3) != "hex" && !(result.found && result.cut);
    }
    result.failed = reader.failed();
    return result;
}

ValueView lookUpValue(FileKind kind, const QString& file, std::string_view section, std::string_view label,
                      std::string_view key, std::string_view currentText)
{
    ValueView view;
    switch (kind) {
    case FileKind::Ini: {
        std::string value = Commands::ReadProfileValue(label, key, file, "");
        // A box showing only the beginning of a value would cut the rest off
        // in the file when applied; every other INI value is editable (a
        // registry "hex" value may have disabled the box before).
        const bool full = value.size() + 1 == std::size_t(Commands::kProfileBufferSize);
        view.text = std::move(value);
        view.enabled = !full || !Commands::ProfileValueIsCut(label, key, file);
        view.toolTip = QString();
        break;
    }
    case FileKind::Registry: {
        RegistryLookup lookup = lookupRegistryValue(file, section, key, currentText);
        if (lookup.found) {
            view.quoteState = lookup.quoteState;
            view.text = std::move(lookup.text);
            view.toolTip =
                lookup.quoteState == kQuotesRemoved ? QString() : describeRegistryValue(lookup.whole, lookup.utf16Data);
        }
        if (lookup.examined)
            view.enabled = lookup.enabled;
        view.failed = lookup.failed;
        break;
    }
    }
    return view;
}

}  // namespace keyloom
