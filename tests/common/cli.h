#pragma once
// Runs the command-line program as a user would, for tests of both kinds.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

namespace keyloom::test {

struct CliRun {
    int exit;  // -1 when the program crashed or did not end
    std::string out;
    std::string err;
};

// Runs `program` with `args`, "%F" in them standing for `file`.
inline CliRun runProgram(const QString& program, QStringList args, const QString& file = {})
{
    args.replaceInStrings(QStringLiteral("%F"), file);
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
}

}  // namespace keyloom::test
