#include "document/document.h"

#include "app/commands.h"
#include "document/codecdecision.h"
#include "document/regedit4text.h"
#include "document/regvalue.h"
#include "document/winereg.h"
#include "platform/fileio.h"
#include "platform/lines.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace keyloom {

namespace {

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

// Adds the next line (or piece) of a hex value to `whole`, a continuation
// line without its leading blanks; true while the value goes on further, its
// "\" then taken off.
bool joinValueLine(std::string& whole, std::string_view line, bool continuation, bool partial)
{
    if (!continuation)
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    whole += line;
    const bool goesOn = partial || continuesOnNextLine(whole);
    if (goesOn && !partial)
        whole.pop_back();
    return goesOn;
}

// Records `raw`, the value of a line that matched, as the box shows it;
// `partial`: the line goes on beyond the reader's bound. `joining` tells
// whether a hex value goes on in the next line. False for a lone quote.
bool takeValue(RegistryLookup& result, std::string_view raw, bool partial, bool& joining)
{
    std::optional<ShownValue> shown = shownRegistryValue(raw);
    if (!shown)
        return false;
    result.found = true;
    result.text = std::move(shown->text);
    result.quoteState = shown->quoteState;
    result.cut = partial;
    result.whole = result.text;
    // A quoted value is a string, whatever its text looks like.
    joining =
        result.quoteState == kQuotesKept && hexHeadOf(result.whole) && (partial || continuesOnNextLine(result.whole));
    if (joining && !partial)
        result.whole.pop_back();
    return true;
}

// The UTF-8 text `text` is exactly the UTF-16 code units `units` (little-endian bytes).
bool holdsUnits(const std::string& text, const std::string& units)
{
    const QString decoded = QString::fromUtf8(text);
    if (std::size_t(decoded.size()) * 2 != units.size())
        return false;
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const char16_t unit = decoded.at(i).unicode();
        if (static_cast<unsigned char>(units[2 * i]) != (unit & 0xFF) ||
            static_cast<unsigned char>(units[2 * i + 1]) != (unit >> 8))
            return false;
    }
    return true;
}

