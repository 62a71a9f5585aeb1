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
    if (!info.isSymLink())
        QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::ReadOwner);
    removeFile(path);
    return !QFileInfo::exists(path) && !QFileInfo(path).isSymLink();
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
