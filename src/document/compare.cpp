#include "document/compare.h"

#include "document/linerules.h"
#include "document/regvalue.h"
#include "document/winereg.h"
#include "platform/lines.h"
#include "platform/profile.h"
#include "platform/textcodec.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>
#include <unordered_map>
#include <utility>

namespace keyloom {

namespace {

// How often the header pass looks at the cancel flag and reports progress.
constexpr std::uint64_t kHeadersPerCheck = 1024;

bool isAscii(std::string_view s)
{
    // Eight bytes at a time: whole sections are tested.
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        any |= word;
    }
    for (; i < s.size(); ++i)
        any |= static_cast<unsigned char>(s[i]);
    return (any & 0x8080808080808080ull) == 0;
}

// One file as the comparison reads it.
struct Side {
    QString path;
    FileKind kind = FileKind::Ini;
    bool utf16 = false;      // a UTF-16 file: its 8-bit text is Windows-1252
    bool utf16Data = false;  // its hex(1), hex(2) and hex(7) data are UTF-16 code units
    std::int64_t size = 0;
};

// How the bytes of one block are text: a UTF-16 file's in Windows-1252; an
// 8-bit file's in UTF-8 where they are valid UTF-8; a block re-read exactly
// because Windows-1252 lacked some of its characters in UTF-8.
struct TextRule {
    bool utf16 = false;
    bool utf8 = false;
    bool asUtf8(std::string_view bytes) const { return utf8 || (!utf16 && isValidUtf8(bytes)); }
    QString decode(std::string_view bytes) const
    {
        return decodeText(bytes, asUtf8(bytes) ? TextCodec::Utf8 : TextCodec::Windows1252);
    }
    // The same bytes are the same text under both rules.
    static bool alike(std::string_view bytes, const TextRule& x, const TextRule& y)
    {
        return isAscii(bytes) || x.asUtf8(bytes) == y.asUtf8(bytes);
    }
    // The same text from either file gives the same bytes.
    std::string normal(std::string_view bytes) const
    {
        return isAscii(bytes) ? std::string(bytes) : decode(bytes).toStdString();
    }
};

// The hash of a name's profileNameKey; ASCII names, nearly all, without
// making that key.
std::uint64_t nameHash(std::string_view name, const TextRule& rule)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!name.empty() && blank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && blank(name.back()))
        name.remove_suffix(1);
    // One pass that lower-cases and finds bytes beyond ASCII at once.
    thread_local std::string lowered;
    lowered.resize(name.size());
    unsigned char any = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        any |= c;
        lowered[i] = static_cast<char>(unsigned(c - 'A') < 26u ? c + ('a' - 'A') : c);
    }
    if (any & 0x80)
        return std::hash<std::string>{}(profileNameKey(rule.normal(name)));
    return std::hash<std::string>{}(lowered);
}

// Whether two names are the same for a reader, ASCII names, nearly all,
// compared without making their keys.
bool sameKeyName(std::string_view x, const TextRule& rx, std::string_view y, const TextRule& ry)
{
    if (x == y && TextRule::alike(x, rx, ry))
        return true;
    if (!isAscii(x) || !isAscii(y))
        return profileNameKey(rx.normal(x)) == profileNameKey(ry.normal(y));
    const auto trimmed = [](std::string_view n) {
        while (!n.empty() && (n.front() == ' ' || n.front() == '\t'))
            n.remove_prefix(1);
        while (!n.empty() && (n.back() == ' ' || n.back() == '\t'))
            n.remove_suffix(1);
        return n;
    };
    x = trimmed(x);
    y = trimmed(y);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return x.size() == y.size() &&
           std::equal(x.begin(), x.end(), y.begin(), [&](char p, char q) { return lower(p) == lower(q); });
}

// Whether some "hex(N)" (in any letter case) stands in `body`: the data of
// hex(1), hex(2) and hex(7) are text whose bytes depend on the file's form.
bool holdsTextData(std::string_view body)
{
    for (std::size_t at = body.find('('); at != std::string_view::npos; at = body.find('(', at + 1)) {
        if (at >= 3 && (body[at - 3] | 0x20) == 'h' && (body[at - 2] | 0x20) == 'e' && (body[at - 1] | 0x20) == 'x')
            return true;
    }
    return false;
}

// The name a registry header line opens, as the section list shows it: an
// export's line less its first and last byte; Wine's key path decoded into
// `buffer`, without its time stamp.
std::string_view registryHeaderName(std::string_view line, FileKind kind, std::string& buffer)
{
    if (kind == FileKind::WineRegistry)
        return wineSectionNameOf(line, buffer).value_or(std::string_view());
    return sectionNameOf(line).value_or(std::string_view());
}

// ---- first pass: the section headers of each file, in order ------------

enum Flag : std::uint8_t { kFirst = 1, kLast = 2, kInOther = 4 };

struct Headers {
    std::vector<std::uint64_t> hashes;  // one per block, in file order
    std::vector<std::uint8_t> flags;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> sorted;  // (hash, block), by hash
};