// Records `raw`, the value of the Wine value line that matched: the box
// shows string forms decoded and takes a new text for them and for dword
// values only.
void takeWineValue(RegistryLookup& result, std::string_view raw, bool partial, bool& joining)
{
    const WineValue value = wineValueOf(raw);
    result.found = true;
    result.cut = partial;
    result.text = shownWineValue(raw);
    result.whole = raw;
    result.quoteState = value.form == WineForm::String ? kQuotesRemoved : kQuotesKept;
    // A text the box cannot hold as it is (a line break, a lone surrogate) is
    // shown but not edited: writing it back would change more than the user
    // typed. Escapes written otherwise than Wine writes them are no loss.
    const bool text = value.form == WineForm::String || value.form == WineForm::ExpandString;
    const bool faithful = !text || (holdsUnits(result.text, wineUtf16Bytes(value.escaped)) &&
                                    std::none_of(result.text.begin(), result.text.end(),
                                                 [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
    result.enabled = !partial && faithful && (text || value.form == WineForm::Dword);
    result.examined = true;
    joining = value.form == WineForm::Hex && (partial || continuesOnNextLine(raw));
    if (joining && !partial)
        result.whole.pop_back();
}

// One target of lookupRegistryValues while the file is read.
struct TargetScan {
    RegistryTarget target;
    SectionMatcher opens;
    RegistryLookup result = {};
    bool inSection = false;
    bool joining = false;  // the hex value found goes on in the next piece or line
    bool stopped = false;  // a lone quote ended this lookup
    // Lines of this target's section, and the rest of a value it found, are read.
    bool reads() const { return !stopped && (inSection || joining); }
};

// A key line of the target's section in an export; `lossy`: the line holds
// characters that the 8-bit text of a UTF-16 export shows as "?".
void takeRegistryLine(TargetScan& scan, const LineReader& reader, std::string_view line, bool lossy)
{
    RegistryLookup& result = scan.result;
    if (const std::optional<std::string_view> value = registryValueOf(line, *scan.target.entry)) {
        if (!takeValue(result, *value, reader.partial(), scan.joining)) {
            result.failed = true;
            scan.stopped = true;
            return;
        }
        result.lineOffset = reader.lineOffset();
        result.lineEnd = reader.offsetAt(line.size());
        result.unicodeText = reader.unicodeText();
        result.lossy = lossy;
        // Later lines of this occurrence are skipped; a later occurrence
        // of the same header is examined again.
        scan.inSection = false;
    }
    result.examined = true;
    const std::string_view shown = result.found ? std::string_view(result.text) : scan.target.currentText;
    result.enabled = !looksLikeHex(shown) && !(result.found && (result.cut || result.lossy));
}

// A line of the target's section in Wine's file.
void takeWineLine(TargetScan& scan, const LineReader& reader, std::string_view line, std::string& buffer)
{
    const std::optional<WineName> name = isWineMetaLine(line) ? std::nullopt : wineNameOf(line);
    if (!name || !wineNameIs(*name, *scan.target.entry, buffer))
        return;
    takeWineValue(scan.result, line.substr(name->valueAt), reader.partial(), scan.joining);
    scan.inSection = false;
}

// The one pass of lookupRegistryValues over an open file.
void scanTargets(LineReader& reader, FileKind kind, std::vector<TargetScan>& scans)
{
    const auto reading = [&] {
        return std::any_of(scans.begin(), scans.end(), [](const TargetScan& s) { return s.reads(); });
    };
    bool firstLine = true;
    std::uint64_t unmapped = 0;  // characters shown as "?" up to the line before
    std::string buffer;
    std::string_view line;
    // Outside the targets' sections only their next header can matter.
    while (firstLine || reading() ? reader.next(line) : reader.nextStartingWith("[", line)) {
        const bool utf16Data = kind == FileKind::WineRegistry || isUtf16(reader.encoding());
        const bool lossy = reader.unmapped() != std::exchange(unmapped, reader.unmapped());
        for (TargetScan& scan : scans) {
            scan.result.utf16Data = firstLine ? utf16Data : scan.result.utf16Data;
            if (scan.joining && !scan.stopped)
                scan.joining = joinValueLine(scan.result.whole, line, reader.continuation(), reader.partial());
        }
        firstLine = false;
        // Only the first piece of a line longer than the reader's bound is
        // looked at; a value cut there is shown but cannot be edited.
        if (reader.continuation() || line.empty())
            continue;
        const bool header = isHeaderLine(line);
        for (TargetScan& scan : scans) {
            if (scan.stopped)
                continue;
            if (header) {
                const bool opens = scan.opens.opens(line, !reader.partial());
                scan.result.sectionFound = scan.result.sectionFound || opens;
                // A section asked for alone has no lines to look at.
                scan.inSection = opens && scan.target.entry.has_value();
            } else if (scan.inSection && kind == FileKind::WineRegistry) {
                takeWineLine(scan, reader, line, buffer);
            } else if (scan.inSection) {
                takeRegistryLine(scan, reader, line, lossy);
            }
        }
    }
}

}  // namespace

bool startsAsWineRegistry(const QString& path)
{
    // Only the first line's bytes are read: this runs on every click. A FIFO
    // or device would block or never end: only a regular file is opened.
    QFile file(path);
    if (!isRegularFile(path) || !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray head = file.readLine(64);
    if (head.endsWith('\n'))
        head.chop(1);
    return isWineRegistryFirstLine(std::string_view(head.constData(), std::size_t(head.size())));
}

FileKind fileKindOf(const QString& path)
{
    if (startsAsWineRegistry(path))
        return FileKind::WineRegistry;
    return path.right(3).toLower() == QLatin1String("reg") ? FileKind::Registry : FileKind::Ini;
}

LoadResult loadFile(const QString& path)
{
    LoadResult result;
    // Wine's files list their key paths decoded, in UTF-8.
    const FileKind kind = fileKindOf(path);
    std::string nameBuffer;
    LineReader reader(path);
    result.opened = reader.isOpen();
    CodecDecision codec;
    Regedit4Builder text(QFileInfo(path).size());
    std::uint64_t lineNumber = 0;
    // Until a marker line only header and marker lines matter, and the
    // encoding test of every byte: the lines in between are passed over
    // whole. Their count is then unknown, and file lines are counted from
    // the marker line until the end tells whether a line number is needed.
    bool linesPassed = false;
    std::int64_t markerOffset = -1;  // of the first marker line, when lines were passed
    // Wine's files are ASCII and listed in UTF-8: no encoding to decide.
    const bool decide = kind != FileKind::WineRegistry;
    const LineReader::Passed passed = [&](std::string_view bytes) {
        linesPassed = true;
        if (decide)
            codec.feed(bytes, true);
    };
    std::string_view line;
    // Wine's files are ASCII: no export marker to look for.
    const std::string_view firsts = decide ? std::string_view("[\xFF") : std::string_view("[");
    while (text.started() ? reader.next(line) : reader.nextStartingWith(firsts, line, passed)) {
        // A line longer than the reader's bound arrives in pieces; only its
        // first piece is a line start. A header that long gives an entry of
        // its first piece, which names no section the listing can find.
        const bool lineStart = !reader.continuation();
        if (lineStart)
            ++lineNumber;
        if (const auto name = lineStart ? sectionNameOf(line, kind, nameBuffer) : std::nullopt)
            result.sections.push_back(*name);
        if (decide)
            codec.feed(line, reader.partial());
        if (text.add(reader, line, lineNumber) && linesPassed) {
            markerOffset = reader.lineOffset();
            lineNumber = 1;
        }
    }
    result.failed = reader.failed();
    result.markerFound = text.started();
    result.regedit4 = text.finish(reader);
    result.unconvertible = text.unconvertible();
    result.firstUnconvertibleLine = text.firstUnconvertibleLine();
    result.damagedLine = text.damagedLine();
    if (markerOffset >= 0 && (result.firstUnconvertibleLine != 0 || result.damagedLine != 0)) {
        const std::uint64_t before = linesBefore(path, markerOffset);
        for (std::uint64_t* line : {&result.firstUnconvertibleLine, &result.damagedLine})
            *line += *line != 0 ? before : 0;
    }
    result.codec =
        kind == FileKind::WineRegistry ? TextCodec::Utf8 : codec.codec(reader.encoding(), reader.unicodeText());
    return result;
}

QString longValueNote()
{
    return QStringLiteral("Der Wert ist länger, als das Feld zeigen kann (%1 Zeichen), und bleibt in der Datei, wie er "
                          "ist.")
        .arg(Commands::kProfileBufferSize - 1);
}

QString readFailedNote(const QString& file)
{
    return QStringLiteral("Die Datei '%1' konnte nicht vollständig gelesen werden.").arg(Commands::FileNamePart(file));
}

QString unconvertibleNote(const QString& file, std::uint64_t count, std::uint64_t firstLine)
{
    const QString name = Commands::FileNamePart(file);
    if (count == 1)
        return QStringLiteral("Die Datei '%1' enthält 1 Zeichen, das im REGEDIT4-Format nicht darstellbar ist (in "
                              "Zeile %2). Die Datei bleibt unverändert.")
            .arg(name, QString::number(firstLine));
    return QStringLiteral("Die Datei '%1' enthält %2 Zeichen, die im REGEDIT4-Format nicht darstellbar sind (erstes "
                          "in Zeile %3). Die Datei bleibt unverändert.")
        .arg(name, QString::number(count), QString::number(firstLine));
}

QString regedit4Refusal(const LoadResult& loaded, const QString& file)
{
    if (loaded.failed)
        return readFailedNote(file);
    if (loaded.damagedLine != 0)
        return QStringLiteral("Die Datei '%1' ist beschädigt (Zeile %2: Zeilenende fehlt oder ein halbes "
                              "UTF-16-Zeichen am Ende). Die Datei bleibt unverändert.")
            .arg(Commands::FileNamePart(file), QString::number(loaded.damagedLine));
    if (loaded.unconvertible > 0)
        return unconvertibleNote(file, loaded.unconvertible, loaded.firstUnconvertibleLine);
    return {};
}

bool writesInPlace(const LoadResult& loaded)
{
    return loaded.markerFound && !loaded.failed && loaded.damagedLine == 0 && loaded.unconvertible > 0;
}

QString inPlaceNote(const QString& file)
{
    return QStringLiteral("Die Datei '%1' enthält Zeichen, die REGEDIT4 nicht aufnehmen kann. Der Wert wurde direkt "
                          "in die UTF-16-Datei geschrieben; die Datei bleibt ein UTF-16-Export.")
        .arg(Commands::FileNamePart(file));
}

KeyListing listKeys(const QString& path, std::string_view section, FileKind kind)
{
    KeyListing result;
    LineReader reader(path);
    if (!reader.isOpen()) {
        result.failed = result.readFailed = true;
        return result;
    }
    SectionMatcher opens(section, kind);
    bool inSection = false;
    KeyRows rows(kind);
    std::string_view line;
    // Outside the section only its next header can matter.
    while (inSection || rows.waiting() ? reader.next(line) : reader.nextStartingWith("[", line)) {
        const bool continuation = reader.continuation();
        if (!continuation && isHeaderLine(line)) {
            // A line in pieces is longer than any header the scan lists.
            inSection = opens.opens(line, !reader.partial());
            result.sectionFound = result.sectionFound || inSection;
            rows.start(inSection);
            continue;
        }
        if (const std::optional<KeyRows::Row> row = rows.feed(line, continuation, reader.partial()))
            result.keys.emplace_back(row->entry);
        if (rows.ended()) {
            result.failed = true;
            return result;
        }
    }
    result.failed = result.readFailed = reader.failed();
    return result;
}

bool readLineAt(const QString& path, std::int64_t offset,
                const std::function<void(std::string_view piece, bool last)>& sink)
{
    LineReader reader(path);
    std::string_view line;
    while (reader.next(line)) {
        if (reader.continuation() || reader.lineOffset() < offset)
            continue;
        if (reader.lineOffset() > offset)
            return false;
        for (;;) {
            sink(line, !reader.partial());
            if (!reader.partial())
                return true;
            if (!reader.next(line))
                return false;
        }
    }
    return false;
}

std::vector<RegistryLookup> lookupRegistryValues(const QString& path, FileKind kind,
                                                 const std::vector<RegistryTarget>& targets)
{
    std::vector<TargetScan> scans;
    scans.reserve(targets.size());
    for (const RegistryTarget& target : targets)
        scans.push_back(TargetScan{target, SectionMatcher(target.section, kind)});
    // Wine's text data are UTF-16 code units however the file is stored.
    for (TargetScan& scan : scans)
        scan.result.utf16Data = kind == FileKind::WineRegistry;
    LineReader reader(path);
    if (reader.isOpen())
        scanTargets(reader, kind, scans);
    std::vector<RegistryLookup> results;
    results.reserve(scans.size());
    for (TargetScan& scan : scans) {
        // A lone quote ended that lookup before the rest of the file was read.
        if (!scan.stopped)
            scan.result.failed = scan.result.readFailed = !reader.isOpen() || reader.failed();
        results.push_back(std::move(scan.result));
    }
    return results;
}

RegistryLookup lookupRegistryValue(const QString& path, std::string_view section, std::string_view entry,
                                   std::string_view currentText)
{
    return lookupRegistryValues(path, FileKind::Registry, {{section, entry, currentText}}).front();
}

RegistryLookup lookupWineValue(const QString& path, std::string_view section, std::string_view entry)
{
    return lookupRegistryValues(path, FileKind::WineRegistry, {{section, entry, {}}}).front();
}

namespace {

// The bytes of a UTF-16 export from `from` to `to` (a line without its
// ending) behind the file's byte-order mark; none when they cannot be read.
std::optional<std::string> unitsOfLine(const QString& file, std::int64_t from, std::int64_t to)
{
    InputFile in;
    std::string bytes(2, '\0');
    if (to < from || !in.open(file) || in.read(bytes.data(), 2) != 2 || !in.seek(from))
        return std::nullopt;
    bytes.resize(bytes.size() + std::size_t(to - from));
    for (std::size_t got = 2; got < bytes.size();) {
        const std::int64_t n = in.read(bytes.data() + got, bytes.size() - got);
        if (n <= 0)
            return std::nullopt;
        got += std::size_t(n);
    }
    return bytes;
}

// `units` (a byte-order mark and one line) as the file's reader delivers it:
// UTF-8 text where `unicode`, then only with every unit as it is, otherwise
// the 8-bit text. None when they hold a line end or no UTF-16.
std::optional<std::string> decodedLine(std::string_view units, bool unicode)
{
    LineReader reader(LineReader::FromMemory{}, units, 2 * units.size() + LineReader::kMinMaxLine);
    reader.setUnicodeText(unicode);
    std::string_view line;
    if (!reader.next(line) || !isUtf16(reader.encoding()) || reader.ending() != LineEnding::None)
        return std::nullopt;
    std::string text(firstLineText(line, reader.encoding()));
    // A lone surrogate is replaced, or dropped at the end.
    if (unicode && (reader.unmapped() != 0 || std::size_t(QString::fromStdString(text).size()) * 2 + 2 != units.size()))
        return std::nullopt;
    return text;
}

// A value of a UTF-16 export whose line holds characters the 8-bit text shows
// as "?", shown as the file holds it (UTF-8 text): such a file is written in
// place, where the box's text keeps every character. The 8-bit view stays
// when the key's name itself has such characters; a line that cannot be read
// again, or no longer holds what `view` shows, is a failed read.
void showUnicodeValue(ValueView& view, const QString& file, const RegistryLookup& lookup, std::string_view key)
{
    const std::optional<std::string> units = unitsOfLine(file, lookup.lineOffset, lookup.lineEnd);
    const std::optional<std::string> narrow = units ? decodedLine(*units, false) : std::nullopt;
    const std::optional<std::string_view> narrowRaw = narrow ? registryValueOf(*narrow, key) : std::nullopt;
    const std::optional<ShownValue> again = narrowRaw ? shownRegistryValue(*narrowRaw) : std::nullopt;
    if (!again || again->text != view.text || again->quoteState != view.quoteState) {
        view.failed = view.readFailed = true;
        return;
    }
    const std::optional<std::string> line = decodedLine(*units, true);
    const std::string name = decodeText(key, TextCodec::Windows1252).toStdString();
    const std::optional<std::string_view> raw = line ? registryValueOf(*line, name) : std::nullopt;
    std::optional<ShownValue> shown = raw ? shownRegistryValue(*raw) : std::nullopt;
    if (!shown)
        return;
    view.quoteState = shown->quoteState;
    view.text = std::move(shown->text);
    view.utf8 = true;
    view.enabled = !looksLikeHex(*view.text);
}

}  // namespace

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
        const bool cut = full && Commands::ProfileValueIsCut(label, key, file);
        view.text = std::move(value);
        view.enabled = !cut;
        view.toolTip = cut ? longValueNote() : QString();
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
        view.readFailed = lookup.readFailed;
        if (lookup.found && lookup.lossy && !lookup.cut && !lookup.unicodeText)
            showUnicodeValue(view, file, lookup, key);
        break;
    }
    case FileKind::WineRegistry: {
        RegistryLookup lookup = lookupWineValue(file, section, key);
        if (lookup.found) {
            view.quoteState = lookup.quoteState;
            view.text = std::move(lookup.text);
            view.toolTip = describeWineValue(lookup.whole);
            view.enabled = lookup.enabled;
        }
        view.failed = lookup.failed;
        view.readFailed = lookup.readFailed;
        break;
    }
    }
    return view;
}

}  // namespace keyloom
