#include "edit/apply.h"

#include "app/commands.h"
#include "document/document.h"
#include "document/regvalue.h"
#include "document/winereg.h"
#include "platform/fileio.h"
#include "platform/lines.h"
#include "platform/profile.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <string_view>

namespace keyloom {

namespace {

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

EditResult refused(EditStatus status, const QString& reason)
{
    EditResult result;
    result.status = status;
    result.reason = reason;
    return result;
}

// A file that another program holds would otherwise only show as not written.
bool heldByAnother(const QString& file) { return isRegularFile(file) && !InputFile().open(file); }

EditResult profileResult(const ProfileWrite& write, const EditRequest& request)
{
    EditResult result;
    result.backup = write.wholeCopy;
    if (write.written) {
        result.status = EditStatus::Done;
    } else if (!write.wholeCopy.isEmpty()) {
        result.status = EditStatus::WriteFailed;
        result.reason = editStatusMessage(result, request.file);
    } else if (write.invalid) {
        result.status = EditStatus::Invalid;
        result.reason = invalidNameNote(request.file);
    } else {
        result.status = EditStatus::Refused;
        result.reason = notWrittenNote(request.file);
    }
    return result;
}

EditResult applyProfileValue(const EditRequest& request, const std::string& value)
{
    return profileResult(Commands::WriteProfileValue(request.label, request.key, value, request.file), request);
}

// The number of a dword written decimal or with "0x": at most 0xffffffff.
std::optional<std::uint32_t> dwordNumberOf(const QString& text)
{
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? text.mid(2) : text;
    const int base = hex ? 16 : 10;
    if (digits.isEmpty() || digits.size() > (hex ? 8 : 10) || !std::all_of(digits.begin(), digits.end(), [&](QChar c) {
            return c.digitValue() >= 0 || (hex && c.isLetter());
        }))
        return std::nullopt;
    bool ok = false;
    const qulonglong n = digits.toULongLong(&ok, base);
    if (!ok || n > 0xffffffffULL)
        return std::nullopt;
    return std::uint32_t(n);
}

// The bytes of text data: each string ended by a zero, as UTF-16LE code
// units or Windows-1252 bytes; none when the code page lacks a character.
std::optional<std::string> textDataOf(const QStringList& strings, bool utf16Data)
{
    std::string bytes;
    for (const QString& string : strings) {
        if (utf16Data) {
            for (const QChar c : string + QChar(0)) {
                bytes += static_cast<char>(c.unicode() & 0xFF);
                bytes += static_cast<char>(c.unicode() >> 8);
            }
            continue;
        }
        const std::optional<std::string> encoded = encodeForCodec(string, TextCodec::Windows1252);
        if (!encoded)
            return std::nullopt;
        bytes += *encoded;
        bytes += '\0';
    }
    return bytes;
}

QString dwordNumberNote(const QString& file)
{
    return QStringLiteral("Ein dword-Wert wird als Zahl angegeben, dezimal (10) oder mit 0x (0xa), höchstens "
                          "4294967295. Die Datei '%1' bleibt unverändert.")
        .arg(Commands::FileNamePart(file));
}

QString notDecodableNote(const QString& file)
{
    return QStringLiteral("Nur Zeichenketten, dword-Werte und hex(1)-, hex(2)- und hex(7)-Werte können entschlüsselt "
                          "geschrieben werden. Die Datei '%1' bleibt unverändert.")
        .arg(Commands::FileNamePart(file));
}

// Writes the value line of `request.key` in Wine's file anew, in the form it
// has (a string, str(2) or dword value), with the name's bytes kept.
// Why the value of Wine's file named by `request` cannot take its text; none
// when it can.
std::optional<EditResult> wineRefusal(const EditRequest& request)
{
    const RegistryLookup now = lookupWineValue(request.file, request.section, request.key);
    if (now.failed)
        return refused(EditStatus::Refused, notWrittenNote(request.file));
    if (!now.found)
        return refused(EditStatus::Invalid, invalidNameNote(request.file));
    if (!now.enabled || !wineValueFor(now.whole, request.text.toStdU16String()))
        return refused(EditStatus::Invalid, wineValueNote(request.file));
    return std::nullopt;
}

EditResult applyWineValue(const EditRequest& request, const std::function<void()>& processEvents)
{
    const std::u16string text = request.text.toStdU16String();
    if (std::optional<EditResult> refusal = wineRefusal(request))
        return *refusal;
    SectionMatcher opens(request.section, FileKind::WineRegistry);
    bool inSection = false;
    std::string replacement;
    std::string buffer;
    const LineRule rule = [&](std::string_view line, bool whole) -> LineEdit {
        if (isHeaderLine(line)) {
            inSection = opens.opens(line, whole);
            return {};
        }
        const std::optional<WineName> name =
            inSection && whole && !isWineMetaLine(line) ? wineNameOf(line) : std::nullopt;
        if (!name || !wineNameIs(*name, request.key, buffer))
            return {};
        const std::optional<std::string> value = wineValueFor(line.substr(name->valueAt), text);
        if (!value)
            return {};
        replacement.assign(line.substr(0, name->valueAt));
        replacement += *value;
        return {false, replacement};
    };
    return rewriteThroughBackup(request.file, nullptr, processEvents, [&] { return std::optional(rule); });
}

}  // namespace

std::optional<QString> registryValueNote(std::string_view value, std::int16_t quoteState, const QString& file)
{
    const QString name = Commands::FileNamePart(file);
    const QString escapes = QStringLiteral("Ein \\ wird in Registrierungsdateien als \\\\ geschrieben, ein \" als "
                                           "\\\". Die Datei '%1' bleibt unverändert.")
                                .arg(name);
    if (quoteState == kQuotesRemoved)
        return isValidEscapedString(value) ? std::nullopt : std::optional(escapes);
    if (isWritableDword(value))
        return std::nullopt;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return isValidEscapedString(value.substr(1, value.size() - 2)) ? std::nullopt : std::optional(escapes);
    if (looksLikeHex(value))
        return hexValueNote(file);
    return QStringLiteral("Ein dword-Wert wird als dword: mit einer bis acht Hexadezimalziffern geschrieben, zum "
                          "Beispiel dword:0000000a. Die Datei '%1' bleibt unverändert.")
        .arg(name);
}

QString hexValueNote(const QString& file)
{
    return QStringLiteral("Ein hex-Wert wird nur als ganze Liste geschrieben; als Text nur mit 'keyloom set "
                          "--decoded'. Die Datei '%1' bleibt unverändert.")
        .arg(Commands::FileNamePart(file));
}

DecodedWrite decodedValueOf(const QString& text, std::string_view encoded, std::string_view current,
                            std::int16_t quoteState, bool utf16Data, const QString& file)
{
    DecodedWrite write;
    if (quoteState == kQuotesRemoved) {
        write.values.value = '"' + escapeRegistryString(encoded) + '"';
        return write;
    }
    if (dwordDigitsOf(current)) {
        const std::optional<std::uint32_t> n = dwordNumberOf(text);
        if (!n)
            write.note = dwordNumberNote(file);
        else
            write.values.value = QStringLiteral("dword:%1").arg(*n, 8, 16, QLatin1Char('0')).toStdString();
        return write;
    }
    const std::optional<HexHead> head = hexHeadOf(current);
    if (!head || !holdsText(*head)) {
        write.note = notDecodableNote(file);
        return write;
    }
    // A multi-string list ends with one more zero; an empty one is that zero alone.
    QStringList strings = head->type == kRegMultiSz ? text.split(QLatin1Char('\n')) : QStringList{text};
    if (head->type == kRegMultiSz && !text.isEmpty())
        strings.append(QString());
    std::optional<std::string> data = textDataOf(strings, utf16Data);
    if (!data) {
        write.note = unencodableValueNote(file);
        return write;
    }
    write.values.value = std::string(current.substr(0, head->listStart));
    write.values.hexData = std::move(*data);
    return write;
}

namespace {

// "@" is the default value, whose line begins "@="; a value literally
// named "@" ("\"@\"=") is never touched.
std::string registryPrefixOf(const std::string& key) { return key == "@" ? std::string("@=") : '"' + key + "\"="; }

// What follows the name on the key's line (lines, for a wrapped list): the
// name stays as the file has it, which a UTF-16 file written in place may
// hold in characters the 8-bit text lacks.
std::string registryReplacementOf(const ApplyValues& values)
{
    std::string replacement = values.value;
    if (values.hexData)
        appendWrappedHexList(replacement, registryPrefixOf(values.key).size() + replacement.size(), *values.hexData);
    return replacement;
}

// A registry export written in place in UTF-16 holds every character: its
// values go there as UTF-8 text.
EditRequest asWritten(const EditRequest& request, const std::string* pendingText)
{
    EditRequest edit = request;
    if (request.kind == FileKind::Registry && !pendingText && isUtf16File(request.file))
        edit.codec = TextCodec::Utf8;
    return edit;
}

}  // namespace

EditResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
                              const std::function<void()>& processEvents, const ApplyValues& values)
{
    if (hasLineBreak(values.section) || hasLineBreak(values.key) || hasLineBreak(values.value))
        return refused(EditStatus::Invalid, lineBreakNote(currentFile));
    const std::string header = headerLineOf(values.section);
    const std::string prefix = registryPrefixOf(values.key);
    const std::string replacement = registryReplacementOf(values);
    bool inSection = false;
    bool dropping = false;  // the lines that continue a replaced hex list go with it
    const LineRule rule = [&](std::string_view line, bool whole) -> LineEdit {
        if (dropping) {
            dropping = whole && continuesOnNextLine(line);
            return {false, std::nullopt, true};
        }
        if (isHeaderLine(line)) {
            inSection = whole && line == header;
            LineEdit edit;
            edit.passOver = !inSection;
            return edit;
        }
        if (inSection && line.substr(0, prefix.size()) == prefix) {
            dropping = whole && hexHeadOf(line.substr(prefix.size())) && continuesOnNextLine(line);
            return {false, replacement, false, prefix.size(), values.utf8};
        }
        return {};
    };
    return rewriteThroughBackup(
        currentFile, pendingText, processEvents, [&] { return std::optional(rule); }, Utf16Lines::InPlace);
}

