#include "document/compare.h"

#include "app/appmodul.h"
#include "document/regvalue.h"
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
#include <functional>
#include <unordered_map>
#include <utility>

namespace keyloom {

namespace {

constexpr std::string_view kMarkBytes("\xFF\xFE");

// How often the header pass looks at the cancel flag and reports progress.
constexpr std::uint64_t kHeadersPerCheck = 1024;

bool isAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
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
    QString decode(std::string_view bytes) const
    {
        const bool asUtf8 = utf8 || (!utf16 && isValidUtf8(bytes));
        return decodeText(bytes, asUtf8 ? TextCodec::Utf8 : TextCodec::Windows1252);
    }
    // The same text from either file gives the same bytes.
    std::string normal(std::string_view bytes) const
    {
        return isAscii(bytes) ? std::string(bytes) : decode(bytes).toStdString();
    }
};

std::uint64_t nameHash(std::string_view name) { return std::hash<std::string>{}(profileNameKey(name)); }

// The name a registry header line opens: the line less its first and last
// byte, as the section list shows it.
std::string_view registryHeaderName(std::string_view line) { return line.substr(1, line.size() - 2); }

// ---- first pass: the section headers of each file, in order ------------

enum Flag : std::uint8_t { kFirst = 1, kLast = 2, kInOther = 4 };

struct Headers {
    std::vector<std::uint64_t> hashes;  // one per block, in file order
    std::vector<std::uint8_t> flags;
    std::vector<std::uint64_t> sorted;  // distinct hashes
};

class Progress {
public:
    explicit Progress(CompareControl* control) : control_(control) {}
    bool cancelled() const { return control_ && control_->cancel.load(std::memory_order_relaxed); }
    // `at` more bytes of the current step are done.
    void report(std::int64_t at) const
    {
        if (control_)
            control_->done.store(base_ + at, std::memory_order_relaxed);
    }
    void finishStep(std::int64_t bytes) { base_ += bytes; }

private:
    CompareControl* control_;
    std::int64_t base_ = 0;
};

// The blocks of an INI file: the lines above the first header (the
// section "" of the profile read), then one per header line.
bool scanIniHeaders(LineReader& reader, Headers& headers, const Progress& progress)
{
    headers.hashes.push_back(nameHash({}));
    std::string_view line;
    bool first = true;
    std::uint64_t lines = 0;
    while (reader.next(line)) {
        if (++lines % (16 * kHeadersPerCheck) == 0) {
            if (progress.cancelled())
                return false;
            progress.report(reader.endOffset());
        }
        if (reader.continuation())
            continue;
        if (first && reader.encoding() == Encoding::Utf16LE && line.substr(0, 2) == kMarkBytes)
            line.remove_prefix(2);
        first = false;
        const ProfileLineView parsed = profileLineOf(line);
        if (parsed.kind == ProfileLineView::Header)
            headers.hashes.push_back(nameHash(parsed.name));
    }
    return true;
}

// The blocks of a registry file: one per header line; what stands above
// the first is no key.
bool scanRegistryHeaders(LineReader& reader, Headers& headers, const Progress& progress)
{
    std::string_view line;
    while (reader.nextStartingWith("[", line)) {
        if (headers.hashes.size() % kHeadersPerCheck == 0) {
            if (progress.cancelled())
                return false;
            progress.report(reader.endOffset());
        }
        headers.hashes.push_back(nameHash(registryHeaderName(line)));
    }
    return true;
}

// Marks each block that is the first or the last of its name.
void markOccurrences(Headers& headers)
{
    const std::size_t n = headers.hashes.size();
    std::vector<std::pair<std::uint64_t, std::uint32_t>> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = {headers.hashes[i], std::uint32_t(i)};
    std::sort(order.begin(), order.end());
    headers.flags.assign(n, 0);
    headers.sorted.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const bool first = i == 0 || order[i - 1].first != order[i].first;
        const bool last = i + 1 == n || order[i + 1].first != order[i].first;
        if (first) {
            headers.flags[order[i].second] |= kFirst;
            headers.sorted.push_back(order[i].first);
        }
        if (last)
            headers.flags[order[i].second] |= kLast;
    }
}

void markShared(Headers& headers, const Headers& other)
{
    for (std::size_t i = 0; i < headers.hashes.size(); ++i) {
        if (std::binary_search(other.sorted.begin(), other.sorted.end(), headers.hashes[i]))
            headers.flags[i] |= kInOther;
    }
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
    std::uint64_t unmapped_ = 0;
    std::int64_t headerStart_ = 0;  // file offsets of that name and of its lines
    std::int64_t headerEnd_ = 0;
    std::int64_t bodyStart_ = 0;
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
    case FileKind::Registry:
        return nextRegistry(block);
    }
    return false;
}

