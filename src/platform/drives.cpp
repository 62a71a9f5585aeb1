#include "platform/drives.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace keyloom {

#ifndef Q_OS_WIN
namespace {

bool isBrowsable(const QStorageInfo& volume)
{
    static const QStringList pseudoTypes = {
        "proc",        "sysfs",      "devtmpfs", "devpts",   "cgroup", "cgroup2",   "securityfs", "pstore",
        "debugfs",     "tracefs",    "configfs", "fusectl",  "mqueue", "hugetlbfs", "bpf",        "autofs",
        "binfmt_misc", "rpc_pipefs", "nsfs",     "efivarfs", "ramfs",  "selinuxfs", "squashfs"};
    static const QStringList systemAreas = {"/proc", "/sys", "/dev", "/run", "/boot", "/snap"};
    if (!volume.isValid() || !volume.isReady())
        return false;
    if (pseudoTypes.contains(QString::fromLatin1(volume.fileSystemType())))
        return false;
    const QString root = volume.rootPath();
    return std::none_of(systemAreas.begin(), systemAreas.end(),
                        [&](const QString& area) { return root == area || root.startsWith(area + '/'); });
}

}  // namespace

QStringList mountedRoots()
{
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (isBrowsable(volume) && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    const QString top = QDir::rootPath();
    roots.removeAll(top);
    roots.sort();
    roots.prepend(top);
    return roots;
}
#else
QStringList mountedRoots()
{
    // The drive letters the system has ("C:/"), ready or not, as a drive
    // list shows them; a drive that cannot be read says so when chosen.
    QStringList roots;
    for (const QFileInfo& drive : QDir::drives())
        roots << drive.absoluteFilePath();
    return roots;
}
#endif

QString rootOf(const QString& path, const QStringList& roots)
{
#ifdef Q_OS_WIN
    // Either separator, and drive letters and names in any letter case.
    const QString given = QDir::fromNativeSeparators(path);
    constexpr Qt::CaseSensitivity kCase = Qt::CaseInsensitive;
#else
    const QString& given = path;
    constexpr Qt::CaseSensitivity kCase = Qt::CaseSensitive;
#endif
    QString best;
    for (const QString& root : roots) {
        const bool inside =
            given.compare(root, kCase) == 0 || given.startsWith(root.endsWith('/') ? root : root + '/', kCase);
        if (inside && root.size() > best.size())
            best = root;
    }
    return best;
}

}  // namespace keyloom
