// keyloom: the editor's reading and writing for scripts. The same core
// functions as the window, with text on the command line and on standard
// output in UTF-8 and the file's own encoding inside the file.

#include "cli/scripting.h"
#include "document/compare.h"
#include "document/document.h"
#include "document/regvalue.h"
#include "document/winereg.h"
#include "edit/apply.h"
#include "filecommands/convert.h"
#include "filecommands/filecommands.h"
#include "platform/fileio.h"
#include "platform/lines.h"
#include "platform/profile.h"
#include "platform/wineserver.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace keyloom {
namespace {

// kWriteFailed: a read or a write failed.
enum Exit { kDone = 0, kMissing = 1, kUsage = 2, kWriteFailed = 3 };

const char kUsageText[] =
    "Aufruf: keyloom BEFEHL DATEI [ABSCHNITT [SCHLÜSSEL [WERT]]]\n"
    "\n"
    "Befehle:\n"
    "  sections DATEI                    die Abschnitte, einer je Zeile\n"
    "      keyloom sections setup.inf\n"
    "  keys DATEI ABSCHNITT              die Schlüssel eines Abschnitts\n"
    "      keyloom keys kasse.ini Drucker\n"
    "  get DATEI ABSCHNITT SCHLÜSSEL     der Wert eines Schlüssels\n"
    "      keyloom get kasse.ini Drucker Port\n"
    "  get --decoded DATEI ABSCHNITT SCHLÜSSEL\n"
    "                                    der Wert, wie ihn ein Import speichert\n"
    "      keyloom get --decoded lager.reg 'HKEY_CURRENT_USER\\Software\\Lager' Pfad\n"
    "  sections, keys, get mit --json    die Ausgabe als JSON (UTF-8)\n"
    "      keyloom keys --json kasse.ini Drucker\n"
    "  find [--sections] [--keys] [--values] [--case] [--json] DATEI TEXT\n"
    "                                    jeder Fund, einer je Zeile, in Dateireihenfolge\n"
    "      keyloom find --keys setup.inf Treiber\n"
    "  set [--force] DATEI ABSCHNITT SCHLÜSSEL WERT  den Wert schreiben\n"
    "      keyloom set kasse.ini Drucker Port COM2\n"
    "      (--force: auch wenn Wine für das Prefix einer Wine-Registrierungsdatei läuft)\n"
    "  set [--decoded] [--force] DATEI ABSCHNITT SCHLÜSSEL WERT [ABSCHNITT SCHLÜSSEL WERT]...\n"
    "                                    mehrere Werte, in einem Schreibvorgang\n"
    "      keyloom set kasse.ini Drucker Port COM2 Drucker Baud 9600\n"
    "  set --decoded DATEI ABSCHNITT SCHLÜSSEL WERT\n"
    "                                    den Wert so, wie ihn ein Import speichert\n"
    "      keyloom set --decoded lager.reg 'HKEY_CURRENT_USER\\Software\\Lager' Pfad 'C:\\Lager'\n"
    "  del [--force] DATEI ABSCHNITT [SCHLÜSSEL] [-- ABSCHNITT [SCHLÜSSEL]]...\n"
    "                                    Schlüssel oder ganze Abschnitte löschen,\n"
    "                                    in einem Schreibvorgang\n"
    "      keyloom del kasse.ini Drucker Alt -- Veraltet\n"
    "  convert DATEI                     einen UTF-16-Export als REGEDIT4-Text schreiben\n"
    "      keyloom convert lager.reg\n"
    "  diff [--json] DATEI1 DATEI2       was sich zwischen zwei Dateien unterscheidet\n"
    "      keyloom diff vorher.reg nachher.reg\n"
    "\n"
    "Exit-Status: 0 erledigt, 1 Datei, Abschnitt oder Schlüssel fehlt,\n"
    "2 falscher Aufruf oder abgelehnter Wert, 3 Schreiben fehlgeschlagen.\n"
    "diff: 0 gleich, 1 verschieden, 2 falscher Aufruf oder nicht vergleichbar,\n"
    "3 eine Datei nicht lesbar.\n";

void say(const QString& message) { std::fputs(("keyloom: " + message + "\n").toUtf8().constData(), stderr); }

void print(const QString& line)
{
    if (cli::collectJsonLine(line))
        return;
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
}

// One file as the commands see it, with its code page worked out only when a
// text beyond ASCII needs it: finding that out reads the whole file.
class Document {
public:
    explicit Document(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }
    FileKind kind() const { return fileKindOf(path_); }
    bool exists() const { return isRegularFile(path_); }

