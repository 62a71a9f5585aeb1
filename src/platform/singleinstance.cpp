#include "platform/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

namespace keyloom {

namespace {

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
    : lock_(std::make_unique<QLockFile>(lockPath.isEmpty() ? defaultLockPath() : lockPath))
{
    lock_->setStaleLockTime(0);  // only a dead owner makes a lock stale
}

bool SingleInstance::acquire() { return lock_->isLocked() || lock_->tryLock(0); }

}  // namespace keyloom
