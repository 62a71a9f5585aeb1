#include "document/find.h"

#include "document/textmatch.h"
#include "platform/fileio.h"
#include "platform/lines.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace keyloom {

namespace {

constexpr auto npos = std::string_view::npos;

// How often the line walks look at the cancel flag and report progress.
constexpr std::int64_t kLinesPerCheck = 4096;

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

void reportRead(FindControl* control, std::int64_t bytes)
{
    if (control && bytes > control->bytesRead.load(std::memory_order_relaxed))
        control->bytesRead.store(bytes, std::memory_order_relaxed);
}

bool cancelled(const FindControl* control) { return control && control->cancel.load(std::memory_order_relaxed); }

FindResult ending(FindStatus status)
{
    FindResult result;
    result.status = status;
    return result;
}

// The value box shows a text that holds the search text once section row
// `section` and its key `entry` are chosen; `failed` is set when the value
// could not be read.
bool boxShowsText(const FindRequest& request, std::string_view section, std::string_view entry, bool& failed)
{
    const ValueView view = lookUpValue(request.kind, request.path, section, section, entry, {});
    failed = failed || view.readFailed;
    const Qt::CaseSensitivity cs = request.query.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    return view.text && textContains(*view.text, request.query.text, shownCodec(view, request.codec), cs);
}

// A UTF-16 file read in the code page (`wide`) shows "?" for each character
// the code page lacks, and the value box then shows such a value as the file
// holds it: only that text can tell whether it holds the search text. True
// where `shown` may be such a value with the text in it.
bool mayShowOtherwise(bool wide, std::string_view shown, const NeedleFilter& filter)
{
    return wide && shown.find('?') != npos && filter.mayOccur(shown);
}

// How many rows the key list of the section with header line `header` holds
// before those of the header line that is row `block` of the section list:
// the rows of its earlier header lines with the same text. None when the
// listing stops before that block, which then adds no rows.
struct Offset {
    std::optional<int> rows;
    bool cancelled = false;
    bool failed = false;  // the file could not be read up to that block
};

Offset rowsBefore(const QString& path, FileKind kind, std::string_view section, int block, FindControl* control)
{
    LineReader reader(path);
    KeyRows rows(kind);
    SectionMatcher opens(section, kind);
    std::string name;
    int current = -1;
    int before = 0;
    bool same = false;
    std::int64_t lines = 0;
    std::string_view line;
    while (reader.next(line)) {
        if (++lines % kLinesPerCheck == 0 && cancelled(control))
            return {std::nullopt, true};
        const bool continuation = reader.continuation();
        if (!continuation && isHeaderLine(line)) {
            if (same) {
                if (rows.ended())
                    return {};
                before += rows.count();
            }
            same = false;
            rows.start(false);
            if (!sectionNameOf(line, kind, name))
                continue;
            if (++current == block)
                return {before};
            same = opens.opens(line, !reader.partial());
            rows.start(same);
            continue;
        }
        if (same)
            rows.feed(line, continuation, reader.partial());
    }
    Offset none;
    none.failed = !reader.isOpen() || reader.failed();
    return none;
}

// Where the first possible match at or after a section row stands, found
// on the file's raw bytes: header lines are counted where a "[" follows a
// line end, and the text is looked for with the filter, without splitting
// the file into lines or decoding it.
struct Prescan {
    FindStatus status = FindStatus::NotFound;
    int block = 0;  // section row of the first possible match
};

class RawScan {
public:
    RawScan(const FindRequest& request, const NeedleFilter& textFilter, int fromBlock, FindControl* control)
        : request_(request), textFilter_(textFilter), fromBlock_(fromBlock), control_(control)
    {}
    Prescan run();

private:
    bool read();
    bool headerAt(std::size_t p) const;
    int countHeaders(std::size_t from, std::size_t to) const;

