#include "filecommands/spacing.h"

#include "document/lines.h"
#include "edit/apply.h"
#include "platform/fileio.h"

#include <string_view>

namespace keyloom {

SpaceStatus insertSpaces(const QString& currentFile)
{
    const QString backup = backupNameOf(currentFile);
    if (!isRegularFile(currentFile) || backup == currentFile || isSameFile(currentFile, backup)
        || isUtf16File(currentFile))
        return SpaceStatus::Refused;
    if (!copyFile(currentFile, backup))
        return SpaceStatus::BackupFailed;

    bool complete = false;
    {
        LineReader reader(backup);
        if (!reader.isOpen())
            return SpaceStatus::BackupFailed;
        std::string_view line;
        bool more = reader.next(line);
        if (reader.encoding() == Encoding::Utf16LE || reader.encoding() == Encoding::Utf16BE) {
            removeFile(backup);  // became UTF-16 after the check; not ours to rewrite as 8-bit text
            return SpaceStatus::Refused;
        }
        const Encoding encoding = reader.encoding() == Encoding::Utf8Bom ? Encoding::Utf8Bom : Encoding::Bytes;
        LineWriter writer;
        if (!writer.open(currentFile, encoding, writeEndingFor(more ? reader.ending() : LineEnding::None))) {
            // A read-only file: nothing was written, so the copy is of no use.
            removeFile(backup);
            return SpaceStatus::Refused;
        }
        bool previousEmpty = true;  // no empty line goes before the first line
        bool firstLineOpen = reader.partial();
        for (; more; more = reader.next(line)) {
            // The first line's ending decides the file's; a first line in
            // pieces shows it with its last piece.
            if (firstLineOpen && !reader.partial()) {
                writer.setEnding(writeEndingFor(reader.ending()));
                firstLineOpen = false;
            }
            // A line longer than the reader's bound comes in pieces, each
            // copied as it stands; only the first is a line start.
            if (!reader.continuation()) {
                const bool header = !line.empty() && line.front() == '[';
                if (header && !previousEmpty && !writer.writeLine({}))
                    break;
                previousEmpty = line.empty();
            }
            if (!(reader.partial() ? writer.writeRaw(line) : writer.writeLine(line)))
                break;
        }
        complete = !more && !reader.failed();
        complete = writer.close() && complete;
    }
    // Without a complete rewrite the backup is the only whole copy.
    if (!complete)
        return SpaceStatus::WriteFailed;
    return removeFile(backup) ? SpaceStatus::Done : SpaceStatus::DeleteFailed;
}

}  // namespace keyloom
