#include "document/regedit4text.h"

#include "document/linerules.h"
#include "document/regvalue.h"
#include "platform/textcodec.h"

#include <algorithm>
#include <cstring>

namespace keyloom {

namespace {

constexpr std::string_view kCrLf("\r\n");

// One list's data re-encoded: each UTF-16LE code unit of `lines` (the list
// as it stands, every line with CR LF, all but the last continued with "\")
// becomes the Windows-1252 byte of its character, a zero unit a zero byte.
// Characters the code page lacks, and data that cannot be read (not hex,
// half a unit, half a surrogate pair, counting once more for that), go into
// `lacking` with their line (`firstLine` being the list's first).
struct Recoding {
    std::size_t size = 0;
    std::uint64_t lacking = 0;
    std::uint64_t firstLacking = 0;
};

Recoding recodeList(std::string_view lines, std::uint64_t firstLine, std::string& recoded)
{
    Recoding result;
    const char* p = lines.data();
    const char* const end = p + lines.size();
    std::uint64_t line = firstLine;
    const char* counted = p;
    // Asked in file order; a position before the last one asked keeps its line.
    auto lack = [&](const char* at) {
        if (at > counted) {
            line += std::uint64_t(std::count(counted, at, '\n'));
            counted = at;
        }
        if (result.lacking++ == 0)
            result.firstLacking = line;
    };
    // A unit takes at least five characters ("xx,xx"), six but for the last.
    recoded.resize(lines.size() / 6 + 1);
    char* const out = recoded.data();
    std::size_t n = 0;
    const char* highAt = nullptr;  // the first half of a surrogate pair
    bool stopped = false;
    while (p != end && !stopped) {
        const char* const unitAt = p;
        // Most units are a Latin letter, "xx,00," with more on the same line.
        if (end - p > 6 && std::memcmp(p + 2, ",00,", 4) == 0 &&
            kHexDigitValue[static_cast<unsigned char>(p[6])] >= 0) {
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
            lack(highAt ? highAt : low < 0 ? p : unitAt);
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
            lack(highAt ? highAt : unitAt);
            stopped = !highAt || unit < 0xDC00 || unit > 0xDFFF;
            highAt = nullptr;
            continue;
        }
        const char byte = unit < 0x80 ? static_cast<char>(unit) : toWindows1252(unit);
        if (byte == '?' && unit != u'?')
            lack(unitAt);
        out[n++] = byte;
    }
    if (highAt && !stopped)
        lack(highAt);
    result.size = n;
    return result;
}

// Room for the REGEDIT4 text of a file of `fileSize` bytes: its size in
// 8-bit characters, plus a little for line ends that grow from one byte to
// CR LF. Where more line ends grow, the text outgrows it.
std::size_t textCapacityFor(std::int64_t fileSize, Encoding encoding)
{
    return static_cast<std::size_t>(std::max<std::int64_t>(fileSize, 0) / (isUtf16(encoding) ? 2 : 1)) + 64;
}

}  // namespace

void Regedit4Builder::Unheld::add(std::uint64_t n, std::uint64_t line)
{
    count += n;
    if (firstLine == 0 || line < firstLine)
        firstLine = line;
}

void Regedit4Builder::append(std::string_view bytes)
{
    // The pre-faulting thread works on the room as first reserved.
    if (prefault_ && text_.size() + bytes.size() > text_.capacity())
        prefault_.reset();
    text_ += bytes;
}

bool Regedit4Builder::add(const LineReader& reader, std::string_view line, std::uint64_t lineNumber)
{
    const bool lineStart = !reader.continuation();
    lastLine_ = lineNumber;
    // A marker line in pieces shows its ending with its last piece.
    if (inMarkerLine_ && !lineStart && !reader.partial())
        markerEnded_ = reader.ending() != LineEnding::None;
    if (markerFound_ && !(inMarkerLine_ && !lineStart)) {
        const std::size_t at = text_.size();
        // Most lines end in CR LF already and go in with it at once.
        if (reader.ending() == LineEnding::CrLf) {
            append(reader.withEnding());
        } else {
            append(line);
            if (!reader.partial())
                append(kCrLf);
        }
        if (lineStart && !list_.open)
            startList(line, at, lineNumber);
        // A list goes on while its lines end in "\". One whose lines come
        // in pieces is kept as it stands.
        if (list_.open && reader.partial())
            list_.broken = true;
        else if (list_.open && !continuesOnNextLine(line))
            finishList();
        if (firstUnmappedLine_ == 0 && reader.unmapped() != unmappedBefore_)
            firstUnmappedLine_ = lineNumber;
    }
    // Tested after the append, so a second marker line is appended first
    // and then dropped with everything before it.
    bool first = false;
    if (lineStart) {
        inMarkerLine_ = isExportMarkerLine(line);
        if (inMarkerLine_) {
            first = !markerFound_;
            if (first)
                restart(reader);
            markerFound_ = true;
            markerLine_ = lineNumber;
            markerEnded_ = !reader.partial() && reader.ending() != LineEnding::None;
            text_.assign("REGEDIT4\r\n");
            list_ = {};
            inLists_ = {};
            firstUnmappedLine_ = 0;
        }
    }
    if (inMarkerLine_)
        unmappedBefore_ = reader.unmapped();
    return first;
}

void Regedit4Builder::restart(const LineReader& reader)
{
    // The text that follows is at most the rest of the file (half of it for
    // UTF-16): room for it at once spares copying a growing string of
    // hundreds of megabytes again and again.
    text_.reserve(textCapacityFor(fileSize_, reader.encoding()));
    adviseHugePages(text_.data(), text_.capacity());
    // The text of a UTF-16 export is about as long as that room: its pages
    // are mapped in beside the decoding.
    if (isUtf16(reader.encoding()))
        prefault_.emplace(text_.data(), text_.capacity());
}

void Regedit4Builder::startList(std::string_view line, std::size_t at, std::uint64_t lineNumber)
{
    const std::optional<std::size_t> value = valueStartOf(line);
    // Most values are strings or numbers: only "hex" is worth a closer look.
    if (!value || (line.substr(*value, 1) != "h" && line.substr(*value, 1) != "H"))
        return;
    const std::optional<HexHead> head = hexHeadOf(line.substr(*value));
    if (head && holdsText(*head))
        list_ = TextList{true, false, at, *value + head->listStart, lineNumber};
}

void Regedit4Builder::finishList()
{
    list_.open = false;
    if (list_.broken) {
        inLists_.add(1, list_.line);
        return;
    }
    const std::size_t listAt = list_.start + list_.headLength;
    const std::string_view lines = std::string_view(text_).substr(listAt, text_.size() - listAt - kCrLf.size());
    const Recoding recoding = recodeList(lines, list_.line, recoded_);
    // A list that holds a character the code page lacks stays as it stands.
    if (recoding.lacking > 0) {
        inLists_.add(recoding.lacking, recoding.firstLacking);
        return;
    }
    text_.resize(listAt);
    appendWrappedHexList(text_, list_.headLength, std::string_view(recoded_).substr(0, recoding.size));
    text_ += kCrLf;
}

std::string Regedit4Builder::finish(const LineReader& reader)
{
    prefault_.reset();
    if (list_.open) {
        list_.broken = true;
        finishList();
    }
    if (markerFound_) {
        if (!markerEnded_)
            damagedLine_ = markerLine_;
        else if (reader.oddByteAtEnd())
            damagedLine_ = lastLine_;
        unheld_ = inLists_;
        if (reader.unmapped() != unmappedBefore_)
            unheld_.add(reader.unmapped() - unmappedBefore_, firstUnmappedLine_);
    }
    // A marker late in an 8-bit file leaves most of that room unused.
    if (text_.capacity() > 2 * text_.size() + 4096)
        text_.shrink_to_fit();
    return std::move(text_);
}

}  // namespace keyloom
