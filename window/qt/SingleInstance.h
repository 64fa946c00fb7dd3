// SPDX-License-Identifier: MIT
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace app {

// A per-user named lock: the first copy of a program holds it for its whole
// run. A lock left by a copy that crashed is recovered, since its process is gone.
class SingleInstance {
public:
    // `directory` empty: the user's runtime directory.
    explicit SingleInstance(const QString& name, const QString& directory = {});
    // True when another copy holds the lock. Tries once and remembers.
    bool AnotherRunning();

private:
    std::unique_ptr<QLockFile> lock_;
    bool checked_ = false;
    bool another_ = false;
};

}  // namespace app
