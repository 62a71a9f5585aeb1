#include "edit/apply.h"

#include "app/commands.h"

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
    }
    return {};
}

QString unencodableValueNote(const QString& file)
{
    return QStringLiteral("Der Wert enthält Zeichen, die in der Datei '%1' (Windows-1252) nicht gespeichert werden "
                          "können. Die Datei bleibt unverändert.")
        .arg(Commands::FileNamePart(file));
}

}  // namespace keyloom
