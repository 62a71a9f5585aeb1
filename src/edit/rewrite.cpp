#include "edit/rewrite.h"

#include "app/commands.h"
#include "platform/fileio.h"
#include "platform/lines.h"

#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace keyloom {

namespace {

enum class Rewrite {
    Done,       // every line of the backup reached the file
    Untouched,  // the backup could not be read, was UTF-16, or the file could not be opened: nothing written
    Failed,     // reading or writing failed part-way; the file is partial
};

// The bytes a line ended with; none for a last line without an ending.
std::string_view endingOf(LineEnding ending)
{
    return ending == LineEnding::None ? std::string_view() : endingBytes(ending);
}

// `text` with its own CR LF written as `eol`.
bool writeWithEnding(LineWriter& writer, std::string_view text, std::string_view eol)
{
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n")) {
        if (!writer.writeRaw(text.substr(0, at)) || !writer.writeRaw(eol))
            return false;
        text.remove_prefix(at + 2);
    }
    return writer.writeRaw(text);
}

// The new content of a file written in place from its backup, in order:
// bytes of the backup that stay, and new ones. The file is not emptied:
// where the new content has the backup's bytes at the offset where the file
// still holds them (everything before the first change, and after changes
// that kept the length), nothing is written; the rest is copied from the
// backup, in the kernel where the system can, and the file cut to its new
// length at the end.
class InPlaceOutput {
public:
    // `copied`: the file as its backup was made. A file that is no longer
    // that one (replaced, written to) is emptied and written whole.
    bool open(const QString& backup, const QString& file, const FileIdentity& copied)
    {
        if (!in_.open(backup) || !out_.openKeeping(file))
            return false;
        trusted_ = copied.exists && identityOf(file) == copied;
        return trusted_ || out_.truncate(0);
    }
    // The backup's bytes up to `offset` come next.
    bool keepTo(std::int64_t offset)
    {
        const std::int64_t count = offset - inAt_;
        if (count <= 0)
            return true;
        const bool inPlace = trusted_ && outAt_ == inAt_;
        inAt_ = offset;
        if (!flush())
            return false;
        outAt_ += count;
        if (inPlace)
            return true;
        const bool ok = moveTo(outAt_ - count) && out_.copyFrom(in_, offset - count, count) == count;
        filePos_ = outAt_;
        return ok;
    }
    // The backup's bytes up to `offset` are left out.
    void dropTo(std::int64_t offset) { inAt_ = std::max(inAt_, offset); }
    bool write(std::string_view bytes)
    {
        pending_ += bytes;
        outAt_ += std::int64_t(bytes.size());
        return pending_.size() < ioBlock() || flush();
    }
    // The rest of the backup; the file ends where the new content does.
    bool finish()
    {
        bool ok = flush();
        if (ok && !(trusted_ && outAt_ == inAt_)) {
            const std::int64_t rest = moveTo(outAt_) ? out_.copyFrom(in_, inAt_, -1) : -1;
            ok = rest >= 0 && out_.truncate(outAt_ + rest);
        }
        return out_.close() && ok;
    }

private:
    // Writes the new bytes waiting, which end at outAt_.
    bool flush()
    {
        if (pending_.empty())
            return true;
        const bool ok = moveTo(outAt_ - std::int64_t(pending_.size())) && out_.write(pending_);
        filePos_ = outAt_;
        pending_.clear();
        return ok;
    }
    bool moveTo(std::int64_t offset)
    {
        if (filePos_ == offset)
            return true;
        filePos_ = offset;
        return out_.seek(offset);
    }

    InputFile in_;
    OutputFile out_;
    std::string pending_;
    std::int64_t inAt_ = 0;     // the backup's bytes before it are placed or left out
    std::int64_t outAt_ = 0;    // where the new content's next byte goes
    std::int64_t filePos_ = 0;  // the file's own position for writes
    bool trusted_ = false;      // the file holds the backup's bytes where nothing was written
};