// How far the reads got: the header pass of each file (on two threads),
// then the pass over both.
class Progress {
public:
    explicit Progress(CompareControl* control) : control_(control) {}
    bool cancelled() const { return control_ && control_->cancel.load(std::memory_order_relaxed); }
    // The header pass of one file reached byte `at`.
    void headersAt(int side, std::int64_t at)
    {
        headers_[side].store(at, std::memory_order_relaxed);
        if (control_)
            control_->done.store(headers_[0].load() + headers_[1].load(), std::memory_order_relaxed);
    }
    // The pass over both is `at` bytes into them, after `before` bytes of headers.
    void bothAt(std::int64_t before, std::int64_t at) const
    {
        if (control_)
            control_->done.store(before + at, std::memory_order_relaxed);
    }

private:
    CompareControl* control_;
    std::atomic<std::int64_t> headers_[2] = {0, 0};
};

// The blocks of an INI file: the lines above the first header (the
// section "" of the profile read), then one per header line. `line` is the
// file's first line, already read.
bool scanIniHeaders(LineReader& reader, std::string_view line, Headers& headers, Progress& progress, int side)
{
    const TextRule rule{isUtf16(reader.encoding()) && !reader.unicodeText(), false};
    headers.hashes.push_back(nameHash({}, rule));
    // The reader keeps the mark's bytes before a UTF-16LE file's first
    // line; they are no text.
    line = firstLineText(line, reader.encoding());
    std::uint64_t lines = 0;
    do {
        if (++lines % (16 * kHeadersPerCheck) == 0) {
            if (progress.cancelled())
                return false;
            progress.headersAt(side, reader.endOffset());
        }
        if (reader.continuation())
            continue;
        const ProfileLineView parsed = profileLineOf(line);
        if (parsed.kind == ProfileLineView::Header)
            headers.hashes.push_back(nameHash(parsed.name, rule));
    } while (reader.next(line));
    return true;
}

// The blocks of a registry file: one per header line; what stands above
// the first is no key. `line` is the file's first line, already read.
bool scanRegistryHeaders(LineReader& reader, std::string_view line, FileKind kind, Headers& headers, Progress& progress,
                         int side)
{
    const TextRule rule{isUtf16(reader.encoding()) && !reader.unicodeText(), false};
    std::string buffer;
    bool header = !line.empty() && line.front() == '[';
    for (;;) {
        if (header) {
            if (headers.hashes.size() % kHeadersPerCheck == 0) {
                if (progress.cancelled())
                    return false;
                progress.headersAt(side, reader.endOffset());
            }
            headers.hashes.push_back(nameHash(registryHeaderName(line, kind, buffer), rule));
        }
        if (!reader.nextStartingWith("[", line))
            return true;
        header = true;
    }
}

// Marks each block that is the first or the last of its name.
void markOccurrences(Headers& headers)
{
    const std::size_t n = headers.hashes.size();
    headers.sorted.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        headers.sorted[i] = {headers.hashes[i], std::uint32_t(i)};
    std::sort(headers.sorted.begin(), headers.sorted.end());
    headers.flags.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t hash = headers.sorted[i].first;
        if (i == 0 || headers.sorted[i - 1].first != hash)
            headers.flags[headers.sorted[i].second] |= kFirst;
        if (i + 1 == n || headers.sorted[i + 1].first != hash)
            headers.flags[headers.sorted[i].second] |= kLast;
    }
}

// Marks the blocks of each file whose name the other file has, merging the
// two lists in hash order.
void markShared(Headers& a, Headers& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.sorted.size() && j < b.sorted.size()) {
        const std::uint64_t x = a.sorted[i].first, y = b.sorted[j].first;
        if (x < y) {
            ++i;
        } else if (y < x) {
            ++j;
        } else {
            for (; i < a.sorted.size() && a.sorted[i].first == x; ++i)
                a.flags[a.sorted[i].second] |= kInOther;
            for (; j < b.sorted.size() && b.sorted[j].first == x; ++j)
                b.flags[b.sorted[j].second] |= kInOther;
        }
    }
    a.sorted = {};
    b.sorted = {};
}

// ---- second pass: blocks and what they hold --------------------------

// One header line's block: its name and its lines, each with its ending,
// after one "\n" (so that the bytes never begin with a byte-order mark).
struct Block {
    std::string name;
    std::string body;
    bool utf8 = false;  // name and body re-read exactly as UTF-8
    std::size_t index = 0;
};

class BlockReader {
public:
    explicit BlockReader(const Side& side) : side_(side), reader_(side.path) {}
    bool isOpen() const { return reader_.isOpen(); }
    bool failed() const { return reader_.failed(); }
    std::int64_t offset() const { return reader_.endOffset(); }
    // The next block; false after the last one.
    bool next(Block& block);

private:
    bool nextIni(Block& block);
    bool nextRegistry(Block& block);
    // A UTF-16 block that held characters Windows-1252 lacks, each of them
    // one '?' in the 8-bit text: its name and lines again, from the file's
    // own bytes, as UTF-8.
    struct Span {
        std::int64_t nameStart, nameEnd, bodyStart, end;  // file offsets
    };
    void reReadExactly(Block& block, const Span& span);