namespace {

// The values `request` writes into a registry export (`value` its text
// encoded), or why it cannot.
std::optional<EditResult> registryValuesFor(const EditRequest& request, std::string value,
                                            const std::string* pendingText, ApplyValues& values)
{
    values = ApplyValues{request.section, request.key, std::move(value)};
    values.utf8 = request.codec == TextCodec::Utf8 && !pendingText && isUtf16File(request.file);
    if (request.current) {
        // A UTF-16 export written as its REGEDIT4 text, like every 8-bit
        // file, has text data that an importer reads as Windows-1252 bytes;
        // one written in place keeps UTF-16 code units.
        const bool utf16Data = !pendingText && isUtf16File(request.file);
        DecodedWrite write =
            decodedValueOf(request.text, values.value, *request.current, request.quoteState, utf16Data, request.file);
        if (!write.note.isEmpty())
            return refused(EditStatus::Invalid, write.note);
        values.value = std::move(write.values.value);
        values.hexData = std::move(write.values.hexData);
    } else if (const std::optional<QString> note = registryValueNote(values.value, request.quoteState, request.file)) {
        return refused(EditStatus::Invalid, *note);
    } else if (request.quoteState == kQuotesRemoved) {
        // Valid escapes leave no quote of the text's own at either end
        // unescaped: the quotes always go around it.
        values.value = '"' + values.value + '"';
    }
    return std::nullopt;
}

EditResult applyRegistryEdit(const EditRequest& request, std::string value, const std::string* pendingText,
                             const std::function<void()>& processEvents)
{
    ApplyValues values;
    if (std::optional<EditResult> refusal = registryValuesFor(request, std::move(value), pendingText, values))
        return *refusal;
    return applyRegistryValue(request.file, pendingText, processEvents, values);
}

}  // namespace

