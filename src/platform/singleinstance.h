#pragma once
// One copy of the editor per user: a lock file in the user's runtime folder.

#include <QLockFile>
#include <QString>
#include <memory>

namespace keyloom {

class SingleInstance {
public:
    // `lockPath` empty: the per-user default in the runtime folder.
    explicit SingleInstance(const QString& lockPath = {});
    // True when this process holds the lock (no other copy runs). The lock is
    // held until this object is destroyed; a lock left by a crashed copy is
    // taken over, also one in this process's own number from before it began.
    bool acquire();

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace keyloom