    const Side& side_;
    LineReader reader_;
    bool started_ = false;
    bool ended_ = false;
    bool first_ = true;
    std::size_t count_ = 0;
    std::string header_;  // the name of the block that comes next
    std::string nameBuffer_;
    std::uint64_t unmapped_ = 0;
    std::int64_t headerStart_ = 0;  // file offsets of that name and of its lines
    std::int64_t headerEnd_ = 0;
    std::int64_t bodyStart_ = 0;
    bool nameLossy_ = false;
};

bool BlockReader::next(Block& block)
{
    if (ended_)
        return false;
    block.index = count_++;
    block.utf8 = false;
    block.body.assign("\n");
    switch (side_.kind) {
    case FileKind::Ini:
        return nextIni(block);
    case FileKind::WineRegistry:
    case FileKind::Registry:
        return nextRegistry(block);
    }
    return false;
}

bool BlockReader::nextIni(Block& block)
{
    block.name = header_;
    const Span span{headerStart_, headerEnd_, bodyStart_, side_.size};
    const bool nameLossy = nameLossy_;
    const std::uint64_t unmappedBefore = reader_.unmapped();
    std::uint64_t unmappedBody = unmappedBefore;
    std::string_view line;
    for (;; unmappedBody = reader_.unmapped()) {
        if (!reader_.next(line)) {
            ended_ = true;
            break;
        }
        if (!reader_.continuation()) {
            // The reader keeps the mark's bytes before a UTF-16LE file's
            // first line; they are no text.
            const std::size_t skipped = first_ ? line.size() - firstLineText(line, reader_.encoding()).size() : 0;
            line.remove_prefix(skipped);
            first_ = false;
            const ProfileLineView parsed = profileLineOf(line);
            if (parsed.kind == ProfileLineView::Header) {
                header_ = parsed.name;
                headerStart_ = reader_.lineOffset();
                headerEnd_ = reader_.offsetAt(skipped + line.size());
                bodyStart_ = reader_.endOffset();
                nameLossy_ =
                    isUtf16(reader_.encoding()) && !reader_.unicodeText() && header_.find('?') != std::string::npos;
                break;
            }
        }
        block.body += line;
        if (!reader_.partial())
            block.body += '\n';
    }
    if (nameLossy || unmappedBody != unmappedBefore)
        reReadExactly(block, {span.nameStart, span.nameEnd, span.bodyStart, ended_ ? side_.size : headerStart_});
    return true;
}

bool BlockReader::nextRegistry(Block& block)
{
    std::string_view line;
    const auto takeHeader = [&] {
        header_ = registryHeaderName(line, side_.kind, nameBuffer_);
        headerStart_ = reader_.offsetAt(std::min<std::size_t>(1, line.size()));
        headerEnd_ = reader_.offsetAt(line.size() - std::min<std::size_t>(1, line.size() - 1));
        bodyStart_ = reader_.endOffset();
        // A '?' in a UTF-16 file's name may stand for a character
        // Windows-1252 lacks.
        nameLossy_ = isUtf16(reader_.encoding()) && !reader_.unicodeText() && header_.find('?') != std::string::npos;
    };
    if (!started_) {
        started_ = true;
        if (!reader_.nextStartingWith("[", line)) {
            ended_ = true;
            return false;
        }
        takeHeader();
    }
    block.name = header_;
    const std::int64_t nameStart = headerStart_, nameEnd = headerEnd_, bodyStart = bodyStart_;
    const bool nameLossy = nameLossy_;
    const std::uint64_t unmappedBefore = unmapped_;
    const bool more = reader_.nextStartingWith("[", line, [&](std::string_view bytes) { block.body += bytes; });
    const std::int64_t end = more ? reader_.lineOffset() : side_.size;
    if (more)
        takeHeader();
    else
        ended_ = true;
    // The count takes in the next header line too, which only costs this
    // block a needless second read.
    unmapped_ = reader_.unmapped();
    if (nameLossy || unmapped_ != unmappedBefore)
        reReadExactly(block, {nameStart, nameEnd, bodyStart, end});
    return true;
}

