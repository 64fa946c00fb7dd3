// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "Win32.h"

namespace app {

// A named mutex in the session's namespace: the first copy of the program
// in a logon session holds it for its whole run; Windows releases it when
// that copy ends, however it ends.
class SingleInstanceMutex {
public:
    explicit SingleInstanceMutex(const std::wstring& name);
    ~SingleInstanceMutex();
    SingleInstanceMutex(const SingleInstanceMutex&) = delete;
    SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;
    bool AnotherRunning() const { return another_; }

private:
    HANDLE mutex_ = nullptr;
    bool another_ = false;
};

}  // namespace app
