#include "platform/singleinstance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace keyloom {

namespace {

// When this process began, near enough.
const QDateTime kStarted = QDateTime::currentDateTimeUtc();

QString defaultLockPath()
{
    // Without a runtime folder (no desktop session), the temporary folder
    // with the user's name in the lock's name keeps users apart.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME", QStringLiteral("user")));
        return QDir(QDir::tempPath()).filePath(QStringLiteral("quorrel-keyloom-%1.lock").arg(user));
    }
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
        .filePath(QStringLiteral("quorrel-keyloom.lock"));
}

}  // namespace

SingleInstance::SingleInstance(const QString& lockPath)
    : path_(lockPath.isEmpty() ? defaultLockPath() : lockPath), lock_(std::make_unique<QLockFile>(path_))
{
    lock_->setStaleLockTime(0);  // only a dead owner makes a lock stale
}

bool SingleInstance::acquire()
{
    if (lock_->isLocked() || lock_->tryLock(0))
        return true;
    // A lock in this process's own number that is older than this process
    // was left by a copy that died: the system gave its number to us (Wine
    // hands out the same small numbers again), so it never looks stale.
    qint64 pid = 0;
    QString host;
    QString app;
    if (!lock_->getLockInfo(&pid, &host, &app) || pid != QCoreApplication::applicationPid())
        return false;
    if (QFileInfo(path_).lastModified() >= kStarted)
        return false;
    return lock_->removeStaleLockFile() && lock_->tryLock(0);
}

}  // namespace keyloom
