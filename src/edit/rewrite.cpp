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

// The bytes of a file copied to a writer in order, up to given offsets, or
// passed over.
class RawCopy {
public:
    bool open(const QString& path) { return in_.open(path); }
    // Copies (or, without `writer`, passes over) the bytes up to `offset`;
    // to the end for -1.
    bool moveTo(std::int64_t offset, LineWriter* writer)
    {
        while (offset < 0 || at_ < offset) {
            std::size_t want = block_.size();
            if (offset >= 0)
                want = static_cast<std::size_t>(std::min<std::int64_t>(offset - at_, std::int64_t(want)));
            const std::int64_t n = in_.read(block_.data(), want);
            if (n <= 0)
                return n == 0 && offset < 0;
            if (writer && !writer->writeRaw(std::string_view(block_.data(), std::size_t(n))))
                return false;
            at_ += n;
        }
        return true;
    }

private:
    InputFile in_;
    std::int64_t at_ = 0;
    std::vector<char> block_ = std::vector<char>(std::size_t(1) << 16);
};

// Writes `text` as the reader delivered the file's lines (Windows-1252 or
// UTF-8), or as UTF-8 where `utf8`, in the file's UTF-16, its own CR LF as
// `eol`.
bool writeEncoded(LineWriter& writer, const LineReader& reader, std::string_view text, std::string_view eol,
                  bool utf8 = false)
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
    return writer.writeRaw(units);
}

// Rewrites the UTF-16 `file` from its backup, read as `reader` (its first
// line in `line`): every byte copied as it is but those of the lines the
// rule changes, which stay off and get their new text in the file's UTF-16.
Rewrite rewriteUtf16InPlace(LineReader& reader, std::string_view line, bool more, const QString& backup,
                            const QString& file, const LineRule& rule)
{
    RawCopy raw;
    LineWriter writer;  // raw bytes: the copy and the encoded text are already the file's
    if (!raw.open(backup) || !writer.open(file, Encoding::Bytes, LineEnding::CrLf))
        return Rewrite::Untouched;
    std::string_view lastEnding = endingBytes(writeEndingFor(reader.partial() ? LineEnding::None : reader.ending()));
    LineEdit edit;
    bool ok = true;
    for (; more && ok; more = reader.next(line)) {
        if (!reader.continuation()) {
            edit = rule(line, !reader.partial());
            if (edit.emptyLineBefore)
                ok = raw.moveTo(reader.lineOffset(), &writer) && writeEncoded(writer, reader, lastEnding, lastEnding);
            const std::string_view eol = reader.partial() ? std::string_view() : endingOf(reader.ending());
            if (ok && edit.replacement)
                ok = raw.moveTo(reader.offsetAt(std::min(edit.keep, line.size())), &writer) &&
                     writeEncoded(writer, reader, *edit.replacement, eol.empty() ? lastEnding : eol, edit.utf8);
            else if (ok && edit.drop)
                ok = raw.moveTo(reader.lineOffset(), &writer);
        }
        // The old text goes; a replaced line keeps its ending, a dropped one not.
        if (ok && (edit.drop || edit.replacement))
            ok = raw.moveTo(edit.drop || reader.partial() ? reader.endOffset() : reader.offsetAt(line.size()), nullptr);
        if (!reader.partial() && reader.ending() != LineEnding::None)
            lastEnding = endingOf(reader.ending());
    }
    ok = ok && !more && !reader.failed() && raw.moveTo(-1, &writer);
    return writer.close() && ok ? Rewrite::Done : Rewrite::Failed;
}

// `inPlace`: the file was UTF-16 when it was checked, before the copy.
Rewrite rewriteFromBackup(const QString& backup, const QString& file, const LineRule& rule, bool inPlace)
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
        return rewriteUtf16InPlace(reader, line, more, backup, file, rule);
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
    switch (rewriteFromBackup(backup, file, *rule, inPlace)) {
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
