#include "filecommands/convert.h"

#include "platform/fileio.h"
#include "platform/replace.h"

#include <QFileInfo>
#include <QIODevice>

namespace keyloom {

ReplaceResult writeConversion(const QString& file, std::string_view text, const FileIdentity& read)
{
    if (!isRegularFile(file))
        return {};
    const auto size = static_cast<qint64>(text.size());
    const ContentWriter write = [&](InputFile&, QIODevice& out, std::int64_t) {
        return !fileFaultHit(FileOp::Write) && out.write(text.data(), size) == size && !fileFaultHit(FileOp::Write) &&
               out.write("\r\n", 2) == 2;
    };
    return replaceContent(file, read, 0, size + 2, write);
}

QString conversionFailedNote(const QString& file, const ReplaceResult& result)
{
    const QString name = QFileInfo(file).fileName();
    if (!result.wholeCopy.isEmpty())
        return QStringLiteral("Die Datei '%1' konnte nicht vollständig geschrieben werden. Der vorherige Inhalt liegt "
                              "unverändert in '%2'.")
            .arg(name, result.wholeCopy);
    if (QFileInfo(file).exists() && !QFileInfo(file).isWritable())
        return QStringLiteral("Die Datei '%1' ist schreibgeschützt. Sie wurde nicht konvertiert.").arg(name);
    return QStringLiteral("Die Datei '%1' konnte nicht konvertiert werden. Die Datei bleibt unverändert.").arg(name);
}

}  // namespace keyloom