    TextCodec codec()
    {
        if (!codec_)
            codec_ = isUtf16File(path_) ? (isUnicodeTextFile(path_) ? TextCodec::Utf8 : TextCodec::Windows1252)
                                        : loadFile(path_).codec;
        return *codec_;
    }
    QString decode(const std::string& bytes) { return decodeText(bytes, isAscii(bytes) ? TextCodec::Utf8 : codec()); }
    // The bytes of `text` in the file's encoding; nothing when the file's
    // code page lacks one of its characters.
    std::optional<std::string> encode(const QString& text) { return encodeForCodec(text, codecFor(text)); }
    // The file's codec where `text` needs one; plain ASCII is the same bytes
    // in every codec, and finding the codec out reads the whole file.
    TextCodec codecFor(const QString& text)
    {
        const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
        return ascii ? TextCodec::Utf8 : codec();
    }

private:
    static bool isAscii(const std::string& bytes)
    {
        return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    }

    QString path_;
    std::optional<TextCodec> codec_;
};

int missingFile(const Document& doc)
{
    say(QStringLiteral("Datei '%1' nicht gefunden.").arg(doc.path()));
    return kMissing;
}

int unencodable(const QString& what, const Document& doc)
{
    say(QStringLiteral("%1 enthält Zeichen, die in der Datei '%2' (Windows-1252) nicht darstellbar sind.")
            .arg(what, doc.path()));
    return kUsage;
}

int sections(Document& doc)
{
    if (!doc.exists())
        return missingFile(doc);
    LoadResult loaded = loadFile(doc.path());
    for (const std::string& section : loaded.sections)
        print(decodeText(section, loaded.codec));
    if (loaded.failed) {
        say(readFailedNote(doc.path()));
        return kWriteFailed;
    }
    return kDone;
}

// The section's keys as the key list shows them; nothing when the section
// does not exist or the file could not be read (a message said so, and
// `exit` holds the status).
std::optional<KeyListing> listSection(Document& doc, const QString& section, std::string& sectionBytes, int& exit)
{
    exit = kMissing;
    const std::optional<std::string> bytes = doc.encode(section);
    if (!bytes) {
        say(QStringLiteral("Abschnitt '%1' nicht gefunden.").arg(section));
        return std::nullopt;
    }
    sectionBytes = *bytes;
    KeyListing listing = listKeys(doc.path(), sectionBytes, doc.kind());
    if (listing.readFailed) {
        say(readFailedNote(doc.path()));
        exit = kWriteFailed;
        return std::nullopt;
    }
    if (!listing.sectionFound) {
        say(QStringLiteral("Abschnitt '%1' nicht gefunden.").arg(section));
        return std::nullopt;
    }
    return listing;
}

int keys(Document& doc, const QString& section)
{
    if (!doc.exists())
        return missingFile(doc);
    std::string sectionBytes;
    int exit = kDone;
    const std::optional<KeyListing> listing = listSection(doc, section, sectionBytes, exit);
    if (!listing)
        return exit;
    for (const std::string& key : listing->keys)
        print(doc.decode(key));
    return kDone;
}

// The value of `key` as the value box shows it, with QuoteState; nothing
// when the section or the key does not exist (a message said so).
struct Found {
    std::string section;
    std::string key;
    std::string value;
    std::int16_t quoteState = kQuotesKept;
    // Registry values: the value with the lines of a wrapped list joined,
    // how its text data are stored, and where its line starts when the value
    // is longer than the reader's bound (`value` then holds its beginning).
    std::string whole;
    bool utf16Data = false;
    std::int64_t cutLineAt = -1;
};

// `looked`: the lookup of the value made beforehand with those of other
// targets; without it the value is looked up now.
bool findRegistryValue(Document& doc, Found& found, bool& readFailed, const RegistryLookup* looked)
{
    RegistryLookup lookup = looked ? *looked
                            : doc.kind() == FileKind::WineRegistry
                                ? lookupWineValue(doc.path(), found.section, found.key)
                                : lookupRegistryValue(doc.path(), found.section, found.key, {});
    readFailed = lookup.readFailed;
    if (lookup.failed || !lookup.found)
        return false;
    found.value = std::move(lookup.text);
    found.quoteState = lookup.quoteState;
    found.whole = std::move(lookup.whole);
    found.utf16Data = lookup.utf16Data;
    found.cutLineAt = lookup.cut ? lookup.lineOffset : -1;
    return true;
}

bool findIniValue(Document& doc, Found& found, bool& readFailed)
{
    // Room for the longest value the profile read gives: a value is never
    // cut where the window's box would cut it.
    std::string buffer(LineReader::kMaxLine + 1, '\0');
    const std::int64_t n =
        GetPrivateProfileStringA(found.section, found.key, "", buffer.data(), std::int64_t(buffer.size()), doc.path());
    buffer.resize(std::size_t(n));
    found.value = std::move(buffer);
    // The profile read gives an empty text for a missing key and an empty
    // value alike.
    if (!found.value.empty())
        return true;
    const KeyListing listing = listKeys(doc.path(), found.section, FileKind::Ini);
    readFailed = listing.readFailed;
    return std::find(listing.keys.begin(), listing.keys.end(), found.key) != listing.keys.end();
}

// Nothing when the key is missing or the file could not be read (a message
// said so, and `exit` holds the status). `looked` as for findRegistryValue.
std::optional<Found> findValue(Document& doc, const QString& section, const QString& key, int& exit,
                               const RegistryLookup* looked = nullptr)
{
    exit = kMissing;
    const auto missing = [&] {
        say(QStringLiteral("Schlüssel '%1' in Abschnitt '%2' nicht gefunden.").arg(key, section));
        return std::nullopt;
    };
    const std::optional<std::string> sectionBytes = doc.encode(section);
    const std::optional<std::string> keyBytes = doc.encode(key);
    if (!sectionBytes || !keyBytes)
        return missing();
    Found found{*sectionBytes, *keyBytes, {}, kQuotesKept, {}, false, -1};
    bool readFailed = false;
    const bool present = doc.kind() == FileKind::Ini ? findIniValue(doc, found, readFailed)
                                                     : findRegistryValue(doc, found, readFailed, looked);
    if (readFailed) {
        say(readFailedNote(doc.path()));
        exit = kWriteFailed;
        return std::nullopt;
    }
    if (!present)
        return missing();
    return found;
}

// How many bytes at the end of `bytes`, a piece of a longer line, wait for
// the next piece: a closing quote, half an escape, part of a character.
std::size_t heldBack(std::string_view bytes, bool quoted, bool unescape)
{
    std::size_t n = 0;
    while (n < 3 && n < bytes.size() && static_cast<unsigned char>(bytes[bytes.size() - 1 - n]) >= 0x80)
        ++n;
    if (n > 0)
        return n;
    if (quoted && bytes.ends_with('"'))
        return 1;
    const std::size_t run = bytes.size() - std::min(bytes.find_last_not_of('\\') + 1, bytes.size());
    return unescape && quoted && run % 2 == 1 ? 1 : 0;
}

// Prints the value whose line is longer than the reader's bound, piece by
// piece: its text after the key's "=", less one pair of enclosing quotes,
// unescaped where `unescape`.
bool printLongValue(Document& doc, const Found& found, bool unescape)
{
    std::string bytes;
    bool first = true;
    bool quoted = false;
    const auto writePiece = [&](std::string_view piece, bool last) {
        if (first) {
            piece = registryValueOf(piece, found.key).value_or(std::string_view());
            quoted = piece.starts_with('"');
            if (quoted)
                piece.remove_prefix(1);
            first = false;
        }
        bytes += piece;
        if (last && quoted && bytes.ends_with('"'))
            bytes.pop_back();
        const std::size_t held = last ? 0 : heldBack(bytes, quoted, unescape);
        const std::string_view out = std::string_view(bytes).substr(0, bytes.size() - held);
        const QByteArray utf8 =
            doc.decode(unescape && quoted ? unescapeRegistryString(out) : std::string(out)).toUtf8();
        std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stdout);
        bytes.erase(0, bytes.size() - held);
    };
    if (!readLineAt(doc.path(), found.cutLineAt, writePiece))
        return false;
    std::fputc('\n', stdout);
    return true;
}

