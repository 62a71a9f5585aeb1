#include "app/programinfo.h"

namespace keyloom {

std::optional<QString> programInfo(const QStringList& arguments, const QString& version)
{
    // The command line is one path taken whole: only an argument text that
    // is nothing but the option asks for it.
    const QString text = arguments.join(QLatin1Char(' '));
    if (text == QLatin1String("--version"))
        return QStringLiteral("quorrel-keyloom %1\n").arg(version);
    if (text != QLatin1String("--help") && text != QLatin1String("-h"))
        return std::nullopt;
    return QStringLiteral("Aufruf: quorrel-keyloom [DATEI]\n"
                          "\n"
                          "Editor für INI-, INF- und Registry-Exportdateien; mit DATEI öffnet er\n"
                          "gleich diese Datei. Alles nach dem Programmnamen ist der Pfad, Leerzeichen\n"
                          "eingeschlossen.\n"
                          "\n"
                          "  --help, -h   diese Hilfe\n"
                          "  --version    die Version\n"
                          "\n"
                          "Lesen und Schreiben für Skripte: keyloom --help. Mehr: man quorrel-keyloom\n");
}

}  // namespace keyloom
