#include "edit/rewrite.h"

#include "platform/fileio.h"
#include "platform/lines.h"

namespace keyloom {

bool canRewriteThrough(const QString& file, const QString& backup)
{
    return isRegularFile(file) && backup != file && !isSameFile(file, backup);
}

RewriteStatus rewriteFromBackup(const QString& backup, const QString& file, const LineRule& rule)
{
    LineReader reader(backup);
    if (!reader.isOpen())
        return RewriteStatus::BackupUnreadable;
    std::string_view line;
    bool more = reader.next(line);
    // The file was checked before the copy; should it have turned into UTF-16
    // since, its lines cannot be written back as 8-bit text.
    if (reader.encoding() == Encoding::Utf16LE || reader.encoding() == Encoding::Utf16BE)
        return RewriteStatus::Utf16;
    const Encoding encoding = reader.encoding() == Encoding::Utf8Bom ? Encoding::Utf8Bom : Encoding::Bytes;
    LineWriter writer;
    if (!writer.open(file, encoding, writeEndingFor(more ? reader.ending() : LineEnding::None)))
        return RewriteStatus::FileUnwritable;

    bool replaced = false;  // the line in progress was replaced: its later pieces go
    bool firstLineOpen = reader.partial();
    for (; more; more = reader.next(line)) {
        // The first line's ending decides the file's; a first line in pieces
        // shows it with its last piece.
        if (firstLineOpen && !reader.partial()) {
            writer.setEnding(writeEndingFor(reader.ending()));
            firstLineOpen = false;
        }
        std::string_view out = line;
        if (reader.continuation()) {
            if (replaced)
                continue;
        } else {
            const LineEdit edit = rule(line, !reader.partial());
            if (edit.emptyLineBefore && !writer.writeLine({}))
                break;
            replaced = edit.replacement.has_value();
            if (replaced)
                out = *edit.replacement;
        }
        const bool written = !replaced && reader.partial() ? writer.writeRaw(out) : writer.writeLine(out);
        if (!written)
            break;
    }
    const bool complete = !more && !reader.failed();
    return writer.close() && complete ? RewriteStatus::Done : RewriteStatus::Failed;
}

}  // namespace keyloom