// The value as an importer stores it; the description of what it holds
// where no text stands for it (binary data, numbers beyond a dword).
QString decodedText(Document& doc, const Found& found)
{
    // Wine's file holds its strings as they are stored; other values get a description.
    if (doc.kind() == FileKind::WineRegistry) {
        const QString description = describeWineValue(found.whole);
        return description.isEmpty() ? doc.decode(found.value) : description;
    }
    // The lookup took the quotes off where the value box shows it so.
    if (found.quoteState == kQuotesRemoved)
        return doc.decode(unescapeRegistryString(found.value));
    return decodedRegistryText(found.whole, found.utf16Data,
                               [&](std::string_view bytes) { return doc.decode(std::string(bytes)); });
}

int get(Document& doc, const QString& section, const QString& key, bool decoded)
{
    if (!doc.exists())
        return missingFile(doc);
    int exit = kDone;
    const std::optional<Found> found = findValue(doc, section, key, exit);
    if (!found)
        return exit;
    if (found->cutLineAt >= 0) {
        if (printLongValue(doc, *found, decoded))
            return kDone;
        say(readFailedNote(doc.path()));
        return kWriteFailed;
    }
    print(decoded && doc.kind() != FileKind::Ini ? decodedText(doc, *found) : doc.decode(found->value));
    return kDone;
}