// `text` as the reader delivered the file's lines (Windows-1252 or UTF-8),
// or as UTF-8 where `utf8`, in the file's UTF-16, its own CR LF as `eol`.
std::string encoded(const LineReader& reader, std::string_view text, std::string_view eol, bool utf8 = false)
{
    const bool unicode = utf8 || reader.unicodeText();
    std::string units;
    std::string eolUnits;
    appendEncoded(eolUnits, reader.encoding(), eol);
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n")) {
        appendEncoded(units, reader.encoding(), text.substr(0, at), unicode);
        units += eolUnits;
        text.remove_prefix(at + 2);
    }
    appendEncoded(units, reader.encoding(), text, unicode);
    return units;
}

// Rewrites the UTF-16 `file` in place from its backup, read as `reader` (its
// first line in `line`): every byte as it is but those of the lines the rule
// changes, which stay off and get their new text in the file's UTF-16. Where
// the rule passes over a section, the reader searches for the next header
// line without decoding the lines between.
Rewrite rewriteUtf16InPlace(LineReader& reader, std::string_view line, bool more, const QString& backup,
                            const QString& file, const FileIdentity& copied, const LineRule& rule)
{
    InPlaceOutput out;
    if (!out.open(backup, file, copied))
        return Rewrite::Untouched;
    std::string_view lastEnding = endingBytes(writeEndingFor(reader.partial() ? LineEnding::None : reader.ending()));
    LineEdit edit;
    bool ok = true;
    bool passOver = false;
    for (; more && ok; more = passOver ? reader.nextStartingWithUndecoded('[', line) : reader.next(line)) {
        // The line before a header found that way ended as the reader saw.
        if (passOver)
            lastEnding = endingOf(reader.endingBefore());
        if (!reader.continuation()) {
            edit = rule(line, !reader.partial());
            if (edit.emptyLineBefore)
                ok = out.keepTo(reader.lineOffset()) && out.write(encoded(reader, lastEnding, lastEnding));
            const std::string_view eol = reader.partial() ? std::string_view() : endingOf(reader.ending());
            if (ok && edit.replacement)
                ok = out.keepTo(reader.offsetAt(std::min(edit.keep, line.size()))) &&
                     out.write(encoded(reader, *edit.replacement, eol.empty() ? lastEnding : eol, edit.utf8));
            else if (ok && edit.drop)
                ok = out.keepTo(reader.lineOffset());
        }
        // The old text goes; a replaced line keeps its ending, a dropped one not.
        if (edit.drop || edit.replacement)
            out.dropTo(edit.drop || reader.partial() ? reader.endOffset() : reader.offsetAt(line.size()));
        if (!reader.partial() && reader.ending() != LineEnding::None)
            lastEnding = endingOf(reader.ending());
        // Heeded once the whole line is read.
        passOver = edit.passOver && !reader.partial();
    }
    return ok && !more && !reader.failed() && out.finish() ? Rewrite::Done : Rewrite::Failed;
}

// `inPlace`: the file was UTF-16 when it was checked, before the copy.
Rewrite rewriteFromBackup(const QString& backup, const QString& file, const LineRule& rule, bool inPlace,
                          const FileIdentity& copied)
{
    LineReader reader(backup);
    if (!reader.isOpen())
        return Rewrite::Untouched;
    std::string_view line;
    bool more = reader.next(line);
    // Should the copy have changed its form since the check, its lines
    // cannot be written back the way the check chose.
    if (isUtf16(reader.encoding()) != inPlace)
        return Rewrite::Untouched;
    if (inPlace)
        return rewriteUtf16InPlace(reader, line, more, backup, file, copied, rule);
    const Encoding encoding = reader.encoding() == Encoding::Utf8Bom ? Encoding::Utf8Bom : Encoding::Bytes;
    LineWriter writer;
    if (!writer.open(file, encoding, LineEnding::CrLf))
        return Rewrite::Untouched;

    // Every line keeps the ending it had; a line in pieces shows it with its
    // last piece. An added empty line ends as the line before it did.
    std::string_view lastEnding = endingBytes(writeEndingFor(reader.partial() ? LineEnding::None : reader.ending()));
    LineEdit edit;  // for the line in progress
    for (; more; more = reader.next(line)) {
        if (!reader.continuation()) {
            edit = rule(line, !reader.partial());
            if (edit.emptyLineBefore && !writer.writeRaw(lastEnding))
                break;
        }
        const std::string_view eol = endingOf(reader.ending());
        bool written = true;
        if (!edit.drop && !(edit.replacement && reader.continuation()))
            written = edit.replacement ? writer.writeRaw(line.substr(0, edit.keep)) &&
                                             writeWithEnding(writer, *edit.replacement, eol.empty() ? lastEnding : eol)
                                       : writer.writeRaw(line);
        // The ending of a replaced line in pieces comes with its last piece.
        if (written && !edit.drop && !reader.partial())
            written = writer.writeRaw(eol);
        if (!written)
            break;
        if (!reader.partial() && !eol.empty())
            lastEnding = eol;
    }
    const bool complete = !more && !reader.failed();
    return writer.close() && complete ? Rewrite::Done : Rewrite::Failed;
}

