#include "platform/wineserver.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace keyloom {

namespace {

#ifndef _WIN32
// Connects to the Unix socket at `path` and closes again at once.
bool answers(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (std::size_t(name.size()) >= sizeof(address.sun_path))
        return false;
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return connected;
}
#endif

}  // namespace

QStringList wineServerDirsOf(const QString& prefixDir, const QString& tmpRoot)
{
#ifdef _WIN32
    Q_UNUSED(prefixDir);
    Q_UNUSED(tmpRoot);
    return {};
#else
    struct stat info {};
    if (::stat(QFile::encodeName(prefixDir).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return {};
    const QString server =
        QStringLiteral("server-%1-%2").arg(qulonglong(info.st_dev), 0, 16).arg(qulonglong(info.st_ino), 0, 16);
    QStringList dirs{tmpRoot + QStringLiteral("/.wine-%1/").arg(::getuid()) + server};
    QFile named(prefixDir + QStringLiteral("/wineserver"));
    if (named.open(QIODevice::ReadOnly)) {
        const QString folder = QString::fromLocal8Bit(named.read(256)).trimmed();
        // Only a plain name: the file must not lead the check elsewhere.
        if (!folder.isEmpty() && !folder.contains(QLatin1Char('/')) && folder != QLatin1String("..") &&
            folder != QLatin1String("."))
            dirs << tmpRoot + QLatin1Char('/') + folder + QLatin1Char('/') + server;
    }
    return dirs;
#endif
}

bool wineServerRunsFor(const QString& prefixDir, const QString& tmpRoot)
{
#ifdef _WIN32
    Q_UNUSED(prefixDir);
    Q_UNUSED(tmpRoot);
    return false;
#else
    for (const QString& dir : wineServerDirsOf(prefixDir, tmpRoot)) {
        if (answers(dir + QStringLiteral("/socket")))
            return true;
    }
    return false;
#endif
}

QString winePrefixOf(const QString& file) { return QFileInfo(file).absolutePath(); }

}  // namespace keyloom