// The REGEDIT4 text of a UTF-16 export, when it can hold every character;
// nothing otherwise (a message said so).
std::optional<LoadResult> convertibleText(Document& doc)
{
    LoadResult loaded = loadFile(doc.path());
    const QString refusal = regedit4Refusal(loaded, doc.path());
    if (!refusal.isEmpty() && (loaded.markerFound || loaded.failed)) {
        say(refusal);
        return std::nullopt;
    }
    return loaded;
}

// The exit status of a write that ended in `result`.
int exitOf(const EditResult& result)
{
    switch (result.status) {
    case EditStatus::Done:
        return kDone;
    case EditStatus::Invalid:
        return kUsage;
    case EditStatus::Refused:
    case EditStatus::Changed:
    case EditStatus::BackupTaken:
    case EditStatus::BackupFailed:
    case EditStatus::WriteFailed:
    case EditStatus::DeleteFailed:
        break;
    }
    return kWriteFailed;
}

// Refuses a write into Wine's file while a wineserver runs for its prefix
// and `force` is not given: Wine would write its own copy over it when it ends.
bool wineRunsRefused(Document& doc, bool force)
{
    if (doc.kind() != FileKind::WineRegistry || force || !wineServerRunsFor(winePrefixOf(doc.path())))
        return false;
    say(QStringLiteral("Wine läuft für dieses Prefix und überschreibt die Datei beim Beenden. Die Datei wurde "
                       "nicht geändert; --force schreibt trotzdem."));
    return true;
}

// A request for `doc` with the identity taken before anything is read: a
// change meanwhile is not written over.
EditRequest requestFor(Document& doc, const FileIdentity& identity)
{
    EditRequest request;
    request.file = doc.path();
    request.identity = identity;
    request.kind = doc.kind();
    return request;
}

// The change that sets one value, checked; nothing when it is refused or
// not there (a message said so, and `exit` holds the status).
std::optional<EditChange> setChange(Document& doc, const FileIdentity& identity, const QStringList& target,
                                    const RegistryLookup* looked, bool decoded, int& exit)
{
    const QString& value = target.at(2);
    EditRequest request = requestFor(doc, identity);
    request.codec = doc.codecFor(value);
    request.text = value;
    if (doc.kind() != FileKind::Ini) {
        // An export's key is written where it stands; it is never added.
        const std::optional<Found> found = findValue(doc, target.at(0), target.at(1), exit, looked);
        if (!found)
            return std::nullopt;
        // The window disables the box of a hex value: only its decoded text
        // is written, as a whole list.
        if (!decoded && looksLikeHex(found->value)) {
            say(hexValueNote(doc.path()));
            exit = kUsage;
            return std::nullopt;
        }
        request.section = found->section;
        request.key = found->key;
        request.quoteState = found->quoteState;
        // A UTF-16 export is written in place (writeChanges): its text data
        // stay UTF-16 code units.
        if (decoded)
            request.current = found->value;
    } else {
        const std::optional<std::string> sectionBytes = doc.encode(target.at(0));
        const std::optional<std::string> keyBytes = doc.encode(target.at(1));
        if (!sectionBytes || !keyBytes) {
            exit = unencodable(QStringLiteral("Der Name"), doc);
            return std::nullopt;
        }
        request.section = *sectionBytes;
        request.key = *keyBytes;
    }
    request.label = request.section;
    return EditChange{EditChange::Set, std::move(request)};
}

