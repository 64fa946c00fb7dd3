// SPDX-License-Identifier: MIT
#include "SingleInstanceMutex.h"

namespace app {

SingleInstanceMutex::SingleInstanceMutex(const std::wstring& name) {
    mutex_ = CreateMutexW(nullptr, TRUE, (L"Local\\" + name).c_str());
    another_ = mutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

SingleInstanceMutex::~SingleInstanceMutex() {
    if (mutex_ == nullptr) return;
    if (!another_) ReleaseMutex(mutex_);
    CloseHandle(mutex_);
}

}  // namespace app
