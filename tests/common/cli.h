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
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
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