// Whether `section` is there, from `looked` (the lookup of the section made
// with those of the other targets, nothing when its name could not be
// encoded); false when not or the file could not be read (a message said so,
// and `exit` holds the status).
bool sectionThere(Document& doc, const QString& section, const RegistryLookup* looked, std::string& sectionBytes,
                  int& exit)
{
    exit = kMissing;
    const std::optional<std::string> bytes = doc.encode(section);
    if (looked && looked->readFailed) {
        say(readFailedNote(doc.path()));
        exit = kWriteFailed;
        return false;
    }
    if (!bytes || !looked || !looked->sectionFound) {
        say(QStringLiteral("Abschnitt '%1' nicht gefunden.").arg(section));
        return false;
    }
    sectionBytes = *bytes;
    return true;
}

std::optional<EditChange> missingTarget(const QStringList& target, int& exit)
{
    if (target.size() == 2)
        say(QStringLiteral("Schlüssel '%1' in Abschnitt '%2' nicht gefunden.").arg(target.at(1), target.at(0)));
    else
        say(QStringLiteral("Abschnitt '%1' nicht gefunden.").arg(target.at(0)));
    exit = kMissing;
    return std::nullopt;
}

// The change that deletes a key (or, with a target of one name, a whole
// section), checked to be there; nothing otherwise (a message said so, and
// `exit` holds the status).
std::optional<EditChange> deleteChange(Document& doc, const FileIdentity& identity, const QStringList& target,
                                       const RegistryLookup* looked, int& exit)
{
    EditChange change{EditChange::DeleteSection, requestFor(doc, identity)};
    EditRequest& request = change.request;
    if (target.size() == 2)
        change.kind = EditChange::DeleteKey;
    if (doc.kind() == FileKind::Ini) {
        // What the profile delete takes: names as the profile read finds them.
        const std::optional<std::string> section = doc.encode(target.at(0));
        const std::optional<std::string> key = doc.encode(target.value(1));
        if (!section || !key)
            return missingTarget(target, exit);
        request.section = request.label = *section;
        request.key = *key;
        const std::optional<bool> finds = profileDeleteFinds(
            {*section, change.kind == EditChange::DeleteKey ? key : std::nullopt, std::nullopt}, doc.path());
        if (!finds) {
            say(readFailedNote(doc.path()));
            exit = kWriteFailed;
            return std::nullopt;
        }
        return *finds ? std::optional(change) : missingTarget(target, exit);
    }
    if (target.size() == 2) {
        const std::optional<Found> found = findValue(doc, target.at(0), target.at(1), exit, looked);
        if (!found)
            return std::nullopt;
        request.section = found->section;
        request.key = found->key;
    } else if (!sectionThere(doc, target.at(0), looked, request.section, exit)) {
        return std::nullopt;
    }
    request.label = request.section;
    return change;
}

// Writes `changes` in one rewrite; a UTF-16 export as the REGEDIT4 text the
// window would write.
int writeChanges(const std::vector<EditChange>& changes)
{
    // A file keeps its form: a UTF-16 export is written in place, in UTF-16
    // (`keyloom convert` is the way to REGEDIT4).
    const EditResult result = applyEdits(changes, nullptr, {});
    if (result.status != EditStatus::Done)
        say(result.reason);
    return exitOf(result);
}

