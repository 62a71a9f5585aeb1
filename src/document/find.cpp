#include "document/find.h"

#include "document/textmatch.h"
#include "platform/fileio.h"
#include "platform/lines.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

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

// How many rows the key list of the section with header line `header` holds
// before those of the header line that is row `block` of the section list:
// the rows of its earlier header lines with the same text. None when the
// listing stops before that block, which then adds no rows.
struct Offset {
    std::optional<int> rows;
    bool cancelled = false;
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
    return {};
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
    std::size_t unit_ = 1;
    std::int64_t textStart_ = 0;  // file offset of the first line
};

bool RawScan::read()
{
    const std::size_t old = buffer_.size();
    buffer_.resize(old + kIoBlock);
    const std::int64_t n = file_.read(buffer_.data() + old, kIoBlock);
    buffer_.resize(old + static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
    eof_ = n <= 0;
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
        return result;
    // The encoding as the line reader tells it from the first bytes.
    while (read() && buffer_.size() < 3) {}
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
            return result;
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
    std::string section_;           // section list entry of the current block, where rows are looked at
    std::string nameBuffer_;        // a Wine key path decoded
    std::optional<Offset> offset_;  // of the current block, once asked for
    // Value lookups made, by section and key: the lookup's answer depends on
    // nothing else.
    std::map<std::pair<std::string, std::string>, bool> shown_;
};

bool Walk::valueShows(std::string_view entry)
{
    auto key = std::make_pair(section_, std::string(entry));
    if (const auto known = shown_.find(key); known != shown_.end())
        return known->second;
    const ValueView view = lookUpValue(request_.kind, request_.path, section_, section_, entry, {});
    const bool shows = view.text && textContains(*view.text, request_.query.text, request_.codec, cs_);
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
    return {};
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
        valueHit = shown && holds(*shown);
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
    if (!at.cancelled && valueHit && !valueShows(row.entry))
        return std::nullopt;
    if (!at.rows && !at.cancelled)
        at = keyRow(local);
    if (at.cancelled)
        return ending(FindStatus::Cancelled);
    if (!at.rows) {
        rows_.start(false);  // the key list ends before this block
        return std::nullopt;
    }
    return FindResult{FindStatus::Found, {block_, *at.rows}, keyHit ? FindHit::Key : FindHit::Value};
}

}  // namespace

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