void BlockReader::reReadExactly(Block& block, const Span& span)
{
    QFile file(side_.path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // The mark is no text.
    const auto markSize = std::int64_t(byteOrderMark(reader_.encoding()).size());
    const auto exact = [&](std::int64_t from, std::int64_t to) {
        QStringDecoder decoder(reader_.encoding() == Encoding::Utf16BE ? QStringConverter::Utf16BE
                                                                       : QStringConverter::Utf16LE);
        from = std::max(from, markSize);
        if (to <= from || !file.seek(from))
            return std::string();
        const QString text = decoder(file.read(to - from));
        return text.toStdString();
    };
    block.name = exact(span.nameStart, span.nameEnd);
    // An INI block's span is its whole header line, which the profile read parses.
    if (side_.kind == FileKind::Ini)
        block.name = profileLineOf(block.name).name;
    block.body = "\n" + exact(span.bodyStart, span.end);
    block.utf8 = true;
}

// One key as a reader gets it.
struct Entry {
    std::string key;        // profileNameKey of the name
    std::string name;       // as written: a registry name with its escapes, "@" for the default
    std::string value;      // the text after "=" (registry, continuation lines joined) or as read (INI)
    std::string canonical;  // what is compared
};

struct Section {
    std::string name;
    std::vector<Entry> entries;  // in order of first appearance
    std::unordered_map<std::string, std::size_t> index;
    bool utf8 = false;
    std::size_t order = 0;  // where its first block stood in its file
    bool complete = false;
};

// Text data of a hex(1), hex(2) or hex(7) value as the UTF-16LE code units
// a registry stores; nothing for UTF-16 data of an odd length.
std::optional<std::string> unitText(std::string bytes, bool utf16Data)
{
    if (utf16Data)
        return bytes.size() % 2 == 0 ? std::optional(std::move(bytes)) : std::nullopt;
    std::string units(2 * bytes.size(), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char16_t unit = fromWindows1252(static_cast<unsigned char>(bytes[i]));
        units[2 * i] = static_cast<char>(unit & 0xFF);
        units[2 * i + 1] = static_cast<char>(unit >> 8);
    }
    return units;
}

// What a registry value stores, tagged with its kind, so that equal data
// written in different notations compare equal.
std::string registryCanonical(std::string_view value, bool utf16Data, const TextRule& rule)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return "s:" + rule.normal(value.substr(1, value.size() - 2));
    if (const auto dword = dwordOf(value)) {
        // As the bytes of hex(4): an importer stores both alike.
        std::string bytes = "b4:";
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>((*dword >> shift) & 0xFF);
        return bytes;
    }
    const std::optional<HexHead> head = hexHeadOf(value);
    std::string bytes;
    if (!head || !parseHexList(value.substr(head->listStart), bytes))
        return "r:" + rule.normal(value);
    const std::string type = QByteArray::number(head->type, 16).toStdString();
    if (head->type == kRegSz || head->type == kRegExpandSz || head->type == kRegMultiSz) {
        if (auto text = unitText(bytes, utf16Data))
            return "t" + type + ":" + *text;
    }
    return "b" + type + ":" + bytes;
}

// Adds one key: in a registry file a later line wins, in an INI file the first.
void addEntry(Section& section, Entry entry, FileKind kind)
{
    const auto [at, added] = section.index.try_emplace(entry.key, section.entries.size());
    if (added)
        section.entries.push_back(std::move(entry));
    else if (kind == FileKind::Registry)
        section.entries[at->second] = std::move(entry);
}

// The lines of a block, one at a time, never in pieces.
class BodyLines {
public:
    explicit BodyLines(std::string_view body) : reader_(LineReader::FromMemory{}, body, body.size() + 16) {}
    bool next(std::string_view& line) { return reader_.next(line); }

private:
    LineReader reader_;
};

// The keys of a registry block, one at a time: each line that begins
// `"name"=` or `@=`, with the lines that continue a hex value ("\" at a
// line's end) joined to it, each "\" and the next line's leading blanks
// removed.
// In Wine's file the name comes decoded, and its meta lines ("#time=") are
// no keys.
class RegistryEntries {
public:
    explicit RegistryEntries(std::string_view body, FileKind kind = FileKind::Registry)
        : lines_(body), wine_(kind == FileKind::WineRegistry)
    {}
    // The next key's name as written ("@" for the default value) and its
    // value, valid until the next call.
    bool next(std::string_view& name, std::string_view& value);

private:
    // Where the value of `line` starts, with its name in `name`; none for a
    // line that is no key.
    std::optional<std::size_t> keyOf(std::string_view line, std::string_view& name);

    BodyLines lines_;
    bool wine_;
    std::string name_;
    std::string value_;
};

std::optional<std::size_t> RegistryEntries::keyOf(std::string_view line, std::string_view& name)
{
    if (wine_) {
        const std::optional<WineName> wine = isWineMetaLine(line) ? std::nullopt : wineNameOf(line);
        if (!wine)
            return std::nullopt;
        name_ = shownWineName(*wine);
        name = name_;
        return wine->valueAt;
    }
    const std::optional<std::size_t> start = valueStartOf(line);
    if (start)
        name = *start == 2 && line.front() == '@' ? std::string_view("@") : line.substr(1, *start - 3);
    return start;
}

bool RegistryEntries::next(std::string_view& name, std::string_view& value)
{
    std::string_view line;
    std::optional<std::size_t> start;
    while (!start) {
        if (!lines_.next(line))
            return false;
        start = keyOf(line, name);
    }
    value = line.substr(*start);
    // Only an unquoted hex value goes on in the next line.
    const auto goesOn = [](std::string_view v) {
        return !v.empty() && v.back() == '\\' && v.front() != '"' && hexHeadOf(v);
    };
    if (!goesOn(value))
        return true;
    if (name.data() != name_.data())
        name_.assign(name);
    value_.assign(value.substr(0, value.size() - 1));
    while (lines_.next(line)) {
        value_ += line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        if (value_.back() != '\\')
            break;
        value_.pop_back();
    }
    name = name_;
    value = value_;
    return true;
}

