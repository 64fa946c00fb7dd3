// SPDX-License-Identifier: MIT
#include "SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

namespace app {

SingleInstance::SingleInstance(const QString& name, const QString& directory) {
    QString folder = directory;
    if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    lock_ = std::make_unique<QLockFile>(QDir(folder).filePath(name + QStringLiteral(".lock")));
    // Staleness is judged by whether the owning process still lives, not by age.
    lock_->setStaleLockTime(0);
}

bool SingleInstance::AnotherRunning() {
    if (!checked_) {
        checked_ = true;
        another_ = !lock_->tryLock(0) && lock_->error() == QLockFile::LockFailedError;
    }
    return another_;
}

}  // namespace app
