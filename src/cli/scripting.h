#pragma once
// What keyloom offers scripts beside plain lines: JSON in UTF-8, find, and the
// code page of a file worked out without reading more of it than needed.

#include "platform/textcodec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace keyloom::cli {

// `text` as one JSON string, quotes included, in UTF-8.
QByteArray jsonString(const QString& text);

// Writes `bytes` and a line end to standard output.
void writeLine(const QByteArray& bytes);

// Takes "--json" out of the options that follow the command in `args`
// (command first); true when it was there.
bool takeJsonOption(QStringList& args);

// Runs `command` with every line it prints collected, and prints them as
// JSON when it succeeds: one JSON string for "get", an array otherwise.
int printAsJson(bool single, const std::function<int()>& command);

// Called by the plain line printer: true when the line was collected for
// printAsJson and must not be printed.
bool collectJsonLine(const QString& line);

// The code page the window shows `path` in (UTF-8 for valid UTF-8 beyond
// ASCII, otherwise Windows-1252; Windows-1252 for a UTF-16 file), read in
// blocks up to the first byte that is not UTF-8. Nothing when the file
// cannot be read.
std::optional<TextCodec> fileCodecOf(const QString& path);

// The targets of set or del after the file: for set SECTION KEY VALUE
// triples, for del SECTION [KEY] groups separated by "--". Nothing when
// `args` do not split so (none, or a group of the wrong size).
std::optional<QList<QStringList>> writeTargets(const QStringList& args, bool remove);

// keyloom find [--sections] [--keys] [--values] [--case] [--json] FILE TEXT;
// `args` without the command. Returns the exit status.
int find(QStringList args);

}  // namespace keyloom::cli