EditResult applyEdit(const EditRequest& request, const std::string* pendingText,
                     const std::function<void()>& processEvents)
{
    // Asked first: every later step reads the file.
    if (!pendingText && heldByAnother(request.file))
        return refused(EditStatus::Refused, notOpenedNote(request.file));
    const EditRequest edit = asWritten(request, pendingText);
    std::optional<std::string> value = encodeForCodec(edit.text, edit.codec);
    if (!value)
        return refused(EditStatus::Invalid, unencodableValueNote(request.file));
    if (request.identity.exists && identityOf(request.file) != request.identity)
        return refused(EditStatus::Changed, changedSinceReadNote(request.file));
    switch (request.kind) {
    case FileKind::Ini:
        return applyProfileValue(request, *value);
    case FileKind::Registry:
        return applyRegistryEdit(edit, std::move(*value), pendingText, processEvents);
    case FileKind::WineRegistry:
        return applyWineValue(request, processEvents);
    }
    return {};
}

QString wineValueNote(const QString& file)
{
    return QStringLiteral("Dieser Wert kann nur als Text (auch str(2)) oder als dword:XXXXXXXX mit acht Hex-Ziffern "
                          "gespeichert werden; Mehrfachtexte und hex-Werte werden hier nicht geändert. Die Datei '%1' "
                          "bleibt unverändert.")
        .arg(Commands::FileNamePart(file));
}

QString wineRunningQuestion()
{
    return QStringLiteral("Wine läuft für dieses Prefix und überschreibt die Datei beim Beenden. Trotzdem speichern?");
}

