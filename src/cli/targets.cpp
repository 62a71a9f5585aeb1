// The targets of the writing commands, several per call.

#include "cli/scripting.h"

namespace keyloom::cli {

std::optional<QList<QStringList>> writeTargets(const QStringList& args, bool remove)
{
    QList<QStringList> targets;
    if (!remove) {
        if (args.isEmpty() || args.size() % 3 != 0)
            return std::nullopt;
        for (qsizetype i = 0; i < args.size(); i += 3)
            targets.append(args.mid(i, 3));
        return targets;
    }
    // A section alone or a section and a key, "--" between two targets.
    targets.append(QStringList());
    for (const QString& arg : args) {
        if (arg == QLatin1String("--"))
            targets.append(QStringList());
        else
            targets.last().append(arg);
    }
    for (const QStringList& target : targets)
        if (target.isEmpty() || target.size() > 2)
            return std::nullopt;
    return targets;
}

}  // namespace keyloom::cli