// Fills the new backup `out` from the pending text or from the file.
bool fillBackup(OutputFile& out, const QString& file, const std::string* pendingText)
{
    if (!pendingText)
        return copyInto(file, out);
    const bool written = out.write(*pendingText) && out.write("\r\n");
    return out.close() && written;
}

}  // namespace

QString backupNameOf(const QString& currentFile)
{
    if (currentFile.isEmpty())
        return {};
    return currentFile.left(currentFile.size() - 1) + QLatin1Char('_');
}

EditResult rewriteThroughBackup(const QString& file, const std::string* pendingText,
                                const std::function<void()>& processEvents,
                                const std::function<std::optional<LineRule>()>& makeRule, Utf16Lines utf16)
{
    EditResult result;
    result.backup = backupNameOf(file);
    const QString& backup = result.backup;
    auto ending = [&](EditStatus status, QString reason = {}) {
        result.status = status;
        result.reason = reason.isEmpty() ? editStatusMessage(result, file) : reason;
        return result;
    };
    // A backup that is the file itself (by name or through a link) would
    // empty both.
    if (!isRegularFile(file) || backup == file || isSameFile(file, backup))
        return ending(EditStatus::Refused);
    // A file that cannot be opened would otherwise show as a backup that
    // could not be made.
    if (!pendingText && !InputFile().open(file))
        return ending(EditStatus::Refused, notOpenedNote(file));
    const bool inPlace = !pendingText && isUtf16File(file);
    if (inPlace && utf16 == Utf16Lines::Refuse)
        return ending(EditStatus::Refused, utf16WithoutTextNote(file));

    // What the file was when it was copied: written in place, it keeps the
    // bytes it has only while it is still that.
    const FileIdentity copied = inPlace ? identityOf(file) : FileIdentity{};
    OutputFile out;
    if (!out.create(backup, file))
        return ending(isTaken(backup) ? EditStatus::BackupTaken : EditStatus::BackupFailed);
    if (!fillBackup(out, file, pendingText)) {
        removeFile(backup);
        return ending(EditStatus::BackupFailed);
    }
    if (processEvents)
        processEvents();
    const std::optional<LineRule> rule = makeRule ? makeRule() : std::nullopt;
    if (!rule) {
        removeFile(backup);
        return ending(EditStatus::Refused);
    }
    switch (rewriteFromBackup(backup, file, *rule, inPlace, copied)) {
    case Rewrite::Untouched:
        // The file is whole, and a backup left now would only block the next
        // try; unless another program took the file away meanwhile.
        if (!isRegularFile(file))
            return ending(EditStatus::WriteFailed);
        removeFile(backup);
        return ending(EditStatus::Refused);
    case Rewrite::Failed:
        return ending(EditStatus::WriteFailed);
    case Rewrite::Done:
        break;
    }
    result.pendingUsed = pendingText != nullptr;
    if (processEvents)
        processEvents();
    return ending(removeFile(backup) ? EditStatus::Done : EditStatus::DeleteFailed);
}

