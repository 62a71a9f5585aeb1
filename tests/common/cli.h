#pragma once
// Runs the command-line program as a user would, for tests of both kinds.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>

namespace keyloom::test {

struct CliRun {
    int exit;  // -1 when the program crashed or did not end
    std::string out;
    std::string err;
};

// Runs `program` with `args`, "%F" in them standing for `file`, in the
// folder `workingDirectory` (this process's own when empty).
inline CliRun runProgram(const QString& program, QStringList args, const QString& file = {},
                         const QString& workingDirectory = {})
{
    args.replaceInStrings(QStringLiteral("%F"), file);
    QProcess p;
    p.setWorkingDirectory(workingDirectory);
    p.start(program, args);
    // A program that did not start or end has exit code 0 in QProcess: told
    // as -1, with the reason after its standard error.
    const bool ended = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
    CliRun run{ended ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
               p.readAllStandardError().toStdString()};
    if (!ended)
        run.err += p.errorString().toStdString();
    return run;
}

// A match as `keyloom find` prints it: "[Section]" for a section's name,
// "[Section] Key" for a key or value.
inline std::string findLine(std::string_view section, std::optional<std::string_view> key)
{
    std::string line = '[' + std::string(section) + ']';
    if (key)
        line.append(1, ' ').append(*key);
    return line;
}

#ifdef KEYLOOM_CLI
// Runs the command-line program keyloom as runProgram does.
inline CliRun keyloom(const QStringList& args, const QString& file = {})
{
    return runProgram(QStringLiteral(KEYLOOM_CLI), args, file);
}
#endif

}  // namespace keyloom::test