QString unencodableValueNote(const QString& file)
{
    return QStringLiteral("Der Wert enthält Zeichen, die in der Datei '%1' (Windows-1252) nicht gespeichert werden "
                          "können. Die Datei bleibt unverändert.")
        .arg(Commands::FileNamePart(file));
}

}  // namespace keyloom

namespace keyloom {

namespace {

// Deletes and replacements of registry lines, all in one pass: a section
// opens by its header line exactly; a key's line by its name prefix.
class RegistryChanges {
public:
    struct Target {
        std::string header;
        std::optional<std::string> prefix;       // none: the whole section goes
        std::optional<std::string> replacement;  // after the name; none: the key's lines go
        bool utf8 = false;                       // the replacement is UTF-8 text (LineEdit::utf8)
    };
    explicit RegistryChanges(std::vector<Target> targets) : targets_(std::move(targets)) {}

    LineEdit operator()(std::string_view line, bool whole)
    {
        const LineEdit drop{false, std::nullopt, true};
        if (dropping_) {
            dropping_ = whole && continuesOnNextLine(line);
            return drop;
        }
        if (isHeaderLine(line)) {
            open_.clear();
            droppingSection_ = false;
            for (std::size_t i = 0; i < targets_.size() && whole; ++i) {
                if (line != targets_[i].header)
                    continue;
                droppingSection_ = droppingSection_ || !targets_[i].prefix;
                open_.push_back(i);
            }
            LineEdit edit = droppingSection_ ? drop : LineEdit{};
            edit.passOver = open_.empty();
            return edit;
        }
        if (droppingSection_)
            return drop;
        for (const std::size_t i : open_) {
            const Target& target = targets_[i];
            if (!target.prefix || line.substr(0, target.prefix->size()) != *target.prefix)
                continue;
            // The lines that continue a wrapped hex list go with it.
            dropping_ = whole && hexHeadOf(line.substr(target.prefix->size())) && continuesOnNextLine(line);
            return target.replacement ? LineEdit{false, *target.replacement, false, target.prefix->size(), target.utf8}
                                      : drop;
        }
        return {};
    }

private:
    std::vector<Target> targets_;
    std::vector<std::size_t> open_;  // the targets of the section in progress
    bool droppingSection_ = false;
    bool dropping_ = false;
};

// The same for Wine's file: sections by their decoded key path, values by
// their decoded name, a set value written in the form it has.
class WineChanges {
public:
    struct Target {
        SectionMatcher opens;
        std::optional<std::string> key;      // none: the whole section goes
        std::optional<std::u16string> text;  // none: the value's lines go
    };
    explicit WineChanges(std::vector<Target> targets) : targets_(std::move(targets)) {}

