#include "edit/rewrite.h"

#include "app/commands.h"
#include "platform/fileio.h"
#include "platform/lines.h"

#include <QFileInfo>

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

Rewrite rewriteFromBackup(const QString& backup, const QString& file, const LineRule& rule)
{
    LineReader reader(backup);
    if (!reader.isOpen())
        return Rewrite::Untouched;
    std::string_view line;
    bool more = reader.next(line);
    // The file was checked before the copy; should it have turned into UTF-16
    // since, its lines cannot be written back as 8-bit text.
    if (reader.encoding() == Encoding::Utf16LE || reader.encoding() == Encoding::Utf16BE)
        return Rewrite::Untouched;
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
            written = edit.replacement ? writeWithEnding(writer, *edit.replacement, eol.empty() ? lastEnding : eol)
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
                                const std::function<std::optional<LineRule>()>& makeRule)
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
    if (!pendingText && isUtf16File(file))
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
    switch (rewriteFromBackup(backup, file, *rule)) {
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

QString notWrittenNote(const QString& file)
{
    const QString name = Commands::FileNamePart(file);
    const QFileInfo info(file);
    if (!info.exists())
        return QStringLiteral("Die Datei '%1' ist nicht vorhanden. Der Wert wurde nicht gespeichert.").arg(name);
    if (!info.isFile())
        return QStringLiteral("'%1' ist keine gewöhnliche Datei. Der Wert wurde nicht gespeichert.").arg(name);
    if (!info.isWritable())
        return QStringLiteral("Die Datei '%1' ist schreibgeschützt. Der Wert wurde nicht gespeichert.").arg(name);
    return QStringLiteral("Die Datei '%1' konnte nicht geschrieben werden. Die Datei bleibt unverändert.").arg(name);
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