// What a value of Wine's file stores: string forms by their decoded text,
// every other form as Wine writes it (one notation per form).
std::string wineCanonical(std::string_view value)
{
    const WineValue parsed = wineValueOf(value);
    if (parsed.form == WineForm::String || parsed.form == WineForm::ExpandString ||
        parsed.form == WineForm::MultiString)
        return std::to_string(int(parsed.form)) + ":" + decodeWineText(parsed.escaped);
    return "r:" + std::string(value);
}

void parseRegistryBlock(const Block& block, const Side& side, Section& section)
{
    const TextRule rule{side.utf16, block.utf8};
    RegistryEntries entries(block.body, side.kind);
    std::string_view name, value;
    while (entries.next(name, value)) {
        Entry entry{profileNameKey(rule.normal(name)), std::string(name), std::string(value), {}};
        entry.canonical =
            side.kind == FileKind::WineRegistry ? wineCanonical(value) : registryCanonical(value, side.utf16Data, rule);
        addEntry(section, std::move(entry), FileKind::Registry);
    }
}

// The keys of an INI block as the profile read finds them.
void parseIniBlock(const Block& block, Section& section)
{
    const TextRule rule{false, block.utf8};
    BodyLines lines(block.body);
    std::string_view line;
    while (lines.next(line)) {
        const ProfileLineView parsed = profileLineOf(line);
        // A key without a name is never found.
        if (parsed.kind != ProfileLineView::Key || parsed.name.empty())
            continue;
        Entry entry{profileNameKey(parsed.name), std::string(parsed.name), std::string(parsed.value), {}};
        entry.canonical = rule.normal(entry.value);
        addEntry(section, std::move(entry), FileKind::Ini);
    }
}

void parseBlock(const Block& block, const Side& side, Section& section)
{
    section.utf8 = section.utf8 || block.utf8;
    switch (side.kind) {
    case FileKind::Ini:
        parseIniBlock(block, section);
        break;
    case FileKind::WineRegistry:
    case FileKind::Registry:
        parseRegistryBlock(block, side, section);
        break;
    }
}

// ---- the comparison ----------------------------------------------------

QString notation(const Entry& entry, FileKind kind, const TextRule& rule)
{
    switch (kind) {
    case FileKind::Ini:
        return rule.decode(entry.name) + QLatin1Char('=') + rule.decode(entry.value);
    case FileKind::WineRegistry:
    case FileKind::Registry: {
        if (entry.name == "@")
            return QStringLiteral("@=") + rule.decode(entry.value);
        // Wine's entries hold their names decoded.
        const QString name =
            kind == FileKind::WineRegistry
                ? QString::fromStdString(encodeWineText(QString::fromStdString(entry.name).toStdU16String()))
                : rule.decode(entry.name);
        return QLatin1Char('"') + name + QStringLiteral("\"=") + rule.decode(entry.value);
    }
    }
    return {};
}

// The value as `keyloom get --decoded` prints it.
QString decodedValue(const Entry& entry, const Side& side, const TextRule& rule)
{
    switch (side.kind) {
    case FileKind::Ini:
        return rule.decode(entry.value);
    case FileKind::WineRegistry: {
        const QString described = describeWineValue(entry.value);
        return described.isEmpty() ? QString::fromStdString(shownWineValue(entry.value)) : described;
    }
    case FileKind::Registry:
        return decodedRegistryText(entry.value, side.utf16Data,
                                   [&](std::string_view bytes) { return rule.decode(bytes); });
    }
    return {};
}

class Engine {
public:
    Engine(const Side& a, const Side& b, CompareControl* control) : sides_{a, b}, progress_(control) {}
    Comparison run();

private:
    bool scanHeaders(int side);
    bool walk();
    TextRule rule(int side, bool utf8) const { return TextRule{sides_[side].utf16, utf8}; }
    std::string keyOf(int side, const Block& block) const
    {
        return profileNameKey(rule(side, block.utf8).normal(block.name));
    }
    bool single(int side, std::uint8_t flags) const
    {
        return sides_[side].kind == FileKind::Ini || ((flags & kFirst) && (flags & kLast));
    }
    using KeyFn = std::function<const std::string&()>;
    // The blocks of B up to where the section of `blockA` (whose key `key`
    // gives) is whole; false when B ended before. `blockB` holds B's block
    // when it is the section's only one.
    bool seekB(BlockReader& reader, const Block& blockA, const KeyFn& key, Block& blockB, bool& inHand);
    void takeA(BlockReader& readerB, const Block& blockA, Block& blockB);
    bool sameName(const Block& x, int sideX, const Block& y, int sideY) const
    {
        return sameKeyName(x.name, rule(sideX, x.utf8), y.name, rule(sideY, y.utf8));
    }
    bool sameEntries(const Block& a, const Block& b) const;
    // A block of B that A has no section of, or one A may have.
    void takeB(const Block& block);
    void compareBlocks(const Block& a, const Block& b);
    void compareSections(const Section& a, const Section& b);
    void wholeSection(int side, const std::string& name, bool utf8, std::size_t order);
    void keyDifference(const Section& a, const Section& b, const Entry* old, const Entry* now);
    Section& pending(int side, const std::string& key, const Block& block);
    void startSection(Section& section, const Block& block);
    void flushPending();