QString editStatusMessage(const EditResult& result, const QString& file)
{
    const QString fileName = Commands::FileNamePart(file);
    // A copy beside the file is named by its name, one elsewhere by its path.
    const bool beside = QFileInfo(result.backup).absolutePath() == QFileInfo(file).absolutePath();
    const QString backupName = beside ? Commands::FileNamePart(result.backup) : result.backup;
    switch (result.status) {
    case EditStatus::BackupTaken:
        return QStringLiteral("Die Datei '%1' ist bereits vorhanden. Bitte umbenennen oder verschieben und dann "
                              "erneut versuchen.")
            .arg(backupName);
    case EditStatus::WriteFailed:
        return QStringLiteral("Die Datei '%1' konnte nicht vollständig geschrieben werden. Der vorherige Inhalt "
                              "liegt unverändert in '%2'.")
            .arg(fileName, backupName);
    case EditStatus::BackupFailed:
        return QStringLiteral("Die Sicherungskopie '%1' konnte nicht angelegt werden. Die Datei '%2' bleibt "
                              "unverändert.")
            .arg(backupName, fileName);
    case EditStatus::DeleteFailed:
        return QStringLiteral("Die Datei '%1' wurde geschrieben, aber die Sicherungskopie '%2' konnte nicht gelöscht "
                              "werden.")
            .arg(fileName, backupName);
    case EditStatus::Refused:
        return notWrittenNote(file);
    case EditStatus::Changed:
        return changedSinceReadNote(file);
    case EditStatus::Invalid:
        return invalidNameNote(file);
    case EditStatus::Done:
        break;
    }
    return {};
}

QString notWrittenNote(const QString& file, NotWritten what)
{
    const bool value = what == NotWritten::Value;
    const QString name = Commands::FileNamePart(file);
    const QFileInfo info(file);
    QString state;  // what the file system tells of the file
    if (!info.exists())
        state = QStringLiteral("Die Datei '%1' ist nicht vorhanden.");
    else if (!info.isFile())
        state = QStringLiteral("'%1' ist keine gewöhnliche Datei.");
    else if (!info.isWritable())
        state = QStringLiteral("Die Datei '%1' ist schreibgeschützt.");
    if (!state.isEmpty())
        return (state + (value ? QStringLiteral(" Der Wert wurde nicht gespeichert.")
                               : QStringLiteral(" Sie wurde nicht konvertiert.")))
            .arg(name);
    return (value ? QStringLiteral("Die Datei '%1' konnte nicht geschrieben werden. Die Datei bleibt unverändert.")
                  : QStringLiteral("Die Datei '%1' konnte nicht konvertiert werden. Die Datei bleibt unverändert."))
        .arg(name);
}

QString notOpenedNote(const QString& file)
{
    return QStringLiteral("Die Datei '%1' konnte nicht geöffnet werden (gesperrt oder nicht lesbar). Sie bleibt "
                          "unverändert.")
        .arg(Commands::FileNamePart(file));
}

QString lineBreakNote(const QString& file)
{
    return QStringLiteral("Ein Name oder Wert kann keinen Zeilenumbruch enthalten. Die Datei '%1' bleibt "
                          "unverändert.")
        .arg(Commands::FileNamePart(file));
}

QString changedSinceReadNote(const QString& file)
{
    return QStringLiteral("Die Datei '%1' wurde seit dem Laden verändert. Der Wert wurde nicht gespeichert.")
        .arg(Commands::FileNamePart(file));
}

QString invalidNameNote(const QString& file)
{
    return QStringLiteral("Abschnitt, Schlüssel oder Wert können so nicht in die Datei '%1' geschrieben werden (leerer "
                          "Schlüssel, Zeilenumbruch oder ein Name, der nicht wiedergefunden würde). Die Datei bleibt "
                          "unverändert.")
        .arg(Commands::FileNamePart(file));
}

QString utf16WithoutTextNote(const QString& file)
{
    return QStringLiteral("Die Datei '%1' ist in UTF-16 gespeichert und kann nicht zeilenweise als 8-Bit-Text "
                          "geschrieben werden. Die Datei bleibt unverändert.")
        .arg(Commands::FileNamePart(file));
}

}  // namespace keyloom
