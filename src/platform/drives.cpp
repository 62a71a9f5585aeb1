#include "platform/drives.h"

#include <QDir>
#include <QStorageInfo>

#include <algorithm>

namespace keyloom {

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

QString rootOf(const QString& path, const QStringList& roots)
{
    QString best;
    for (const QString& root : roots) {
        const bool inside = path == root || path.startsWith(root.endsWith('/') ? root : root + '/');
        if (inside && root.size() > best.size())
            best = root;
    }
    return best;
}

}  // namespace keyloom