    Side sides_[2];
    Progress progress_;
    Headers headers_[2];
    std::unordered_map<std::string, Section> pending_[2];
    std::vector<std::pair<std::size_t, Difference>> found_;
    QString failed_;
    bool unreadable_[2] = {false, false};
};

bool Engine::scanHeaders(int side)
{
    Side& s = sides_[side];
    LineReader reader(s.path);
    std::string_view line;
    // The first line tells the encoding, and so whether hex text data are UTF-16.
    const bool any = reader.next(line);
    // A UTF-16 file read as UTF-8 is 8-bit text like any other.
    s.utf16 = isUtf16(reader.encoding()) && !reader.unicodeText();
    s.utf16Data = isUtf16(reader.encoding());
    bool whole = true;
    if (s.kind == FileKind::Ini && !any)
        headers_[side].hashes.push_back(nameHash({}, TextRule{}));
    else if (any)
        whole = s.kind == FileKind::Ini ? scanIniHeaders(reader, line, headers_[side], progress_, side)
                                        : scanRegistryHeaders(reader, line, s.kind, headers_[side], progress_, side);
    unreadable_[side] = !reader.isOpen() || reader.failed();
    return whole && !unreadable_[side];
}

Section& Engine::pending(int side, const std::string& key, const Block& block)
{
    const auto [at, added] = pending_[side].try_emplace(key);
    if (added) {
        at->second.name = block.name;
        at->second.order = block.index;
    }
    return at->second;
}

void Engine::wholeSection(int side, const std::string& name, bool utf8, std::size_t order)
{
    Difference d;
    d.section = rule(side, utf8).decode(name);
    d.change = side == 0 ? ChangeKind::Removed : ChangeKind::Added;
    d.sectionBytes = name;
    found_.emplace_back(side == 0 ? order : headers_[0].hashes.size() + order, std::move(d));
}

void Engine::keyDifference(const Section& a, const Section& b, const Entry* old, const Entry* now)
{
    const TextRule ra = rule(0, a.utf8), rb = rule(1, b.utf8);
    Difference d;
    d.section = ra.decode(a.name);
    d.sectionBytes = a.name;
    d.key = old ? ra.decode(old->name) : rb.decode(now->name);
    d.keyBytes = old ? old->name : now->name;
    d.change = !old ? ChangeKind::Added : !now ? ChangeKind::Removed : ChangeKind::Changed;
    if (old) {
        d.oldLine = notation(*old, sides_[0].kind, ra);
        d.oldValue = decodedValue(*old, sides_[0], ra);
    }
    if (now) {
        d.newLine = notation(*now, sides_[1].kind, rb);
        d.newValue = decodedValue(*now, sides_[1], rb);
    }
    found_.emplace_back(a.order, std::move(d));
}

void Engine::compareSections(const Section& a, const Section& b)
{
    for (const Entry& old : a.entries) {
        const auto at = b.index.find(old.key);
        if (at == b.index.end())
            keyDifference(a, b, &old, nullptr);
        else if (b.entries[at->second].canonical != old.canonical)
            keyDifference(a, b, &old, &b.entries[at->second]);
    }
    for (const Entry& now : b.entries) {
        if (!a.index.count(now.key))
            keyDifference(a, b, nullptr, &now);
    }
}

void Engine::startSection(Section& section, const Block& block)
{
    section.name = block.name;
    section.order = block.index;
}

bool Engine::sameEntries(const Block& a, const Block& b) const
{
    const TextRule ra = rule(0, a.utf8), rb = rule(1, b.utf8);
    // The same bytes are the same data where both files read them alike:
    // text data only where both hold UTF-16 or both 8-bit text.
    const bool sameData = sides_[0].utf16Data == sides_[1].utf16Data;
    const auto alike = [&](std::string_view value) {
        if (value.empty() || value.front() == '"')
            return TextRule::alike(value, ra, rb);
        const std::optional<HexHead> head = hexHeadOf(value);
        return sameData || !head || (head->type != kRegSz && head->type != kRegExpandSz && head->type != kRegMultiSz);
    };
    RegistryEntries entriesA(a.body), entriesB(b.body);
    std::string_view nameA, valueA, nameB, valueB;
    for (;;) {
        const bool moreA = entriesA.next(nameA, valueA);
        const bool moreB = entriesB.next(nameB, valueB);
        if (!moreA || !moreB)
            return moreA == moreB;
        if (!sameKeyName(nameA, ra, nameB, rb))
            return false;
        if (valueA == valueB && alike(valueA))
            continue;
        if (registryCanonical(valueA, sides_[0].utf16Data, ra) != registryCanonical(valueB, sides_[1].utf16Data, rb))
            return false;
    }
}