// Every target of a set or del (SECTION KEY [VALUE], or SECTION alone) in an
// export or Wine's file looked up in one pass over the file, in their order;
// none for a name the file's code page cannot hold, which is missing. Empty
// for an INI file, whose targets the profile functions find.
std::vector<std::optional<RegistryLookup>> lookUpTargets(Document& doc, const QList<QStringList>& targets)
{
    if (doc.kind() == FileKind::Ini)
        return {};
    std::vector<std::pair<std::string, std::optional<std::string>>> names;
    names.reserve(std::size_t(targets.size()));
    std::vector<RegistryTarget> wanted;
    std::vector<std::optional<std::size_t>> index;  // of each target in `wanted`
    for (const QStringList& target : targets) {
        const bool keyed = target.size() >= 2;
        std::optional<std::string> section = doc.encode(target.at(0));
        std::optional<std::string> key = keyed ? doc.encode(target.at(1)) : std::nullopt;
        index.push_back(section && (key || !keyed) ? std::optional(wanted.size()) : std::nullopt);
        if (!index.back())
            continue;
        // `names` never grows beyond its room: the views into it stay valid.
        const auto& [sectionBytes, keyBytes] = names.emplace_back(std::move(*section), std::move(key));
        wanted.push_back({sectionBytes, keyBytes ? std::optional<std::string_view>(*keyBytes) : std::nullopt, {}});
    }
    std::vector<RegistryLookup> found = lookupRegistryValues(doc.path(), doc.kind(), wanted);
    std::vector<std::optional<RegistryLookup>> results;
    for (const std::optional<std::size_t>& at : index)
        results.push_back(at ? std::optional(std::move(found[*at])) : std::nullopt);
    return results;
}

// set and del: every target checked before the file is written once.
int write(Document& doc, const QList<QStringList>& targets, bool remove, bool decoded, bool force)
{
    if ((remove || doc.kind() != FileKind::Ini) && !doc.exists())
        return missingFile(doc);
    if (wineRunsRefused(doc, force))
        return kUsage;
    const FileIdentity identity = identityOf(doc.path());
    const std::vector<std::optional<RegistryLookup>> looked = lookUpTargets(doc, targets);
    std::vector<EditChange> changes;
    for (qsizetype i = 0; i < targets.size(); ++i) {
        int exit = kDone;
        const QStringList& target = targets.at(i);
        const RegistryLookup* lookup = looked.empty() || !looked[std::size_t(i)] ? nullptr : &*looked[std::size_t(i)];
        std::optional<EditChange> change = remove ? deleteChange(doc, identity, target, lookup, exit)
                                                  : setChange(doc, identity, target, lookup, decoded, exit);
        if (!change)
            return exit;
        changes.push_back(std::move(*change));
    }
    return writeChanges(changes);
}

int convert(Document& doc)
{
    if (!doc.exists())
        return missingFile(doc);
    const FileIdentity read = identityOf(doc.path());
    const std::optional<LoadResult> loaded = convertibleText(doc);
    if (!loaded)
        return kWriteFailed;
    if (!loaded->markerFound) {
        say(nothingToConvertNote(doc.path()));
        return kMissing;
    }
    const ReplaceResult written = writeConversion(doc.path(), loaded->regedit4, read);
    if (!written.written) {
        say(conversionFailedNote(doc.path(), written));
        return kWriteFailed;
    }
    return kDone;
}

// Compares two files; prints nothing until the comparison is done.
int diff(QStringList args)
{
    const bool json = !args.isEmpty() && args.first() == QLatin1String("--json");
    if (json)
        args.removeFirst();
    if (args.size() != 2) {
        say(QStringLiteral("falscher Aufruf; 'keyloom --help' zeigt die Befehle."));
        return kUsage;
    }
    const Comparison comparison = compareFiles(args.at(0), args.at(1));
    switch (comparison.status) {
    case CompareStatus::Refused:
        say(compareFailureMessage(comparison, args.at(0), args.at(1)));
        return kUsage;
    case CompareStatus::Unreadable:
    case CompareStatus::Cancelled:
        say(compareFailureMessage(comparison, args.at(0), args.at(1)));
        return kWriteFailed;
    case CompareStatus::Equal:
    case CompareStatus::Different:
        break;
    }
    const QByteArray out =
        json ? differencesAsJson(comparison.differences) : differencesAsText(comparison.differences).toUtf8();
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
    return comparison.status == CompareStatus::Equal ? kDone : kMissing;
}

