// keyloom: the editor's reading and writing for scripts. The same core
// functions as the window, with text on the command line and on standard
// output in UTF-8 and the file's own encoding inside the file.

#include "app/appmodul.h"
#include "document/compare.h"
#include "document/document.h"
#include "edit/apply.h"
#include "filecommands/convert.h"
#include "filecommands/filecommands.h"
#include "platform/fileio.h"
#include "platform/lines.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

namespace keyloom {
namespace {

enum Exit { kDone = 0, kMissing = 1, kUsage = 2, kWriteFailed = 3 };

const char kUsageText[] = "Aufruf: keyloom BEFEHL DATEI [ABSCHNITT [SCHLÜSSEL [WERT]]]\n"
                          "\n"
                          "Befehle:\n"
                          "  sections DATEI                    die Abschnitte, einer je Zeile\n"
                          "      keyloom sections setup.inf\n"
                          "  keys DATEI ABSCHNITT              die Schlüssel eines Abschnitts\n"
                          "      keyloom keys kasse.ini Drucker\n"
                          "  get DATEI ABSCHNITT SCHLÜSSEL     der Wert eines Schlüssels\n"
                          "      keyloom get kasse.ini Drucker Port\n"
                          "  get --decoded DATEI ABSCHNITT SCHLÜSSEL\n"
                          "                                    ein hex- oder dword-Wert entschlüsselt\n"
                          "      keyloom get --decoded lager.reg 'HKEY_CURRENT_USER\\Software\\Lager' Pfad\n"
                          "  set DATEI ABSCHNITT SCHLÜSSEL WERT  den Wert schreiben\n"
                          "      keyloom set kasse.ini Drucker Port COM2\n"
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
            codec_ = isUtf16File(path_) ? TextCodec::Windows1252 : loadFile(path_).codec;
        return *codec_;
    }
    QString decode(const std::string& bytes) { return decodeText(bytes, isAscii(bytes) ? TextCodec::Utf8 : codec()); }
    // The bytes of `text` in the file's encoding; nothing when the file's
    // code page lacks one of its characters.
    std::optional<std::string> encode(const QString& text)
    {
        const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii)
            return text.toStdString();
        if (!canEncode(text, codec()))
            return std::nullopt;
        return encodeText(text, codec());
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
    return kDone;
}

// The section's keys as the key list shows them; nothing when the section
// does not exist (a message said so).
std::optional<KeyListing> listSection(Document& doc, const QString& section, std::string& sectionBytes)
{
    const std::optional<std::string> bytes = doc.encode(section);
    if (!bytes) {
        say(QStringLiteral("Abschnitt '%1' nicht gefunden.").arg(section));
        return std::nullopt;
    }
    sectionBytes = *bytes;
    KeyListing listing = listKeys(doc.path(), sectionBytes, doc.kind());
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
    const std::optional<KeyListing> listing = listSection(doc, section, sectionBytes);
    if (!listing)
        return kMissing;
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
    QString decoded;  // what the value box's tooltip says of it; empty for plain text
};

std::optional<Found> findValue(Document& doc, const QString& section, const QString& key)
{
    const auto missing = [&] {
        say(QStringLiteral("Schlüssel '%1' in Abschnitt '%2' nicht gefunden.").arg(key, section));
        return std::nullopt;
    };
    const std::optional<std::string> sectionBytes = doc.encode(section);
    const std::optional<std::string> keyBytes = doc.encode(key);
    if (!sectionBytes || !keyBytes)
        return missing();
    Found found{*sectionBytes, *keyBytes, {}, kQuotesKept, {}};
    // One pass over the file: the lookup itself tells whether the key is
    // there, except that the profile read gives an empty text for a missing
    // key and an empty value alike.
    const ValueView view = lookUpValue(doc.kind(), doc.path(), found.section, found.section, found.key, {});
    if (view.failed || !view.text)
        return missing();
    if (doc.kind() == FileKind::Ini && view.text->empty()) {
        const KeyListing listing = listKeys(doc.path(), found.section, FileKind::Ini);
        if (std::find(listing.keys.begin(), listing.keys.end(), found.key) == listing.keys.end())
            return missing();
    }
    found.value = *view.text;
    found.quoteState = view.quoteState.value_or(kQuotesKept);
    found.decoded = view.toolTip.value_or(QString());
    return found;
}