void Engine::compareBlocks(const Block& a, const Block& b)
{
    // Most sections of two exports of one registry are the same lines,
    // which hold the same where both files read their bytes alike.
    const bool alike =
        !a.utf8 && !b.utf8 && sides_[0].utf16 == sides_[1].utf16 && sides_[0].utf16Data == sides_[1].utf16Data;
    if ((alike || (isAscii(a.body) && !holdsTextData(a.body))) && a.body == b.body)
        return;
    if (sides_[0].kind == FileKind::Registry && sameEntries(a, b))
        return;
    Section sa, sb;
    startSection(sa, a);
    startSection(sb, b);
    parseBlock(a, sides_[0], sa);
    parseBlock(b, sides_[1], sb);
    compareSections(sa, sb);
}

void Engine::takeB(const Block& block)
{
    const std::uint8_t flags = headers_[1].flags[block.index];
    if (sides_[1].kind == FileKind::Ini && !(flags & kFirst))
        return;  // the profile read never gets there
    std::string key;
    if ((flags & kInOther) || !pending_[1].empty())
        key = keyOf(1, block);
    if (!(flags & kInOther) && !pending_[1].count(key)) {
        if (flags & kFirst)
            wholeSection(1, block.name, block.utf8, block.index);
        return;
    }
    Section& section = pending(1, key, block);
    parseBlock(block, sides_[1], section);
    section.complete = single(1, flags) || (flags & kLast);
}

bool Engine::seekB(BlockReader& reader, const Block& blockA, const KeyFn& key, Block& blockB, bool& inHand)
{
    inHand = false;
    const auto heldWhole = [&] {
        if (pending_[1].empty())
            return false;
        const auto held = pending_[1].find(key());
        return held != pending_[1].end() && held->second.complete;
    };
    if (heldWhole())
        return true;
    while (reader.next(blockB)) {
        if (progress_.cancelled())
            return false;
        const std::uint8_t flags = headers_[1].flags[blockB.index];
        const bool ours = sameName(blockA, 0, blockB, 1);
        if (ours && single(1, flags) && (flags & kFirst) && (pending_[1].empty() || !pending_[1].count(key()))) {
            inHand = true;
            return true;
        }
        takeB(blockB);
        if (ours && heldWhole())
            return true;
    }
    return !pending_[1].empty() && pending_[1].count(key()) > 0;
}

// One block of A: set aside while its section is not whole, else compared
// with B's section, which B is read up to.
void Engine::takeA(BlockReader& readerB, const Block& blockA, Block& blockB)
{
    const std::uint8_t flags = headers_[0].flags[blockA.index];
    if (sides_[0].kind == FileKind::Ini && !(flags & kFirst))
        return;  // the profile read never gets there
    std::optional<std::string> keyA;
    const KeyFn key = [&]() -> const std::string& {
        if (!keyA)
            keyA = keyOf(0, blockA);
        return *keyA;
    };
    const bool held = !pending_[0].empty() && pending_[0].count(key());
    if (!(flags & kInOther) && !held) {
        if (flags & kFirst)
            wholeSection(0, blockA.name, blockA.utf8, blockA.index);
        return;
    }
    const bool alone = single(0, flags) && (flags & kFirst) && !held;
    if (!alone) {
        Section& section = pending(0, key(), blockA);
        parseBlock(blockA, sides_[0], section);
        if (!(flags & kLast))
            return;
        section.complete = true;
    }
    bool inHand = false;
    const bool found = seekB(readerB, blockA, key, blockB, inHand);
    if (progress_.cancelled())
        return;
    if (alone && inHand) {
        compareBlocks(blockA, blockB);
        return;
    }
    const auto sectionOf = [&](int side, const Block& block, bool fromBlock) {
        Section section;
        if (fromBlock) {
            startSection(section, block);
            parseBlock(block, sides_[side], section);
        } else {
            section = std::move(pending_[side].extract(key()).mapped());
        }
        return section;
    };
    const Section a = sectionOf(0, blockA, alone);
    if (found)
        compareSections(a, sectionOf(1, blockB, inHand));
    else
        wholeSection(0, a.name, a.utf8, a.order);
}

bool Engine::walk()
{
    BlockReader readerA(sides_[0]), readerB(sides_[1]);
    Block blockA, blockB;
    while (readerA.next(blockA)) {
        if (progress_.cancelled())
            return false;
        progress_.bothAt(sides_[0].size + sides_[1].size, readerA.offset() + readerB.offset());
        takeA(readerB, blockA, blockB);
    }
    while (readerB.next(blockB)) {
        if (progress_.cancelled())
            return false;
        takeB(blockB);
    }
    if (progress_.cancelled())
        return false;
    progress_.bothAt(sides_[0].size + sides_[1].size, sides_[0].size + sides_[1].size);
    for (const auto* reader : {&readerA, &readerB}) {
        if (!reader->isOpen() || reader->failed()) {
            failed_ = sides_[reader == &readerA ? 0 : 1].path;
            return false;
        }
    }
    flushPending();
    return true;
}