bool BlockReader::nextIni(Block& block)
{
    block.name = header_;
    std::string_view line;
    while (reader_.next(line)) {
        if (!reader_.continuation()) {
            // The reader keeps the mark's bytes before a UTF-16LE file's
            // first line; they are no text.
            if (first_ && reader_.encoding() == Encoding::Utf16LE && line.substr(0, 2) == kMarkBytes)
                line.remove_prefix(2);
            first_ = false;
            const ProfileLineView parsed = profileLineOf(line);
            if (parsed.kind == ProfileLineView::Header) {
                header_ = parsed.name;
                return true;
            }
        }
        block.body += line;
        if (!reader_.partial())
            block.body += '\n';
    }
    ended_ = true;
    return true;
}

bool BlockReader::nextRegistry(Block& block)
{
    std::string_view line;
    const auto takeHeader = [&] {
        header_ = registryHeaderName(line);
        headerStart_ = reader_.offsetAt(std::min<std::size_t>(1, line.size()));
        headerEnd_ = reader_.offsetAt(line.size() - std::min<std::size_t>(1, line.size() - 1));
        bodyStart_ = reader_.endOffset();
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
    const std::uint64_t unmappedBefore = unmapped_;
    const bool more = reader_.nextStartingWith("[", line, [&](std::string_view bytes) { block.body += bytes; });
    const std::int64_t end = more ? reader_.lineOffset() : side_.size;
    if (more)
        takeHeader();
    else
        ended_ = true;
    // The count takes in the next header line too: that block's name is
    // re-read with this one's lines, which does no harm.
    unmapped_ = reader_.unmapped();
    if (unmapped_ != unmappedBefore)
        reReadExactly(block, {nameStart, nameEnd, bodyStart, end});
    return true;
}

void BlockReader::reReadExactly(Block& block, const Span& span)
{
    QFile file(side_.path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const auto exact = [&](std::int64_t from, std::int64_t to) {
        QStringDecoder decoder(reader_.encoding() == Encoding::Utf16BE ? QStringConverter::Utf16BE
                                                                       : QStringConverter::Utf16LE);
        if (to <= from || !file.seek(from))
            return std::string();
        const QString text = decoder(file.read(to - from));
        return text.toStdString();
    };
    block.name = exact(span.nameStart, span.nameEnd);
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

// Text data of a hex(1), hex(2) or hex(7) value as the code units a
// registry stores, in UTF-8; nothing for UTF-16 data of an odd length.
std::optional<std::string> unitText(std::string_view bytes, bool utf16Data)
{
    if (utf16Data && bytes.size() % 2 != 0)
        return std::nullopt;
    QString text;
    if (utf16Data) {
        for (std::size_t i = 0; i < bytes.size(); i += 2)
            text +=
                QChar(char16_t(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
    } else {
        for (const char c : bytes)
            text += QChar(fromWindows1252(static_cast<unsigned char>(c)));
    }
    return text.toStdString();
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

// The keys of a registry block: each line that begins `"name"=` or `@=`,
// with the lines that continue a hex value ("\" at a line's end) joined to
// it, each "\" and the next line's leading blanks removed.
void parseRegistryBlock(const Block& block, const Side& side, Section& section)
{
    const TextRule rule{side.utf16, block.utf8};
    BodyLines lines(block.body);
    Entry entry;
    bool open = false;
    std::string_view line;
    while (lines.next(line)) {
        if (open) {
            entry.value += line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        } else if (const std::optional<std::size_t> start = valueStartOf(line)) {
            open = true;
            entry.name =
                *start == 2 && line.front() == '@' ? std::string("@") : std::string(line.substr(1, *start - 3));
            entry.key = profileNameKey(rule.normal(entry.name));
            entry.value = line.substr(*start);
        } else {
            continue;
        }
        // Only an unquoted hex value goes on in the next line.
        const bool goesOn =
            !entry.value.empty() && entry.value.back() == '\\' && entry.value.front() != '"' && hexHeadOf(entry.value);
        if (goesOn) {
            entry.value.pop_back();
            continue;
        }
        entry.canonical = registryCanonical(entry.value, side.utf16Data, rule);
        addEntry(section, std::move(entry), FileKind::Registry);
        entry = {};
        open = false;
    }
    if (open) {
        entry.canonical = registryCanonical(entry.value, side.utf16Data, rule);
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
    case FileKind::Registry:
        if (entry.name == "@")
            return QStringLiteral("@=") + rule.decode(entry.value);
        return QLatin1Char('"') + rule.decode(entry.name) + QStringLiteral("\"=") + rule.decode(entry.value);
    }
    return {};
}

// The value as `keyloom get --decoded` prints it.
QString decodedValue(const Entry& entry, const Side& side, const TextRule& rule)
{
    switch (side.kind) {
    case FileKind::Ini:
        return rule.decode(entry.value);
    case FileKind::Registry: {
        std::string text = entry.value;
        std::int16_t quoteState = 0;
        if (!unQuote(text, quoteState))
            return rule.decode(entry.value);
        const QString described =
            quoteState == kQuotesRemoved ? QString() : describeRegistryValue(entry.value, side.utf16Data);
        return described.isEmpty() ? rule.decode(text) : described;
    }
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
    // The blocks of B up to where the section `key` is whole; false when B
    // ended before. `blockB` holds B's block when it is the section's only one.
    bool seekB(BlockReader& reader, const std::string& key, Block& blockB, bool& inHand);
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
};

bool Engine::scanHeaders(int side)
{
    Side& s = sides_[side];
    LineReader reader(s.path);
    std::string_view line;
    // The first line tells the encoding and whether hex text data are UTF-16.
    const bool any = reader.next(line);
    s.utf16 = isUtf16(reader.encoding());
    const std::string_view head = line.substr(line.substr(0, 2) == kMarkBytes ? 2 : 0);
    s.utf16Data = s.utf16 || head.substr(0, 23) == "Windows Registry Editor";
    LineReader again(s.path);
    bool whole = true;
    if (any || reader.isOpen()) {
        whole = s.kind == FileKind::Ini ? scanIniHeaders(again, headers_[side], progress_)
                                        : scanRegistryHeaders(again, headers_[side], progress_);
    }
    if (!reader.isOpen() || reader.failed() || again.failed()) {
        failed_ = s.path;
        return false;
    }
    progress_.finishStep(s.size);
    return whole;
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

void Engine::compareBlocks(const Block& a, const Block& b)
{
    // Most sections of two exports of one registry are the same lines.
    if (!a.utf8 && !b.utf8 && a.body == b.body)
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
    const std::string key = keyOf(1, block);
    if (!(flags & kInOther) && !pending_[1].count(key)) {
        if (flags & kFirst)
            wholeSection(1, block.name, block.utf8, block.index);
        return;
    }
    Section& section = pending(1, key, block);
    parseBlock(block, sides_[1], section);
    section.complete = single(1, flags) || (flags & kLast);
}

bool Engine::seekB(BlockReader& reader, const std::string& key, Block& blockB, bool& inHand)
{
    inHand = false;
    const auto held = pending_[1].find(key);
    if (held != pending_[1].end() && held->second.complete)
        return true;
    while (reader.next(blockB)) {
        if (progress_.cancelled())
            return false;
        const std::uint8_t flags = headers_[1].flags[blockB.index];
        const bool ours = keyOf(1, blockB) == key;
        if (ours && single(1, flags) && (flags & kFirst) && !pending_[1].count(key)) {
            inHand = true;
            return true;
        }
        takeB(blockB);
        if (ours && pending_[1].count(key) && pending_[1][key].complete)
            return true;
    }
    return pending_[1].count(key) > 0;
}

bool Engine::walk()
{
    BlockReader readerA(sides_[0]), readerB(sides_[1]);
    Block blockA, blockB;
    while (readerA.next(blockA)) {
        if (progress_.cancelled())
            return false;
        progress_.report(readerA.offset() + readerB.offset());
        const std::uint8_t flags = headers_[0].flags[blockA.index];
        if (sides_[0].kind == FileKind::Ini && !(flags & kFirst))
            continue;  // the profile read never gets there
        const std::string key = keyOf(0, blockA);
        const bool held = pending_[0].count(key) > 0;
        if (!(flags & kInOther) && !held) {
            if (flags & kFirst)
                wholeSection(0, blockA.name, blockA.utf8, blockA.index);
            continue;
        }
        const bool alone = single(0, flags) && (flags & kFirst) && !held;
        if (!alone) {
            Section& section = pending(0, key, blockA);
            parseBlock(blockA, sides_[0], section);
            if (!(flags & kLast))
                continue;
            section.complete = true;
        }
        bool inHand = false;
        const bool found = seekB(readerB, key, blockB, inHand);
        if (progress_.cancelled())
            return false;
        if (alone && inHand) {
            compareBlocks(blockA, blockB);
            continue;
        }
        Section a;
        if (alone) {
            startSection(a, blockA);
            parseBlock(blockA, sides_[0], a);
        } else {
            a = std::move(pending_[0].extract(key).mapped());
        }
        if (!found) {
            wholeSection(0, a.name, a.utf8, a.order);
            continue;
        }
        Section b;
        if (inHand) {
            startSection(b, blockB);
            parseBlock(blockB, sides_[1], b);
        } else {
            b = std::move(pending_[1].extract(key).mapped());
        }
        compareSections(a, b);
    }
    while (readerB.next(blockB)) {
        if (progress_.cancelled())
            return false;
        takeB(blockB);
    }
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
    const bool scanned = scanHeaders(0) && scanHeaders(1);
    if (scanned) {
        for (Headers& headers : headers_)
            markOccurrences(headers);
        markShared(headers_[0], headers_[1]);
        markShared(headers_[1], headers_[0]);
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