    LineEdit operator()(std::string_view line, bool whole)
    {
        const LineEdit drop{false, std::nullopt, true};
        if (dropping_) {
            dropping_ = whole && continuesOnNextLine(line);
            return drop;
        }
        if (isHeaderLine(line)) {
            open_.clear();
            droppingSection_ = false;
            for (std::size_t i = 0; i < targets_.size(); ++i) {
                if (!targets_[i].opens.opens(line, whole))
                    continue;
                droppingSection_ = droppingSection_ || !targets_[i].key;
                open_.push_back(i);
            }
            return droppingSection_ ? drop : LineEdit{};
        }
        if (droppingSection_)
            return drop;
        const std::optional<WineName> name =
            !open_.empty() && whole && !isWineMetaLine(line) ? wineNameOf(line) : std::nullopt;
        for (std::size_t i = 0; name && i < open_.size(); ++i) {
            const Target& target = targets_[open_[i]];
            if (!target.key || !wineNameIs(*name, *target.key, buffer_))
                continue;
            if (!target.text) {
                dropping_ = continuesOnNextLine(line);
                return drop;
            }
            const std::optional<std::string> value = wineValueFor(line.substr(name->valueAt), *target.text);
            if (!value)
                return {};
            replacement_.assign(line.substr(0, name->valueAt));
            replacement_ += *value;
            return {false, replacement_};
        }
        return {};
    }

private:
    std::vector<Target> targets_;
    std::vector<std::size_t> open_;
    bool droppingSection_ = false;
    bool dropping_ = false;
    std::string buffer_;
    std::string replacement_;
};

bool collide(const EditChange& a, const EditChange& b)
{
    if (profileNameKey(a.request.section) != profileNameKey(b.request.section))
        return false;
    return a.kind == EditChange::DeleteSection || b.kind == EditChange::DeleteSection ||
           profileNameKey(a.request.key) == profileNameKey(b.request.key);
}

std::optional<EditResult> collisionRefusal(const std::vector<EditChange>& changes)
{
    for (std::size_t i = 0; i < changes.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (collide(changes[i], changes[j]))
                return refused(EditStatus::Invalid, collidingChangesNote(changes[i].request.file));
    return std::nullopt;
}

EditResult applyProfileChanges(const std::vector<EditChange>& changes, const std::vector<std::string>& values)
{
    std::vector<ProfileChange> profile;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const EditChange& change = changes[i];
        ProfileChange next{change.request.label, change.request.key, values[i]};
        if (change.kind != EditChange::Set)
            next.value.reset();
        if (change.kind == EditChange::DeleteSection)
            next.key.reset();
        profile.push_back(std::move(next));
    }
    return profileResult(writeProfileChanges(profile, changes.front().request.file), changes.front().request);
}

EditResult applyRegistryChanges(const std::vector<EditChange>& changes, std::vector<std::string> values,
                                const std::string* pendingText, const std::function<void()>& processEvents)
{
    const QString& file = changes.front().request.file;
    std::vector<RegistryChanges::Target> targets;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const EditRequest request = asWritten(changes[i].request, pendingText);
        RegistryChanges::Target target{headerLineOf(request.section), registryPrefixOf(request.key), std::nullopt};
        if (changes[i].kind == EditChange::DeleteSection)
            target.prefix.reset();
        ApplyValues set;
        if (changes[i].kind == EditChange::Set) {
            if (std::optional<EditResult> refusal = registryValuesFor(request, std::move(values[i]), pendingText, set))
                return *refusal;
            target.replacement = registryReplacementOf(set);
            target.utf8 = set.utf8;
        }
        if (hasLineBreak(request.section) || hasLineBreak(request.key) || hasLineBreak(set.value))
            return refused(EditStatus::Invalid, lineBreakNote(file));
        targets.push_back(std::move(target));
    }
    const LineRule rule = RegistryChanges(std::move(targets));
    return rewriteThroughBackup(
        file, pendingText, processEvents, [&] { return std::optional(rule); }, Utf16Lines::InPlace);
}

EditResult applyWineChanges(const std::vector<EditChange>& changes, const std::function<void()>& processEvents)
{
    std::vector<WineChanges::Target> targets;
    for (const EditChange& change : changes) {
        const EditRequest& request = change.request;
        WineChanges::Target target{SectionMatcher(request.section, FileKind::WineRegistry), request.key, std::nullopt};
        if (change.kind == EditChange::DeleteSection)
            target.key.reset();
        if (change.kind == EditChange::Set) {
            if (std::optional<EditResult> refusal = wineRefusal(request))
                return *refusal;
            target.text = request.text.toStdU16String();
        }
        targets.push_back(std::move(target));
    }
    const LineRule rule = WineChanges(std::move(targets));
    return rewriteThroughBackup(changes.front().request.file, nullptr, processEvents,
                                [&] { return std::optional(rule); });
}

}  // namespace

EditResult applyEdits(const std::vector<EditChange>& changes, const std::string* pendingText,
                      const std::function<void()>& processEvents)
{
    if (changes.empty())
        return refused(EditStatus::Refused, {});
    if (changes.size() == 1 && changes.front().kind == EditChange::Set)
        return applyEdit(changes.front().request, pendingText, processEvents);
    const EditRequest& first = changes.front().request;
    if (!pendingText && heldByAnother(first.file))
        return refused(EditStatus::Refused, notOpenedNote(first.file));
    std::vector<std::string> values;
    for (const EditChange& change : changes) {
        const EditRequest edit = asWritten(change.request, pendingText);
        std::optional<std::string> value = change.kind == EditChange::Set ? encodeForCodec(edit.text, edit.codec) : "";
        if (!value)
            return refused(EditStatus::Invalid, unencodableValueNote(first.file));
        values.push_back(std::move(*value));
    }
    if (std::optional<EditResult> refusal = collisionRefusal(changes))
        return *refusal;
    if (first.identity.exists && identityOf(first.file) != first.identity)
        return refused(EditStatus::Changed, changedSinceReadNote(first.file));
    switch (first.kind) {
    case FileKind::Ini:
        return applyProfileChanges(changes, values);
    case FileKind::Registry:
        return applyRegistryChanges(changes, std::move(values), pendingText, processEvents);
    case FileKind::WineRegistry:
        return applyWineChanges(changes, processEvents);
    }
    return {};
}

QString collidingChangesNote(const QString& file)
{
    return QStringLiteral("Ein Schlüssel ist mehrfach genannt, oder ein Abschnitt wird gelöscht und zugleich "
                          "geändert. Die Datei '%1' bleibt unverändert.")
        .arg(Commands::FileNamePart(file));
}

}  // namespace keyloom
