#pragma once
// The file list's commands that need no reading of the file: which popup
// entries suit a file, the editor's command line, and deletion.

#include <QString>

namespace keyloom {

// True when `fileName` ends in ".reg" in any letter case: the conversion
// suits it, the space insertion does not.
bool isRegistryName(const QString& fileName);

// The command line that opens `path` in the plain-text editor: "NOTEPAD "
// and the path as it stands, unquoted.
QString notepadCommandLine(const QString& path);

// Clears the read-only mark of `path`, then deletes it; each step is tried
// whatever the other did. True when the file is gone; a file that stays gets
// its rights back.
bool deleteFile(const QString& path);
// What the user is told when `path` could not be deleted.
QString deleteFailedNote(const QString& path);

// The question before a deletion, naming the file's name only.
QString deleteQuestion(const QString& path);
// The question before a conversion, naming the file's name only.
QString convertQuestion(const QString& path);
// The note when no REGEDIT4 text waits for the file.
QString nothingToConvertNote(const QString& path);

}  // namespace keyloom