// What waited for a counterpart that never came whole: sections whose name
// shared its header pass's hash with another.
void Engine::flushPending()
{
    for (auto& [key, a] : pending_[0]) {
        const auto b = pending_[1].find(key);
        if (b == pending_[1].end()) {
            wholeSection(0, a.name, a.utf8, a.order);
        } else {
            compareSections(a, b->second);
            pending_[1].erase(b);
        }
    }
    for (const auto& [key, b] : pending_[1])
        wholeSection(1, b.name, b.utf8, b.order);
    pending_[0].clear();
    pending_[1].clear();
}

Comparison Engine::run()
{
    Comparison result;
    // The two header passes are independent: each on a core of its own.
    bool scannedB = false;
    std::thread other([&] { scannedB = scanHeaders(1); });
    const bool scannedA = scanHeaders(0);
    other.join();
    const bool scanned = scannedA && scannedB;
    if (unreadable_[0] || unreadable_[1])
        failed_ = sides_[unreadable_[0] ? 0 : 1].path;
    if (scanned) {
        for (Headers& headers : headers_)
            markOccurrences(headers);
        markShared(headers_[0], headers_[1]);
    }
    if (!scanned || !walk()) {
        result.status = failed_.isEmpty() ? CompareStatus::Cancelled : CompareStatus::Unreadable;
        result.failedFile = failed_;
        return result;
    }
    std::stable_sort(found_.begin(), found_.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    result.differences.reserve(found_.size());
    for (auto& [order, difference] : found_)
        result.differences.push_back(std::move(difference));
    result.status = result.differences.empty() ? CompareStatus::Equal : CompareStatus::Different;
    return result;
}

QString changeName(ChangeKind change)
{
    switch (change) {
    case ChangeKind::Added:
        return QStringLiteral("added");
    case ChangeKind::Removed:
        return QStringLiteral("removed");
    case ChangeKind::Changed:
        return QStringLiteral("changed");
    }
    return {};
}

}  // namespace

Comparison compareFiles(const QString& a, const QString& b, CompareControl* control)
{
    Side sideA{a, fileKindOf(a)};
    Side sideB{b, fileKindOf(b)};
    // An export's key paths are absolute, Wine's file's relative to its
    // root key: only files of one kind are compared.
    if (sideA.kind != sideB.kind) {
        Comparison refused;
        refused.status = CompareStatus::Refused;
        return refused;
    }
    sideA.size = QFileInfo(a).size();
    sideB.size = QFileInfo(b).size();
    if (control)
        control->total = 2 * (sideA.size + sideB.size);
    return Engine(sideA, sideB, control).run();
}

QString compareFailureMessage(const Comparison& comparison, const QString& a, const QString& b)
{
    switch (comparison.status) {
    case CompareStatus::Refused:
        if (fileKindOf(a) == FileKind::WineRegistry || fileKindOf(b) == FileKind::WineRegistry)
            return QStringLiteral("Die Dateien '%1' und '%2' lassen sich nicht vergleichen: nur eine ist eine "
                                  "Registrierungsdatei von Wine.")
                .arg(a, b);
        return QStringLiteral("Die Dateien '%1' und '%2' lassen sich nicht vergleichen: eine ist ein "
                              "Registrierungsexport (.reg), die andere eine INI-Datei.")
            .arg(a, b);
    case CompareStatus::Unreadable:
        return QStringLiteral("Die Datei '%1' konnte nicht gelesen werden.").arg(comparison.failedFile);
    case CompareStatus::Equal:
    case CompareStatus::Different:
    case CompareStatus::Cancelled:
        break;
    }
    return {};
}

QString differencesAsText(const std::vector<Difference>& differences)
{
    QString text;
    const QString* section = nullptr;
    for (const Difference& d : differences) {
        if (!d.key) {
            text += (d.change == ChangeKind::Removed ? QStringLiteral("-[") : QStringLiteral("+[")) + d.section +
                    QStringLiteral("]\n");
            section = nullptr;
            continue;
        }
        if (!section || *section != d.section)
            text += QLatin1Char('[') + d.section + QStringLiteral("]\n");
        section = &d.section;
        if (d.change != ChangeKind::Added)
            text += QLatin1Char('-') + d.oldLine + QLatin1Char('\n');
        if (d.change != ChangeKind::Removed)
            text += QLatin1Char('+') + d.newLine + QLatin1Char('\n');
    }
    return text;
}

QByteArray differencesAsJson(const std::vector<Difference>& differences)
{
    QJsonArray array;
    const auto value = [](const std::optional<QString>& text) { return text ? QJsonValue(*text) : QJsonValue(); };
    for (const Difference& d : differences) {
        QJsonObject object;
        object.insert(QStringLiteral("section"), d.section);
        object.insert(QStringLiteral("key"), value(d.key));
        object.insert(QStringLiteral("change"), changeName(d.change));
        object.insert(QStringLiteral("old"), value(d.oldValue));
        object.insert(QStringLiteral("new"), value(d.newValue));
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

}  // namespace keyloom