int get(Document& doc, const QString& section, const QString& key, bool decoded)
{
    if (!doc.exists())
        return missingFile(doc);
    const std::optional<Found> found = findValue(doc, section, key);
    if (!found)
        return kMissing;
    print(decoded && !found->decoded.isEmpty() ? found->decoded : doc.decode(found->value));
    return kDone;
}

// The REGEDIT4 text of a UTF-16 export, when it can hold every character;
// nothing otherwise (a message said so).
std::optional<LoadResult> convertibleText(Document& doc)
{
    LoadResult loaded = loadFile(doc.path());
    if (loaded.markerFound && loaded.unconvertible > 0) {
        say(unconvertibleNote(doc.path(), loaded.unconvertible, loaded.firstUnconvertibleLine));
        return std::nullopt;
    }
    return loaded;
}

int set(Document& doc, const QString& section, const QString& key, const QString& value)
{
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'))) {
        say(QStringLiteral("Ein Wert kann keinen Zeilenumbruch enthalten."));
        return kUsage;
    }
    const bool registry = doc.kind() == FileKind::Registry;
    if (registry && !doc.exists())
        return missingFile(doc);
    std::optional<Found> found;
    if (registry) {
        // An export's key is written where it stands; it is never added.
        found = findValue(doc, section, key);
        if (!found)
            return kMissing;
    } else {
        found.emplace();
        const std::optional<std::string> sectionBytes = doc.encode(section);
        const std::optional<std::string> keyBytes = doc.encode(key);
        if (!sectionBytes || !keyBytes)
            return unencodable(QStringLiteral("Der Name"), doc);
        found->section = *sectionBytes;
        found->key = *keyBytes;
    }
    const std::optional<std::string> valueBytes = doc.encode(value);
    if (!valueBytes)
        return unencodable(QStringLiteral("Der Wert"), doc);

    // A UTF-16 export is written as the REGEDIT4 text the window would write.
    std::optional<LoadResult> loaded;
    if (registry && isUtf16File(doc.path())) {
        loaded = convertibleText(doc);
        if (!loaded)
            return kWriteFailed;
    }
    const std::string* pending = loaded && loaded->markerFound ? &loaded->regedit4 : nullptr;
    const EditResult result = applyValue(doc.kind(), doc.path(), pending, {}, [&] {
        return EditedValue{found->section, found->section, found->key, *valueBytes, found->quoteState};
    });
    if (result.status == EditStatus::Done)
        return kDone;
    QString message = editStatusMessage(result, doc.path());
    if (message.isEmpty()) {
        message = result.status == EditStatus::DeleteFailed
                      ? QStringLiteral("Die Sicherungskopie '%1' konnte nicht gelöscht werden.").arg(result.backup)
                      : QStringLiteral("Die Datei '%1' konnte nicht geschrieben werden. Die Datei bleibt unverändert.")
                            .arg(doc.path());
    }
    say(message);
    return kWriteFailed;
}

int convert(Document& doc)
{
    if (!doc.exists())
        return missingFile(doc);
    const std::optional<LoadResult> loaded = convertibleText(doc);
    if (!loaded)
        return kWriteFailed;
    if (!loaded->markerFound) {
        say(nothingToConvertNote(doc.path()));
        return kMissing;
    }
    if (!writeConversion(doc.path(), loaded->regedit4)) {
        say(QStringLiteral("Die Datei '%1' konnte nicht geschrieben werden. Die Datei bleibt unverändert.")
                .arg(doc.path()));
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
    const QString command = args.takeFirst();
    if (command == QLatin1String("diff"))
        return diff(args);
    const bool decoded = command == QLatin1String("get") && !args.isEmpty() && args.first() == "--decoded";
    if (decoded)
        args.removeFirst();
    const std::pair<const char*, qsizetype> arities[] = {
        {"sections", 1}, {"keys", 2}, {"get", 3}, {"set", 4}, {"convert", 1}};
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
    if (command == QLatin1String("set"))
        return set(doc, args.at(1), args.at(2), args.at(3));
    return convert(doc);
}

}  // namespace
}  // namespace keyloom

int main(int argc, char* argv[])
{
    // No application object: nothing here needs an event loop, and a script
    // calling the program many times should not pay for one.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return keyloom::run(args);
}
