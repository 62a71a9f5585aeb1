#include "edit/apply.h"

#include "edit/rewrite.h"
#include "platform/fileio.h"
#include "platform/lines.h"

#include <string_view>

namespace keyloom {

namespace {

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The pending text becomes the backup, with one more line end after it.
bool writePendingBackup(const QString& backup, const std::string& pendingText)
{
    LineWriter writer;
    if (!writer.open(backup, Encoding::Bytes, LineEnding::CrLf))
        return false;
    writer.writeRaw(pendingText);
    writer.writeLine({});
    return writer.close();
}

}  // namespace

QString backupNameOf(const QString& currentFile)
{
    if (currentFile.isEmpty())
        return {};
    return currentFile.left(currentFile.size() - 1) + QLatin1Char('_');
}

ApplyResult applyRegistryValue(const QString& currentFile, const std::string* pendingText,
                               const std::function<void()>& processEvents,
                               const std::function<ApplyValues()>& readControls)
{
    const ApplyResult refused{ApplyStatus::Refused, false};
    const QString backup = backupNameOf(currentFile);
    if (!canRewriteThrough(currentFile, backup))
        return refused;
    if (!pendingText && isUtf16File(currentFile))
        return refused;

    const bool backupMade = pendingText ? writePendingBackup(backup, *pendingText) : copyFile(currentFile, backup);
    if (!backupMade)
        return {ApplyStatus::BackupFailed, false};

    if (processEvents)
        processEvents();
    const ApplyValues values = readControls ? readControls() : ApplyValues{};
    if (hasLineBreak(values.section) || hasLineBreak(values.key) || hasLineBreak(values.value)) {
        removeFile(backup);
        return refused;
    }

    const std::string header = '[' + values.section + ']';
    // "@" is the default value, whose line begins "@="; a value literally
    // named "@" ("\"@\"=") is never touched.
    const std::string prefix = values.key == "@" ? std::string("@=") : '"' + values.key + "\"=";
    const std::string replacement = prefix + values.value;
    bool inSection = false;
    const RewriteStatus status =
        rewriteFromBackup(backup, currentFile, [&](std::string_view line, bool whole) -> LineEdit {
            if (!line.empty() && line.front() == '[') {
                inSection = whole && line == header;
                return {};
            }
            if (inSection && line.substr(0, prefix.size()) == prefix)
                return {false, replacement};
            return {};
        });
    if (status == RewriteStatus::Utf16) {
        removeFile(backup);
        return refused;
    }
    if (status != RewriteStatus::Done)
        return {ApplyStatus::RewriteFailed, false};
    if (processEvents)
        processEvents();
    const bool pendingUsed = pendingText != nullptr;
    return {removeFile(backup) ? ApplyStatus::Done : ApplyStatus::DeleteFailed, pendingUsed};
}

}  // namespace keyloom
