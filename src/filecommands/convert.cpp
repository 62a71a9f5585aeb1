#include "filecommands/convert.h"

#include "app/commands.h"
#include "platform/fileio.h"
#include "platform/replacingfile.h"

namespace keyloom {

bool writeConversion(const QString& file, std::string_view text)
{
    if (!isRegularFile(file))
        return false;
    // The replacing file follows a symbolic link to its target, keeps the target's
    // permissions, and never falls back to writing the file in place.
    // Unbuffered, so that a short write shows in write()'s count: commit()
    // does not notice a failure of the final flush of a buffered write.
    ReplacingFile out(file);
    if (fileFaultHit(FileOp::OpenWrite) || !out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const auto size = static_cast<qint64>(text.size());
    // Without commit() the temporary file is discarded on destruction.
    if (fileFaultHit(FileOp::Write) || out.write(text.data(), size) != size || fileFaultHit(FileOp::Write) ||
        out.write("\r\n", 2) != 2 || out.error() != QFileDevice::NoError)
        return false;
    return !fileFaultHit(FileOp::Rename) && out.commit();
}

QString unconvertibleNote(const QString& file, std::uint64_t count, std::uint64_t firstLine)
{
    const QString name = Commands::FileNamePart(file);
    if (count == 1)
        return QStringLiteral("Die Datei '%1' enthält 1 Zeichen, das im REGEDIT4-Format nicht darstellbar ist (in "
                              "Zeile %2). Die Datei bleibt unverändert.")
            .arg(name, QString::number(firstLine));
    return QStringLiteral("Die Datei '%1' enthält %2 Zeichen, die im REGEDIT4-Format nicht darstellbar sind (erstes "
                          "in Zeile %3). Die Datei bleibt unverändert.")
        .arg(name, QString::number(count), QString::number(firstLine));
}

}  // namespace keyloom
