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

// Deletes and replacements of the value lines of a registry export or of
// Wine's file, all in one pass. A section opens by its header line
// (SectionMatcher) and, deleted, goes up to the next header; a key's line is
// known by its name as the file's kind writes names, and goes with the lines
// that continue it, or takes a new value after the name.
class ValueChanges {
public:
    // A set key's new value from its old one (the text after the name);
    // none leaves the line as it is.
    using NewValue = std::function<std::optional<std::string>(std::string_view old)>;
    struct Target {
        SectionMatcher opens;
        // The key as its line names it: an export's line begins with these
        // bytes (registryPrefixOf), Wine's file names it in escapes of this
        // decoded text. None: the whole section goes.
        std::optional<std::string> key;
        NewValue value;     // none: the key's lines go
        bool utf8 = false;  // the new value is UTF-8 text (LineEdit::utf8)
    };
    ValueChanges(FileKind kind, std::vector<Target> targets) : kind_(kind), targets_(std::move(targets)) {}

    LineEdit operator()(std::string_view line, bool whole)
    {
        if (dropping_) {
            dropping_ = whole && continuesOnNextLine(line);
            return kDropLine;
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
            // Up to the next header no line of a section no target names
            // can change.
            LineEdit edit = droppingSection_ ? kDropLine : LineEdit{};
            edit.passOver = open_.empty();
            return edit;
        }
        if (droppingSection_)
            return kDropLine;
        const std::optional<WineName> wineName =
            kind_ == FileKind::WineRegistry && !open_.empty() && whole && !isWineMetaLine(line) ? wineNameOf(line)
                                                                                                : std::nullopt;
        for (const std::size_t i : open_) {
            const Target& target = targets_[i];
            const std::optional<std::size_t> at = target.key ? valueAt(line, wineName, *target.key) : std::nullopt;
            if (!at)
                continue;
            const std::string_view old = line.substr(*at);
            if (target.value) {
                std::optional<std::string> value = target.value(old);
                if (!value)
                    return {};
                replacement_ = std::move(*value);
            }
            // The lines that continue a wrapped hex list go with it; a value
            // deleted from Wine's file takes any line it continues on.
            dropping_ = whole && continuesOnNextLine(line) &&
                        (hexHeadOf(old) || (kind_ == FileKind::WineRegistry && !target.value));
            return target.value ? LineEdit{false, replacement_, false, *at, target.utf8} : kDropLine;
        }
        return {};
    }

private:
    // Where the value begins on `line` (named `wineName` in Wine's file) when
    // it is the line of `key`.
    std::optional<std::size_t> valueAt(std::string_view line, const std::optional<WineName>& wineName,
                                       const std::string& key)
    {
        if (kind_ != FileKind::WineRegistry)
            return line.substr(0, key.size()) == key ? std::optional(key.size()) : std::nullopt;
        return wineName && wineNameIs(*wineName, key, buffer_) ? std::optional(wineName->valueAt) : std::nullopt;
    }

    FileKind kind_;
    std::vector<Target> targets_;
    std::vector<std::size_t> open_;  // the targets of the section in progress
    bool droppingSection_ = false;
    bool dropping_ = false;
    std::string buffer_;
    std::string replacement_;
};

// The change that writes `values` into an export; none when a name or the
// value holds CR or LF, which a line cannot carry.
std::optional<ValueChanges::Target> registryTargetOf(const ApplyValues& values)
{
    if (hasLineBreak(values.section) || hasLineBreak(values.key) || hasLineBreak(values.value))
        return std::nullopt;
    return ValueChanges::Target{
        SectionMatcher(values.section, FileKind::Registry), registryPrefixOf(values.key),
        [replacement = registryReplacementOf(values)](std::string_view) { return std::optional(replacement); },
        values.utf8};
}

// Rewrites `file` of `kind` with `targets` changed, through its backup; a
// UTF-16 export is written in place.
EditResult rewriteValues(const QString& file, FileKind kind, std::vector<ValueChanges::Target> targets,
                         const std::string* pendingText, const std::function<void()>& processEvents)
{
    const LineRule rule = ValueChanges(kind, std::move(targets));
    const Utf16Lines utf16 = kind == FileKind::Registry ? Utf16Lines::InPlace : Utf16Lines::Refuse;
    return rewriteThroughBackup(
        file, pendingText, processEvents, [&] { return std::optional(rule); }, utf16);
}

}  // namespace

EditResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
                              const std::function<void()>& processEvents, const ApplyValues& values)
{
    std::optional<ValueChanges::Target> target = registryTargetOf(values);
    if (!target)
        return refused(EditStatus::Invalid, lineBreakNote(currentFile));
    std::vector<ValueChanges::Target> targets;
    targets.push_back(std::move(*target));
    return rewriteValues(currentFile, FileKind::Registry, std::move(targets), pendingText, processEvents);
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

// Writes `changes` into a registry export, `values` the encoded text of each.
EditResult applyRegistryChanges(const std::vector<EditChange>& changes, std::vector<std::string> values,
                                const std::string* pendingText, const std::function<void()>& processEvents)
{
    const QString& file = changes.front().request.file;
    std::vector<ValueChanges::Target> targets;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const EditRequest request = asWritten(changes[i].request, pendingText);
        ApplyValues set{request.section, request.key, {}};
        if (changes[i].kind == EditChange::Set) {
            if (std::optional<EditResult> refusal = registryValuesFor(request, std::move(values[i]), pendingText, set))
                return *refusal;
        }
        std::optional<ValueChanges::Target> target = registryTargetOf(set);
        if (!target)
            return refused(EditStatus::Invalid, lineBreakNote(file));
        if (changes[i].kind != EditChange::Set)
            target->value = nullptr;
        if (changes[i].kind == EditChange::DeleteSection)
            target->key.reset();
        targets.push_back(std::move(*target));
    }
    return rewriteValues(file, FileKind::Registry, std::move(targets), pendingText, processEvents);
}

// Writes `changes` into Wine's file: a value in the form it has (a string,
// str(2) or dword value), with the name's bytes kept.
EditResult applyWineChanges(const std::vector<EditChange>& changes, const std::function<void()>& processEvents)
{
    std::vector<ValueChanges::Target> targets;
    for (const EditChange& change : changes) {
        const EditRequest& request = change.request;
        ValueChanges::Target target{SectionMatcher(request.section, FileKind::WineRegistry), request.key, nullptr};
        if (change.kind == EditChange::DeleteSection)
            target.key.reset();
        if (change.kind == EditChange::Set) {
            if (std::optional<EditResult> refusal = wineRefusal(request))
                return *refusal;
            target.value = [text = request.text.toStdU16String()](std::string_view old) {
                return wineValueFor(old, text);
            };
        }
        targets.push_back(std::move(target));
    }
    return rewriteValues(changes.front().request.file, FileKind::WineRegistry, std::move(targets), nullptr,
                         processEvents);
}

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
        return applyRegistryChanges({EditChange{EditChange::Set, edit}}, {std::move(*value)}, pendingText,
                                    processEvents);
    case FileKind::WineRegistry:
        return applyWineChanges({EditChange{EditChange::Set, request}}, processEvents);
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
