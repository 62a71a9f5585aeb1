#include "edit/apply.h"

#include "app/appmodul.h"
#include "app/commands.h"

#include <string_view>

namespace keyloom {

namespace {

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

EditResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
                              const std::function<void()>& processEvents,
                              const std::function<ApplyValues()>& readControls)
{
    bool inSection = false;
    std::string header;
    std::string prefix;
    std::string replacement;
    return rewriteThroughBackup(currentFile, pendingText, processEvents, [&]() -> std::optional<LineRule> {
        const ApplyValues values = readControls ? readControls() : ApplyValues{};
        if (hasLineBreak(values.section) || hasLineBreak(values.key) || hasLineBreak(values.value))
            return std::nullopt;
        header = '[' + values.section + ']';
        // "@" is the default value, whose line begins "@="; a value literally
        // named "@" ("\"@\"=") is never touched.
        prefix = values.key == "@" ? std::string("@=") : '"' + values.key + "\"=";
        replacement = prefix + values.value;
        return [&](std::string_view line, bool whole) -> LineEdit {
            if (!line.empty() && line.front() == '[') {
                inSection = whole && line == header;
                return {};
            }
            if (inSection && line.substr(0, prefix.size()) == prefix)
                return {false, replacement};
            return {};
        };
    });
}

EditResult applyValue(FileKind kind, const QString& file, const std::string* pendingText,
                      const std::function<void()>& processEvents, const std::function<EditedValue()>& readControls)
{
    switch (kind) {
    case FileKind::Ini: {
        const EditedValue edited = readControls ? readControls() : EditedValue{};
        const ProfileWrite write = Commands::WriteProfileValue(edited.label, edited.key, edited.value, file);
        EditResult result;
        result.status = write.written               ? EditStatus::Done
                        : write.wholeCopy.isEmpty() ? EditStatus::Refused
                                                    : EditStatus::WriteFailed;
        result.backup = write.wholeCopy;
        return result;
    }
    case FileKind::Registry:
        return applyRegistryValue(file, pendingText, processEvents, [&] {
            EditedValue edited = readControls ? readControls() : EditedValue{};
            if (edited.quoteState == kQuotesRemoved)
                enQuote(edited.value);
            return ApplyValues{std::move(edited.section), std::move(edited.key), std::move(edited.value)};
        });
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
