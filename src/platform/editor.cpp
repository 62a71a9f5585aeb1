#include "platform/editor.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace keyloom {

namespace {

// The desktop entry id of the default application for plain text.
QString defaultTextEditorEntry()
{
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty())
        return {};
    QProcess process;
    process.start(query, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
    if (!process.waitForFinished(3000) || process.exitCode() != 0) {
        process.kill();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString execLineOf(const QString& entryId)
{
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entryId);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('['))
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
        else if (inMainGroup && line.startsWith(QStringLiteral("Exec=")))
            return line.mid(5);
    }
    return {};
}

}  // namespace

QStringList desktopExecArguments(const QString& exec, const QString& file)
{
    QStringList arguments;
    bool placed = false;
    for (const QString& word : QProcess::splitCommand(exec)) {
        if (word == QStringLiteral("%f") || word == QStringLiteral("%F")) {
            arguments << file;
            placed = true;
        } else if (word == QStringLiteral("%u") || word == QStringLiteral("%U")) {
            arguments << QUrl::fromLocalFile(file).toString();
            placed = true;
        } else if (word.size() == 2 && word.startsWith('%')) {
            continue;  // %i, %c, %k and the deprecated codes carry nothing we need
        } else {
            QString plain = word;
            arguments << plain.replace(QStringLiteral("%%"), QStringLiteral("%"));
        }
    }
    if (!arguments.isEmpty() && !placed)
        arguments << file;
    return arguments;
}

EditorLaunch resolveEditor(const QString& commandLine)
{
    const qsizetype blank = commandLine.indexOf(' ');
    const QString name = blank < 0 ? commandLine : commandLine.left(blank);
    const QString rest = blank < 0 ? QString() : commandLine.mid(blank + 1);
    for (const QString& candidate : {name, name.toLower()}) {
        const QString program = QStandardPaths::findExecutable(candidate);
        if (!program.isEmpty())
            return {program, {rest}};
    }
    const QStringList arguments = desktopExecArguments(execLineOf(defaultTextEditorEntry()), rest);
    if (arguments.isEmpty())
        return {};
    const QString program = QStandardPaths::findExecutable(arguments.first());
    return {program, arguments.mid(1)};
}

bool startEditor(const QString& commandLine)
{
    const EditorLaunch launch = resolveEditor(commandLine);
    return !launch.program.isEmpty() && QProcess::startDetached(launch.program, launch.arguments);
}

}  // namespace keyloom
