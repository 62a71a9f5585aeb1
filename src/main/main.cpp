// Builds the application and runs start-up; everything else lives in the
// libraries.

#include "app/programinfo.h"
#include "platform/singleinstance.h"
#include "ui/appmodul.h"
#include "ui/form1.h"
#include "ui/startup.h"
#include "ui/translation.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt aborts with a platform-plugin error when there is no display; say what
// is wrong and how to get one instead.
bool haveDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

}  // namespace

int main(int argc, char* argv[])
{
    // Help and version need neither a display nor an application object.
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    if (const auto info = keyloom::programInfo(raw, QStringLiteral(KEYLOOM_VERSION))) {
        std::fputs(info->toUtf8().constData(), stdout);
        return 0;
    }
    if (!haveDisplay()) {
        std::fputs("quorrel-keyloom: no display found (DISPLAY is not set); start it in a desktop session, "
                   "or without one run it under xvfb-run, e.g. 'xvfb-run ./run.sh'.\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorrel Keyloom"));
    QApplication::setDesktopFileName(QStringLiteral("quorrel-keyloom"));

    keyloom::installGermanQtTexts();

    // The argument is one path taken whole, blanks included, as typed.
    const QStringList arguments = QApplication::arguments().mid(1);
    keyloom::AppModul app;
    keyloom::SingleInstance instance;
    const auto window = keyloom::Main(arguments.join(' '), app, instance);
    if (!window)
        return 0;
    return QApplication::exec();
}