// Takes --decoded (get, set) and --force (set, del) from the front of `args`,
// in either order, before the file.
void takeOptions(const QString& command, QStringList& args, bool& decoded, bool& force)
{
    const bool writes = command == QLatin1String("set") || command == QLatin1String("del");
    const bool decodes = command == QLatin1String("set") || command == QLatin1String("get");
    for (bool taken = true; taken && !args.isEmpty();) {
        taken = decodes && args.first() == "--decoded" && !decoded;
        decoded = decoded || taken;
        const bool forced = writes && args.first() == "--force" && !force;
        force = force || forced;
        taken = taken || forced;
        if (taken)
            args.removeFirst();
    }
}

int run(QStringList args)
{
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        std::fputs(kUsageText, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? kUsage : kDone;
    }
    if (args.first() == QLatin1String("--version")) {
        print(QStringLiteral("keyloom %1").arg(QStringLiteral(KEYLOOM_VERSION)));
        return kDone;
    }
    if (args.first() == QLatin1String("find"))
        return cli::find(args.mid(1));
    const bool readCommand = args.first() == QLatin1String("sections") || args.first() == QLatin1String("keys") ||
                             args.first() == QLatin1String("get");
    if (readCommand && cli::takeJsonOption(args))
        return cli::printAsJson(args.first() == QLatin1String("get"), [&] { return run(args); });
    const QString command = args.takeFirst();
    if (command == QLatin1String("diff"))
        return diff(args);
    const bool writes = command == QLatin1String("set") || command == QLatin1String("del");
    bool decoded = false;
    bool force = false;
    takeOptions(command, args, decoded, force);
    if (writes) {
        const std::optional<QList<QStringList>> targets = cli::writeTargets(args.mid(1), command == "del");
        if (!targets) {
            say(QStringLiteral("falscher Aufruf; 'keyloom --help' zeigt die Befehle."));
            return kUsage;
        }
        Document doc(args.at(0));
        return write(doc, *targets, command == QLatin1String("del"), decoded, force);
    }
    const std::pair<const char*, qsizetype> arities[] = {{"sections", 1}, {"keys", 2}, {"get", 3}, {"convert", 1}};
    const auto known = std::find_if(std::begin(arities), std::end(arities),
                                    [&](const auto& a) { return command == QLatin1String(a.first); });
    if (known == std::end(arities) || args.size() != known->second) {
        say(QStringLiteral("falscher Aufruf; 'keyloom --help' zeigt die Befehle."));
        return kUsage;
    }
    Document doc(args.at(0));
    if (command == QLatin1String("sections"))
        return sections(doc);
    if (command == QLatin1String("keys"))
        return keys(doc, args.at(1));
    if (command == QLatin1String("get"))
        return get(doc, args.at(1), args.at(2), decoded);
    return convert(doc);
}

}  // namespace
}  // namespace keyloom

int main(int argc, char* argv[])
{
    // No application object: nothing here needs an event loop, and a script
    // calling the program many times should not pay for one.
    QStringList args;
    // Long output (a find's every match, sections, keys) reaches a pipe or
    // file in large writes instead of one per few kilobytes; a terminal
    // keeps its lines as they come.
#ifdef _WIN32
    const bool terminal = ::_isatty(::_fileno(stdout));
#else
    const bool terminal = ::isatty(::fileno(stdout));
#endif
    static char outBuffer[std::size_t(64) << 10];
    if (!terminal)
        std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
#ifdef _WIN32
    // The arguments as UTF-16, not through the ANSI code page, and the
    // output as the same bytes as elsewhere (UTF-8, lines ending in LF).
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i)
        args << QString::fromWCharArray(wide[i]);
    ::LocalFree(wide);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#else
    for (int i = 1; i < argc; ++i) {
        // Text the system's encoding (UTF-8) cannot read would turn into
        // U+FFFD: a file name or value nobody asked for.
        QStringDecoder decode(QStringDecoder::System, QStringDecoder::Flag::Stateless);
        args << decode(QByteArrayView(argv[i]));
        if (decode.hasError()) {
            std::fprintf(stderr, "keyloom: Argument %d ist kein gültiger UTF-8-Text. Es wurde nichts geändert.\n", i);
            return 2;
        }
    }
#endif
    return keyloom::run(args);
}
