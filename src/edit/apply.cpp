#include "edit/apply.h"

#include "app/commands.h"
#include "document/document.h"
#include "document/winereg.h"
#include "platform/fileio.h"

#include <QFileInfo>
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

EditResult applyProfileValue(const EditRequest& request, const std::string& value)
{
    // A file that another program holds would otherwise only show as not written.
    if (isRegularFile(request.file) && !InputFile().open(request.file))
        return refused(EditStatus::Refused, notOpenedNote(request.file));
    const ProfileWrite write = Commands::WriteProfileValue(request.label, request.key, value, request.file);
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

// Writes the value line of `request.key` in Wine's file anew, in the form it
// has (a string, str(2) or dword value), with the name's bytes kept.
EditResult applyWineValue(const EditRequest& request, const std::function<void()>& processEvents)
{
    const std::u16string text = request.text.toStdU16String();
    const RegistryLookup now = lookupWineValue(request.file, request.section, request.key);
    if (now.failed)
        return refused(EditStatus::Refused, notWrittenNote(request.file));
    if (!now.found)
        return refused(EditStatus::Invalid, invalidNameNote(request.file));
    if (!now.enabled || !wineValueFor(now.whole, text))
        return refused(EditStatus::Invalid, wineValueNote(request.file));
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

EditResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
                              const std::function<void()>& processEvents, const ApplyValues& values)
{
    if (hasLineBreak(values.section) || hasLineBreak(values.key) || hasLineBreak(values.value))
        return refused(EditStatus::Invalid, lineBreakNote(currentFile));
    const std::string header = headerLineOf(values.section);
    // "@" is the default value, whose line begins "@="; a value literally
    // named "@" ("\"@\"=") is never touched.
    const std::string prefix = values.key == "@" ? std::string("@=") : '"' + values.key + "\"=";
    const std::string replacement = prefix + values.value;
    bool inSection = false;
    const LineRule rule = [&](std::string_view line, bool whole) -> LineEdit {
        if (isHeaderLine(line)) {
            inSection = whole && line == header;
            return {};
        }
        if (inSection && line.substr(0, prefix.size()) == prefix)
            return {false, replacement};
        return {};
    };
    return rewriteThroughBackup(currentFile, pendingText, processEvents, [&] { return std::optional(rule); });
}

EditResult applyEdit(const EditRequest& request, const std::string* pendingText,
                     const std::function<void()>& processEvents)
{
    std::optional<std::string> value = encodeForCodec(request.text, request.codec);
    if (!value)
        return refused(EditStatus::Invalid, unencodableValueNote(request.file));
    if (request.identity.exists && identityOf(request.file) != request.identity)
        return refused(EditStatus::Changed, changedSinceReadNote(request.file));
    switch (request.kind) {
    case FileKind::Ini:
        return applyProfileValue(request, *value);
    case FileKind::Registry:
        if (request.quoteState == kQuotesRemoved)
            enQuote(*value);
        return applyRegistryValue(request.file, pendingText, processEvents,
                                  ApplyValues{request.section, request.key, std::move(*value)});
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
