#include "filecommands/filecommands.h"

#include "app/commands.h"
#include "platform/fileio.h"

#include <QFile>
#include <QFileInfo>

namespace keyloom {

bool isRegistryName(const QString& fileName) { return fileName.right(4).toLower() == QStringLiteral(".reg"); }

QString notepadCommandLine(const QString& path) { return QStringLiteral("NOTEPAD ") + path; }

bool deleteFile(const QString& path)
{
    // The "normal" attributes: writable by its owner, as a file one may
    // delete. A link goes by itself; its target's rights are not ours to change.
    const QFileInfo info(path);
    const QFile::Permissions before = QFile::permissions(path);
    const bool changeMode = !info.isSymLink() && info.exists();
    if (changeMode)
        QFile::setPermissions(path, before | QFile::WriteOwner | QFile::ReadOwner);
    removeFile(path);
    const bool gone = !QFileInfo::exists(path) && !QFileInfo(path).isSymLink();
    // A file that stays keeps the rights it had.
    if (!gone && changeMode)
        QFile::setPermissions(path, before);
    return gone;
}

QString deleteFailedNote(const QString& path)
{
    return QStringLiteral("Die Datei '%1' konnte nicht gelöscht werden.").arg(Commands::FileNamePart(path));
}

QString deleteQuestion(const QString& path)
{
    return QStringLiteral("Datei '") + Commands::FileNamePart(path) + QStringLiteral("' wirklich löschen ?");
}

QString convertQuestion(const QString& path)
{
    return QStringLiteral("Datei '") + Commands::FileNamePart(path) +
           QStringLiteral("' wirklich ins REGEDIT4-Format konvertieren ?");
}

QString nothingToConvertNote(const QString& path)
{
    return QStringLiteral("Datei '") + Commands::FileNamePart(path) +
           QStringLiteral("' wurde nicht als UTF-16-Export geladen; es gibt nichts zu konvertieren.");
}

}  // namespace keyloom