    const FindRequest& request_;
    const NeedleFilter& textFilter_;
    int fromBlock_;
    FindControl* control_;
    InputFile file_;
    std::string buffer_;
    std::int64_t base_ = 0;  // file offset of buffer_[0]
    bool eof_ = false;
    bool failed_ = false;
    std::size_t unit_ = 1;
    std::int64_t textStart_ = 0;  // file offset of the first line
};

bool RawScan::read()
{
    const std::size_t old = buffer_.size();
    buffer_.resize(old + ioBlock());
    const std::int64_t n = file_.read(buffer_.data() + old, ioBlock());
    buffer_.resize(old + static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
    eof_ = n <= 0;
    failed_ = failed_ || n < 0;
    reportRead(control_, base_ + static_cast<std::int64_t>(buffer_.size()));
    return n > 0;
}

// A "[" at buffer position p begins a line of at least two characters. The
// caller keeps one unit before p in the buffer and, unless at the end of the
// file, the unit after it.
bool RawScan::headerAt(std::size_t p) const
{
    const std::int64_t at = base_ + static_cast<std::int64_t>(p);
    const std::size_t size = buffer_.size();
    if (unit_ == 1) {
        const bool lineStart = at == textStart_ || isLineEnd(buffer_[p - 1]);
        return lineStart && p + 1 < size && !isLineEnd(buffer_[p + 1]);
    }
    // UTF-16LE: the unit 005B, never the first line's (it begins with the
    // byte-order mark's "ÿþ"), after a CR or LF unit, before a unit that is
    // neither.
    if (at % 2 != 0 || at == textStart_ || p + 1 >= size || buffer_[p + 1] != '\0')
        return false;
    const bool lineStart = isLineEnd(buffer_[p - 2]) && buffer_[p - 1] == '\0';
    const bool more = p + 3 < size && !(isLineEnd(buffer_[p + 2]) && buffer_[p + 3] == '\0');
    return lineStart && more;
}

int RawScan::countHeaders(std::size_t from, std::size_t to) const
{
    int count = 0;
    for (std::size_t p = from; p < to; ++p) {
        const void* hit = std::memchr(buffer_.data() + p, '[', to - p);
        if (!hit)
            break;
        p = static_cast<std::size_t>(static_cast<const char*>(hit) - buffer_.data());
        if (headerAt(p))
            ++count;
    }
    return count;
}

Prescan RawScan::run()
{
    Prescan result;
    if (!file_.open(request_.path))
        return {FindStatus::Failed, 0};
    // The encoding as the line reader tells it from the first bytes.
    while (read() && buffer_.size() < 3) {}
    if (failed_)
        return {FindStatus::Failed, 0};
    const Encoding encoding =
        encodingOfMark(std::string_view(buffer_.data(), std::min<std::size_t>(buffer_.size(), 3)));
    NeedleFilter wide;
    const NeedleFilter* filter = &textFilter_;
    if (encoding == Encoding::Utf8Bom) {
        textStart_ = 3;
    } else if (encoding == Encoding::Utf16LE) {
        unit_ = 2;
        textStart_ = 2;
        wide = NeedleFilter::forUtf16(request_.query.text,
                                      request_.query.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
        filter = &wide;
    } else if (encoding == Encoding::Utf16BE) {
        filter = nullptr;  // big-endian UTF-16, rare enough to be left to the line walk
    }
    if (filter && filter->never())
        return result;
    if (!filter || filter->always())
        return {FindStatus::Found, fromBlock_};

    // Starts tested per round leave room for the whole needle and for the
    // unit after a "[".
    const std::size_t need = std::max(filter->span(), 2 * unit_);
    std::size_t pos = static_cast<std::size_t>(textStart_);
    int headers = 0;
    for (;;) {
        if (cancelled(control_))
            return {FindStatus::Cancelled, 0};
        const std::size_t size = buffer_.size();
        const std::size_t limit = eof_ ? size : size >= need ? size - need + 1 : 0;
        const std::string_view window(buffer_.data(), eof_ ? size : std::min(size, limit + filter->span() - 1));
        while (pos < limit) {
            const std::size_t hit = filter->find(window, pos);
            if (hit == npos || hit >= limit)
                break;
            headers += countHeaders(pos, hit + 1);
            pos = hit + 1;
            // A hit between two UTF-16 units is none.
            const bool aligned = unit_ == 1 || (base_ + static_cast<std::int64_t>(hit)) % 2 == 0;
            if (aligned && headers - 1 >= fromBlock_)
                return {FindStatus::Found, headers - 1};
        }
        if (pos < limit) {
            headers += countHeaders(pos, limit);
            pos = limit;
        }
        if (eof_)
            return failed_ ? Prescan{FindStatus::Failed, 0} : result;
        // Keep what is still to be tested and the unit before it.
        const std::size_t keep = pos >= unit_ ? pos - unit_ : 0;
        buffer_.erase(0, keep);
        base_ += static_cast<std::int64_t>(keep);
        pos -= keep;
        read();
    }
}

// The walk over the lines: section names, key names and values after the
// start, exact, with the rows the key list would show.
class Walk {
public:
    Walk(const FindRequest& request, const NeedleFilter& filter, FindControl* control)
        : request_(request), filter_(filter), control_(control), rows_(request.kind),
          cs_(request.query.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive)
    {}
    // Walks from the file's start; rows of section rows before `firstBlock`
    // are not looked at.
    FindResult run(int firstBlock);

private:
    bool holds(std::string_view bytes) const
    {
        return filter_.mayOccur(bytes) && textContains(bytes, request_.query.text, request_.codec, cs_);
    }
    // The value box shows the text for `entry` once the current section row
    // and that key are chosen.
    bool valueShows(std::string_view entry);
    // The match that `row` of the current block is, if any: a key or value
    // hit after the start, or the end of a cancelled search.
    std::optional<FindResult> rowMatch(const KeyRows::Row& row);
    // The key list's row for the current block's row `local`: unset when the
    // key list ends before this block, or when the search was cancelled.
    Offset keyRow(int local);

    const FindRequest& request_;
    const NeedleFilter& filter_;
    FindControl* control_;
    KeyRows rows_;
    Qt::CaseSensitivity cs_;
    int block_ = -1;
    bool failed_ = false;           // a read for a value lookup failed
    std::string section_;           // section list entry of the current block, where rows are looked at
    std::string nameBuffer_;        // a Wine key path decoded
    std::optional<Offset> offset_;  // of the current block, once asked for
    // Value lookups made, by section and key: the lookup's answer depends on
    // nothing else.
    std::map<std::pair<std::string, std::string>, bool> shown_;
    bool wide_ = false;  // a UTF-16 file read in the code page
};

bool Walk::valueShows(std::string_view entry)
{
    auto key = std::make_pair(section_, std::string(entry));
    if (const auto known = shown_.find(key); known != shown_.end())
        return known->second;
    const bool shows = boxShowsText(request_, section_, entry, failed_);
    if (shown_.size() > 4096)
        shown_.clear();
    shown_.emplace(std::move(key), shows);
    return shows;
}

Offset Walk::keyRow(int local)
{
    if (!offset_)
        offset_ = rowsBefore(request_.path, request_.kind, section_, block_, control_);
    if (!offset_->rows)
        return *offset_;
    return {*offset_->rows + local};
}

FindResult Walk::run(int firstBlock)
{
    const FindQuery& query = request_.query;
    const FindPosition from = request_.from;
    LineReader reader(request_.path);
    bool looking = false;  // the current block is at or after firstBlock
    std::int64_t lines = 0;
    std::int64_t textBytes = 0;
    std::string_view line;
    while (reader.next(line)) {
        wide_ = isUtf16(reader.encoding()) && !reader.unicodeText();
        const LineEnding end = reader.ending();
        textBytes += static_cast<std::int64_t>(line.size()) + (end == LineEnding::CrLf ? 2 : end != LineEnding::None);
        if (++lines % kLinesPerCheck == 0) {
            if (cancelled(control_))
                return ending(FindStatus::Cancelled);
            reportRead(control_, textBytes * (isUtf16(reader.encoding()) ? 2 : 1));
        }
        const bool continuation = reader.continuation();
        if (!continuation && isHeaderLine(line)) {
            rows_.start(false);
            const std::optional<std::string_view> name = sectionNameOf(line, request_.kind, nameBuffer_);
            if (!name)
                continue;
            ++block_;
            looking = block_ >= firstBlock;
            if (!looking)
                continue;
            offset_.reset();
            section_.assign(*name);
            // The block is listed when its header line opens the section it names.
            rows_.start(!reader.partial() && (request_.kind == FileKind::WineRegistry || line.back() == ']'));
            if (query.sections && block_ > from.section && holds(section_))
                return {FindStatus::Found, {block_, -1}, FindHit::Section};
            continue;
        }
        if (!looking)
            continue;
        const std::optional<KeyRows::Row> row = rows_.feed(line, continuation, reader.partial());
        if (!row)
            continue;
        if (std::optional<FindResult> found = rowMatch(*row))
            return *found;
    }
    // A read that failed hides what the rest of the file holds.
    return ending(!reader.isOpen() || reader.failed() ? FindStatus::Failed : FindStatus::NotFound);
}

std::optional<FindResult> Walk::rowMatch(const KeyRows::Row& row)
{
    const FindQuery& query = request_.query;
    const FindPosition from = request_.from;
    const bool keyHit = query.keys && holds(row.entry);
    bool valueHit = false;
    // Wine's values are escaped in the file: only their decoded text can tell.
    const bool escaped = request_.kind == FileKind::WineRegistry;
    if (!keyHit && query.values && row.value && (escaped || filter_.mayOccur(*row.value))) {
        const std::optional<std::string> shown = shownValue(request_.kind, *row.value);
        // A value the box shows otherwise is told by the lookup below.
        valueHit = shown && (holds(*shown) || mayShowOtherwise(wide_, *shown, filter_));
    }
    if (!keyHit && !valueHit)
        return std::nullopt;
    const int local = rows_.count() - 1;
    Offset at;
    // In the starting block only rows after the starting one count: the
    // row number comes first there, before any value lookup.
    if (block_ == from.section && from.key >= 0) {
        at = keyRow(local);
        if (at.rows && *at.rows <= from.key)
            return std::nullopt;
    }
    if (!at.cancelled && !at.failed && valueHit && !valueShows(row.entry))
        return failed_ ? std::optional(ending(FindStatus::Failed)) : std::nullopt;
    if (!at.rows && !at.cancelled && !at.failed)
        at = keyRow(local);
    if (at.cancelled)
        return ending(FindStatus::Cancelled);
    if (at.failed || failed_)
        return ending(FindStatus::Failed);
    if (!at.rows) {
        rows_.start(false);  // the key list ends before this block
        return std::nullopt;
    }
    return FindResult{FindStatus::Found, {block_, *at.rows}, keyHit ? FindHit::Key : FindHit::Value};
}

// A hash of a header line, eight bytes a step; cheaper than std::hash on
// lines this long, and the table it serves compares the lines themselves
// where hashes meet.
std::uint64_t headerHash(std::string_view bytes)
{
    constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = bytes.size() * kOdd;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        h = (h ^ word) * kOdd;
        h ^= h >> 29;
    }
    for (; i < bytes.size(); ++i)
        h = (h ^ static_cast<unsigned char>(bytes[i])) * kOdd;
    h *= 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 32);
}

// Where the line that starts at `from` in `bytes` ends: its CR or LF, or the
// end of `bytes`. A CR is looked for only before the LF.
std::size_t lineEndIn(std::string_view bytes, std::size_t from)
{
    const char* const begin = bytes.data();
    const auto* lf = static_cast<const char*>(std::memchr(begin + from, '\n', bytes.size() - from));
    const std::size_t upTo = lf ? std::size_t(lf - begin) : bytes.size();
    const auto* cr = static_cast<const char*>(std::memchr(begin + from, '\r', upTo - from));
    return cr ? std::size_t(cr - begin) : upTo;
}

// Walks the lines of one header line's block (`lines` after a line end of
// their own, so that they are never a file's first) as the key list lists
// them; `row` gets each row, and false from it stops the walk. Returns
// whether the listing ended in the block.
template <typename RowSink>
bool walkBlock(FileKind kind, std::string_view lines, RowSink row)
{
    KeyRows rows(kind);
    rows.start(true);
    // A block longer than the line reader's bound may hold a line that the
    // reader gives in pieces: it is split by the reader itself. Shorter ones
    // are split here the same way, without the reader's buffer.
    if (lines.size() > LineReader::kMaxLine) {
        LineReader reader(LineReader::FromMemory{}, lines);
        std::string_view line;
        while (reader.next(line)) {
            const std::optional<KeyRows::Row> r = rows.feed(line, reader.continuation(), reader.partial());
            if (r && !row(*r, rows.count() - 1))
                break;
        }
        return rows.ended();
    }
    std::size_t at = 0;
    while (at < lines.size()) {
        const std::size_t end = lineEndIn(lines, at);
        const std::optional<KeyRows::Row> r = rows.feed(lines.substr(at, end - at), false, false);
        if (r && !row(*r, rows.count() - 1))
            break;
        at = end + (lines.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return rows.ended();
}

// The blocks of an 8-bit file as raw bytes: each line that begins with "["
// and the bytes after it up to the next such line, found without splitting
// the lines in between. Line starts and pieces as LineReader has them.
class RawBlocks {
public:
    struct Block {
        std::string header;       // the line, its first piece when longer than the reader's bound
        bool partial = false;     // it was longer
        std::int64_t offset = 0;  // of the line in the file
        std::string_view lines;   // the lines after it; valid until the next call
        bool whole = true;        // false: those were too long to keep and are not given
        std::int64_t end = 0;     // of those lines in the file
    };
    explicit RawBlocks(const QString& path) : path_(path) {}
    // The next block; false at the end, for a UTF-16 file, or on a failure.
    bool next(Block& block);
    bool utf16() const { return utf16_; }
    bool failed() const { return failed_; }

private:
    static constexpr std::size_t kKeepAtMost = std::size_t(32) << 20;
    bool read();
    void dropBefore(std::size_t index, std::initializer_list<std::size_t*> positions);
    bool lineStart(std::size_t p) const { return (base_ == 0 && p == textStart_) || (p > 0 && isLineEnd(buf_[p - 1])); }
    // The next line start at or after `from` with a "[", reading on as
    // needed; npos at the end. Bytes from `keep` on stay, unless more than
    // kKeepAtMost would: then `kept` becomes false.
    std::size_t findHeader(std::size_t& from, std::size_t& keep, bool& kept);
    bool start();

    QString path_;
    InputFile file_;
    ByteBuffer buf_;
    std::int64_t base_ = 0;  // file offset of buf_[0]
    std::size_t textStart_ = 0;
    std::size_t pos_ = 0;
    bool started_ = false;
    bool eof_ = false;
    bool failed_ = false;
    bool utf16_ = false;
};

bool RawBlocks::read()
{
    const std::size_t old = buf_.size();
    buf_.resize(old + ioBlock());
    const std::int64_t n = file_.read(buf_.data() + old, ioBlock());
    buf_.resize(old + std::size_t(std::max<std::int64_t>(n, 0)));
    eof_ = n <= 0;
    failed_ = failed_ || n < 0;
    return n > 0;
}

void RawBlocks::dropBefore(std::size_t index, std::initializer_list<std::size_t*> positions)
{
    buf_.eraseFront(index);
    base_ += std::int64_t(index);
    for (std::size_t* p : positions)
        *p -= index;
}

std::size_t RawBlocks::findHeader(std::size_t& from, std::size_t& keep, bool& kept)
{
    for (;;) {
        for (std::size_t p = from; p < buf_.size(); ++p) {
            const void* hit = std::memchr(buf_.data() + p, '[', buf_.size() - p);
            if (!hit)
                break;
            p = std::size_t(static_cast<const char*>(hit) - buf_.data());
            if (lineStart(p)) {
                from = p;
                return p;
            }
        }
        if (eof_)
            return npos;
        // One byte before the unsearched ones tells whether a line starts.
        from = buf_.size();
        if (buf_.size() - keep > kKeepAtMost) {
            kept = false;
            keep = from - 1;
        }
        dropBefore(std::min(keep, from - 1), {&from, &keep});
        read();
    }
}

bool RawBlocks::start()
{
    started_ = true;
    if (!file_.open(path_)) {
        failed_ = true;
        return false;
    }
    while (buf_.size() < 3 && read()) {}
    const std::string_view head(buf_.data(), buf_.size());
    utf16_ = head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF");
    textStart_ = pos_ = head.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    return !utf16_;
}

bool RawBlocks::next(Block& block)
{
    if (!started_ && !start())
        return false;
    if (utf16_ || failed_)
        return false;
    std::size_t keep = pos_ > 0 ? pos_ - 1 : 0;
    bool kept = true;
    std::size_t h = findHeader(pos_, keep, kept);
    if (h == npos)
        return false;
    // The header line's end, with the byte after it (a CR's LF).
    std::size_t e = h;
    for (;;) {
        const std::size_t stop = std::min(buf_.size(), h + LineReader::kMaxLine + 2);
        const char* const from = buf_.data() + e;
        const auto* lf = static_cast<const char*>(std::memchr(from, '\n', stop - e));
        const std::size_t upTo = lf ? std::size_t(lf - buf_.data()) : stop;
        const auto* cr = static_cast<const char*>(std::memchr(from, '\r', upTo - e));
        e = cr ? std::size_t(cr - buf_.data()) : upTo;
        if (eof_ || e + 1 < buf_.size() || e >= h + LineReader::kMaxLine + 1)
            break;
        dropBefore(h, {&h, &e});
        read();
    }
    block.partial = e - h > LineReader::kMaxLine;
    block.header.assign(buf_.data() + h, std::min(e - h, LineReader::kMaxLine));
    block.offset = base_ + std::int64_t(h);
    const bool crLf = e + 1 < buf_.size() && buf_[e] == '\r' && buf_[e + 1] == '\n';
    std::size_t lines = e < buf_.size() ? e + (crLf ? 2 : 1) : e;
    if (block.partial) {
        // The rest of the long line holds no line start: search after it.
        lines = h + 1;
    }
    std::size_t from = lines;
    keep = lines - 1;
    block.whole = true;
    const std::size_t next = findHeader(from, keep, block.whole);
    const std::size_t end = next == npos ? buf_.size() : next;
    // Reading on dropped bytes before `keep`, which stayed just before the lines.
    lines = std::min(keep + 1, end);
    block.lines = block.whole ? std::string_view(buf_.data() + lines, end - lines) : std::string_view();
    block.end = base_ + std::int64_t(end);
    pos_ = end;
    return true;
}

// One pass for findAll, from header line to header line: the lines in
// between are split and listed only in a block where the text may stand.
// Such a block lists nothing when an earlier block with the same header line
// ended the listing; those earlier blocks are found through a table of the
// header lines' hashes and read again, each once at most.
class AllWalk {
public:
    AllWalk(const FindRequest& request, const NeedleFilter& filter, FindControl* control);
    FindAllResult run(const std::function<bool(const FindMatch&)>& sink);
    // The same over an 8-bit file's raw bytes, faster. False where run()
    // must take over (a UTF-16 file, a block too long to keep) for the
    // section rows after `done`, which have not been handed on.
    bool runRaw(const std::function<bool(const FindMatch&)>& sink, FindAllResult& result, int& done);
    // Blocks after this section row are not read.
    void stopAfter(int block) { lastBlock_ = block; }
    // Matches in section rows up to this one are not handed on.
    void skipThrough(int block) { skipThrough_ = block; }

private:
    using Sink = std::function<bool(const FindMatch&)>;
    enum class Listing : std::uint8_t { Unknown, Ended, Open, OtherHeader };
    // A block whose header line could be listed: where it lies in the file
    // (up to the next span's), the latest earlier one whose header line had
    // the same slot. Small: there is one for each header line.
    struct Span {
        std::int64_t begin = 0;  // of the header line
        std::int32_t previous = -1;
        std::uint16_t tag = 0;  // more bits of the header line's hash
        Listing listing = Listing::Unknown;
    };

    bool holds(std::string_view bytes) const
    {
        return filter_.mayOccur(bytes) && textContains(bytes, request_.query.text, request_.codec, cs_);
    }
    // The match a key line's row makes, if any.
    std::optional<FindHit> rowHit(const KeyRows::Row& row);
    void startBlock(std::string_view header, std::int64_t offset);
    // A line that begins with "[" at `offset`: the section row it starts.
    // False when the search stops there.
    bool header(std::string_view line, bool partial, std::int64_t offset, const Sink& sink, FindAllResult& result);
    // Matches the rows of the block that ends at `end`; false when the search stops.
    bool endBlock(const Sink& sink, FindAllResult& result);
    // An earlier block with the current header line ended the listing; unset
    // when the search was cancelled.
    std::optional<bool> endedBefore();
    Listing listingOf(std::size_t index);

    const FindRequest& request_;
    const NeedleFilter& filter_;
    FindControl* control_;
    Qt::CaseSensitivity cs_;
    Encoding encoding_ = Encoding::Bytes;
    bool unicodeText_ = false;  // a UTF-16 file read as UTF-8
    int block_ = -1;
    std::string section_;
    std::string header_;       // of the current block when its lines are listed; empty otherwise
    std::string lines_{"\n"};  // the block's lines, after a line end that keeps them from being a file's first
    std::vector<Span> spans_;
    std::vector<std::int32_t> slots_;  // by a header line's hash: the latest span with it
    int lastBlock_ = std::numeric_limits<int>::max();
    int skipThrough_ = -1;
    bool failed_ = false;  // an earlier block could not be read again
    QFile reread_;         // the file, for earlier blocks read again
};

AllWalk::AllWalk(const FindRequest& request, const NeedleFilter& filter, FindControl* control)
    : request_(request), filter_(filter), control_(control),
      cs_(request.query.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive)
{
    // Small enough to stay in the cache; the tags tell most header lines
    // that share a slot apart.
    slots_.assign(std::size_t(1) << 14, -1);
    // About one header line in 500 bytes: room made once, not moved as it grows.
    spans_.reserve(std::size_t(QFileInfo(request.path).size() / 500) + 16);
}

std::optional<FindHit> AllWalk::rowHit(const KeyRows::Row& row)
{
    const FindQuery& query = request_.query;
    if (query.keys && holds(row.entry))
        return FindHit::Key;
    if (query.values && row.value && filter_.mayOccur(*row.value)) {
        const std::optional<std::string> shown = shownValue(request_.kind, *row.value);
        // A value the box may show otherwise is told by what it shows.
        if (shown && mayShowOtherwise(isUtf16(encoding_) && !unicodeText_, *shown, filter_))
            return boxShowsText(request_, section_, row.entry, failed_) ? std::optional(FindHit::Value) : std::nullopt;
        if (shown && holds(*shown))
            return FindHit::Value;
    }
    return std::nullopt;
}

void AllWalk::startBlock(std::string_view header, std::int64_t offset)
{
    header_.assign(header);
    if (!request_.query.keys && !request_.query.values)
        return;
    const std::uint64_t hash = headerHash(header);
    const std::size_t slot = hash & (slots_.size() - 1);
    spans_.push_back({offset, slots_[slot], std::uint16_t(hash >> 48), Listing::Unknown});
    slots_[slot] = std::int32_t(spans_.size() - 1);
}

AllWalk::Listing AllWalk::listingOf(std::size_t index)
{
    Span& span = spans_[index];
    if (span.listing != Listing::Unknown)
        return span.listing;
    const std::int64_t end = spans_[index + 1].begin;
    // Opened once for every block read again: a few thousand of them.
    if (!reread_.isOpen()) {
        reread_.setFileName(request_.path);
        reread_.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    QByteArray bytes;
    if (reread_.isOpen() && reread_.seek(span.begin))
        bytes = reread_.read(end - span.begin);
    if (bytes.size() != end - span.begin) {
        // Taken as ending the listing: no rows are told from a block that
        // could not be read, and the search says it failed.
        failed_ = true;
        span.listing = Listing::Ended;
        return span.listing;
    }
    std::string decoded;
    std::string_view all(bytes.constData(), std::size_t(bytes.size()));
    if (isUtf16(encoding_)) {
        // Decoded as the file's own reader decodes it, after its mark.
        const QByteArray raw = (encoding_ == Encoding::Utf16LE ? "\xFF\xFE" : "\xFE\xFF") + bytes;
        LineReader reader(LineReader::FromMemory{}, std::string_view(raw.constData(), std::size_t(raw.size())));
        reader.setUnicodeText(unicodeText_);
        std::string_view line;
        while (reader.next(line))
            decoded += reader.withEnding();
        all = decoded;
        if (all.starts_with("\xFF\xFE"))
            all.remove_prefix(2);
    }
    const std::size_t lineEnd = std::min(all.find_first_of("\r\n"), all.size());
    if (all.substr(0, lineEnd) != header_) {
        span.listing = Listing::OtherHeader;
        return span.listing;
    }
    // The block ends at the next line that begins with "[".
    std::size_t cut = all.size();
    for (std::size_t p = all.find('[', lineEnd); p != npos && cut == all.size(); p = all.find('[', p + 1)) {
        if (isLineEnd(all[p - 1]))
            cut = p;
    }
    const std::string lines = '\n' + std::string(all.substr(lineEnd, cut - lineEnd));
    span.listing =
        walkBlock(request_.kind, lines, [](const KeyRows::Row&, int) { return true; }) ? Listing::Ended : Listing::Open;
    return span.listing;
}

std::optional<bool> AllWalk::endedBefore()
{
    const std::int32_t first = spans_.back().previous;
    if (first < 0)
        return false;
    const std::uint16_t tag = spans_.back().tag;
    for (std::int32_t i = first; i >= 0; i = spans_[std::size_t(i)].previous) {
        if (spans_[std::size_t(i)].tag == tag && listingOf(std::size_t(i)) == Listing::Ended)
            return true;
    }
    return false;
}

bool AllWalk::endBlock(const Sink& sink, FindAllResult& result)
{
    if (header_.empty() || spans_.empty()) {
        header_.clear();
        return true;
    }
    const bool look =
        block_ > skipThrough_ && (request_.query.keys || request_.query.values) && filter_.mayOccur(lines_);
    const std::optional<bool> ended = look ? endedBefore() : std::optional(false);
    result.cancelled = !ended;
    if (look && ended && !*ended) {
        const bool endsHere = walkBlock(request_.kind, lines_, [&](const KeyRows::Row& row, int blockRow) {
            const std::optional<FindHit> hit = rowHit(row);
            if (!hit)
                return true;
            ++result.matches;
            result.cancelled = !sink({*hit, block_, section_, row.entry, blockRow});
            return !result.cancelled;
        });
        spans_.back().listing = endsHere ? Listing::Ended : Listing::Open;
    }
    header_.clear();
    lines_.assign("\n");
    return !result.cancelled;
}

FindAllResult AllWalk::run(const Sink& sink)
{
    FindAllResult result;
    LineReader reader(request_.path);
    const bool keyRows = request_.query.keys || request_.query.values;
    LineReader::Passed passed;
    if (keyRows) {
        passed = [this](std::string_view bytes) {
            if (!header_.empty())
                lines_.append(bytes);
        };
    }
    std::int64_t headers = 0;
    std::string_view line;
    while (reader.nextStartingWith("[", line, passed)) {
        encoding_ = reader.encoding();
        unicodeText_ = reader.unicodeText();
        if (!endBlock(sink, result))
            return result;
        if (++headers % kLinesPerCheck == 0)
            reportRead(control_, reader.lineOffset());
        if (!header(line, reader.partial(), reader.lineOffset(), sink, result))
            return result;
    }
    if (!reader.failed())
        endBlock(sink, result);
    result.failed = !reader.isOpen() || reader.failed() || failed_;
    return result;
}

bool AllWalk::header(std::string_view line, bool partial, std::int64_t offset, const Sink& sink, FindAllResult& result)
{
    if (block_ % std::int64_t(kLinesPerCheck) == 0 && (result.cancelled = cancelled(control_)))
        return false;
    // A lone "[" lists nothing after it, up to the next header line.
    const std::optional<std::string_view> name = sectionNameOf(line);
    if (!name)
        return true;
    if (block_ == lastBlock_)
        return false;
    ++block_;
    section_.assign(*name);
    if (!partial && line.back() == ']')
        startBlock(line, offset);
    if (block_ > skipThrough_ && request_.query.sections && holds(section_)) {
        ++result.matches;
        result.cancelled = !sink({FindHit::Section, block_, section_, {}});
    }
    return !result.cancelled;
}

bool AllWalk::runRaw(const Sink& sink, FindAllResult& result, int& done)
{
    RawBlocks blocks(request_.path);
    RawBlocks::Block block;
    const bool keyRows = request_.query.keys || request_.query.values;
    while (blocks.next(block)) {
        if (!block.whole) {
            done = block_;
            return false;
        }
        if (!header(block.header, block.partial, block.offset, sink, result))
            return true;
        // The lines are copied only where the text may stand in them.
        if (keyRows && !header_.empty() && filter_.find(block.lines) != NeedleFilter::npos)
            lines_.append(block.lines);
        if (!endBlock(sink, result))
            return true;
        reportRead(control_, block.end);
    }
    if (blocks.utf16()) {
        done = block_;
        return false;
    }
    result.failed = blocks.failed() || failed_;
    return true;
}

// Every match up to the end of section row `last`, raw where the file
// allows it.
FindAllResult walkAll(const FindRequest& request, const NeedleFilter& filter, FindControl* control, int last,
                      const std::function<bool(const FindMatch&)>& sink)
{
    FindAllResult result;
    int done = -1;
    AllWalk raw(request, filter, control);
    raw.stopAfter(last);
    if (raw.runRaw(sink, result, done))
        return result;
    // The line walk from the start, for what the raw one did not hand on.
    AllWalk lines(request, filter, control);
    lines.stopAfter(last);
    lines.skipThrough(done);
    const std::int64_t before = result.matches;
    result = lines.run(sink);
    result.matches += before;
    return result;
}

}  // namespace

FindAllResult findAll(const FindRequest& request, const std::function<bool(const FindMatch&)>& sink,
                      FindControl* control)
{
    const FindQuery& query = request.query;
    const Qt::CaseSensitivity cs = query.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const NeedleFilter filter = NeedleFilter::forText(query.text, request.codec, cs);
    FindAllResult none;
    if (filter.never() || !(query.sections || query.keys || query.values)) {
        none.failed = !isRegularFile(request.path);
        return none;
    }
    // A text that occurs nowhere is told by the raw scan, which is faster
    // than the walk; where it may occur, the walk goes from the start.
    const Prescan first = RawScan(request, filter, 0, control).run();
    if (first.status != FindStatus::Found) {
        none.cancelled = first.status == FindStatus::Cancelled;
        none.failed = first.status == FindStatus::Failed;
        return none;
    }
    return walkAll(request, filter, control, std::numeric_limits<int>::max(), sink);
}

FindResult findPrevious(const FindRequest& request, FindControl* control)
{
    const FindQuery& query = request.query;
    const Qt::CaseSensitivity cs = query.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const NeedleFilter filter = NeedleFilter::forText(query.text, request.codec, cs);
    if (filter.never() || !(query.sections || query.keys || query.values) || request.from.section < 0)
        return {};
    // The rows the key lists show, with values as their own lines hold them,
    // up to the starting block; then the last of them that the exact rules
    // confirm. Only the latest candidates are kept: a value whose lookup
    // shows another line's value is rare.
    struct Candidate {
        FindHit hit;
        int block;
        int blockRow;
        std::string section;
        std::string entry;
    };
    constexpr std::size_t kKept = 4096;
    std::deque<Candidate> candidates;
    const FindAllResult walked = walkAll(request, filter, control, request.from.section, [&](const FindMatch& m) {
        if (candidates.size() == kKept)
            candidates.pop_front();
        candidates.push_back({m.hit, m.section, m.blockRow, std::string(m.sectionName),
                              m.hit == FindHit::Value ? std::string(m.key) : std::string()});
        return true;
    });
    if (walked.cancelled)
        return ending(FindStatus::Cancelled);
    if (walked.failed)
        return ending(FindStatus::Failed);
    const auto before = [&](FindPosition p) {
        return p.section < request.from.section || (p.section == request.from.section && p.key < request.from.key);
    };
    std::map<int, Offset> offsets;
    for (auto c = candidates.rbegin(); c != candidates.rend(); ++c) {
        if (cancelled(control))
            return ending(FindStatus::Cancelled);
        if (c->hit == FindHit::Section) {
            if (before({c->block, -1}))
                return {FindStatus::Found, {c->block, -1}, FindHit::Section};
            continue;
        }
        auto offset = offsets.find(c->block);
        if (offset == offsets.end())
            offset = offsets
                         .emplace(c->block,
                                  rowsBefore(request.path, request.kind, headerLineOf(c->section), c->block, control))
                         .first;
        if (offset->second.cancelled || offset->second.failed)
            return ending(offset->second.cancelled ? FindStatus::Cancelled : FindStatus::Failed);
        if (!offset->second.rows || !before({c->block, *offset->second.rows + c->blockRow}))
            continue;
        if (c->hit == FindHit::Value) {
            bool failed = false;
            const bool shows = boxShowsText(request, c->section, c->entry, failed);
            if (failed)
                return ending(FindStatus::Failed);
            if (!shows)
                continue;
        }
        return {FindStatus::Found, {c->block, *offset->second.rows + c->blockRow}, c->hit};
    }
    return {};
}

FindResult findNext(const FindRequest& request, FindControl* control)
{
    const FindQuery& query = request.query;
    const Qt::CaseSensitivity cs = query.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const NeedleFilter filter = NeedleFilter::forText(query.text, request.codec, cs);
    if (filter.never() || !(query.sections || query.keys || query.values))
        return {};
    // The raw bytes of Wine's files hold their names escaped: no prescan.
    const int fromBlock = std::max(request.from.section, 0);
    const Prescan first = request.kind == FileKind::WineRegistry ? Prescan{FindStatus::Found, fromBlock}
                                                                 : RawScan(request, filter, fromBlock, control).run();
    if (first.status != FindStatus::Found)
        return ending(first.status);
    return Walk(request, filter, control).run(first.block);
}

}  // namespace keyloom
