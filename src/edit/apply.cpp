#include "edit/apply.h"

#include "document/lines.h"
#include "platform/fileio.h"

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

enum class Rewrite { Done, Refused, Failed };

// Streams `backup` into `file`, one line out per line in, replacing the lines
// of the section that begin with the key's prefix.
Rewrite rewriteFromBackup(const QString& backup, const QString& file, const ApplyValues& values)
{
    LineReader reader(backup);
    if (!reader.isOpen())
        return Rewrite::Failed;
    std::string_view line;
    bool more = reader.next(line);
    // The file was checked before the copy; should it have turned into UTF-16
    // since, its lines cannot be written back as 8-bit text.
    if (reader.encoding() == Encoding::Utf16LE || reader.encoding() == Encoding::Utf16BE)
        return Rewrite::Refused;
    const Encoding encoding = reader.encoding() == Encoding::Utf8Bom ? Encoding::Utf8Bom : Encoding::Bytes;
    LineWriter writer;
    if (!writer.open(file, encoding, writeEndingFor(more ? reader.ending() : LineEnding::None)))
        return Rewrite::Failed;

    const std::string header = '[' + values.section + ']';
    // "@" is the default value, whose line begins "@="; a value literally
    // named "@" ("\"@\"=") is never touched.
    const std::string prefix = values.key == "@" ? std::string("@=") : '"' + values.key + "\"=";
    const std::string replacement = prefix + values.value;
    bool inSection = false;
    bool replaced = false;  // the line in progress was replaced: its later pieces go
    bool firstLineOpen = reader.partial();
    for (; more; more = reader.next(line)) {
        if (firstLineOpen && !reader.partial()) {
            writer.setEnding(writeEndingFor(reader.ending()));
            firstLineOpen = false;
        }
        // A line longer than the reader's bound comes in pieces: its first
        // piece decides, the others are copied through (or dropped with a
        // replaced line), and the last one gets the line end.
        std::string_view out = line;
        if (reader.continuation()) {
            if (replaced)
                continue;
        } else if (!line.empty() && line.front() == '[') {
            inSection = !reader.partial() && line == header;
            replaced = false;
        } else {
            replaced = inSection && line.substr(0, prefix.size()) == prefix;
            if (replaced)
                out = replacement;
        }
        const bool written = !replaced && reader.partial() ? writer.writeRaw(out) : writer.writeLine(out);
        if (!written)
            break;
    }
    const bool complete = !more && !reader.failed();
    return writer.close() && complete ? Rewrite::Done : Rewrite::Failed;
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
    // A backup that is the file itself (by name or through a link) would be
    // emptied together with it.
    if (!isRegularFile(currentFile) || backup == currentFile || isSameFile(currentFile, backup))
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

    switch (rewriteFromBackup(backup, currentFile, values)) {
    case Rewrite::Refused:
        removeFile(backup);
        return refused;
    case Rewrite::Failed:
        return {ApplyStatus::RewriteFailed, false};
    case Rewrite::Done:
        break;
    }
    if (processEvents)
        processEvents();
    const bool pendingUsed = pendingText != nullptr;
    return {removeFile(backup) ? ApplyStatus::Done : ApplyStatus::DeleteFailed, pendingUsed};
}

}  // namespace keyloom
