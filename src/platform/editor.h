#pragma once
// Starting the plain-text editor from a command line of the form
// "NOTEPAD <path>", without a shell and without waiting for it.

#include <QString>
#include <QStringList>

namespace keyloom {

// How a command line is answered: the program and its arguments.
struct EditorLaunch {
    QString program;
    QStringList arguments;
};

// Splits "NOTEPAD <path>" into a launch: a NOTEPAD or notepad program on the
// PATH gets the rest of the line as one argument; otherwise the desktop's
// default application for plain text gets the path. Never the file's own
// type's application: a .reg file may be bound to a registry import.
// `program` is empty when nothing can answer.
EditorLaunch resolveEditor(const QString& commandLine);

// The arguments of a desktop entry's Exec line for `file`, field codes
// replaced; empty when the line is unusable.
QStringList desktopExecArguments(const QString& exec, const QString& file);

// Starts the command line detached; false when nothing was started.
bool startEditor(const QString& commandLine);

}  // namespace keyloom
