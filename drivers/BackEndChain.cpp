// SPDX-License-Identifier: MIT
#include "BackEndChain.h"

namespace boardlink {

BackEndChain::BackEndChain(std::vector<std::unique_ptr<FtdiDriver>> backEnds)
    : backEnds_(std::move(backEnds)) {}

FT_STATUS BackEndChain::OpenEx(const char* description, DWORD flags, FT_HANDLE* handle) {
    FT_STATUS answer = FT_DEVICE_NOT_FOUND;
    for (auto& backEnd : backEnds_) {
        FT_HANDLE opened = nullptr;
        const FT_STATUS status = backEnd->OpenEx(description, flags, &opened);
        if (status == FT_OK) {
            owners_[opened] = backEnd.get();
            if (handle != nullptr) *handle = opened;
            return FT_OK;
        }
        if (answer == FT_DEVICE_NOT_FOUND) answer = status;
    }
    return answer;
}

FtdiDriver* BackEndChain::Owner(FT_HANDLE handle) const {
    auto it = owners_.find(handle);
    return it == owners_.end() ? nullptr : it->second;
}

#define CHAIN_FORWARD(call)                              \
    FtdiDriver* owner = Owner(h);                        \
    return owner != nullptr ? owner->call : FT_INVALID_HANDLE

FT_STATUS BackEndChain::SetBaudRate(FT_HANDLE h, ULONG baud) { CHAIN_FORWARD(SetBaudRate(h, baud)); }
FT_STATUS BackEndChain::SetFlowControl(FT_HANDLE h, USHORT mode, UCHAR xon, UCHAR xoff) {
    CHAIN_FORWARD(SetFlowControl(h, mode, xon, xoff));
}
FT_STATUS BackEndChain::SetLatencyTimer(FT_HANDLE h, UCHAR ms) { CHAIN_FORWARD(SetLatencyTimer(h, ms)); }
FT_STATUS BackEndChain::SetUSBParameters(FT_HANDLE h, ULONG in, ULONG out) {
    CHAIN_FORWARD(SetUSBParameters(h, in, out));
}
FT_STATUS BackEndChain::SetDataCharacteristics(FT_HANDLE h, UCHAR word, UCHAR stop, UCHAR parity) {
    CHAIN_FORWARD(SetDataCharacteristics(h, word, stop, parity));
}
FT_STATUS BackEndChain::SetChars(FT_HANDLE h, UCHAR ev, UCHAR evOn, UCHAR err, UCHAR errOn) {
    CHAIN_FORWARD(SetChars(h, ev, evOn, err, errOn));
}
FT_STATUS BackEndChain::SetTimeouts(FT_HANDLE h, ULONG readMs, ULONG writeMs) {
    CHAIN_FORWARD(SetTimeouts(h, readMs, writeMs));
}
FT_STATUS BackEndChain::Purge(FT_HANDLE h, ULONG mask) { CHAIN_FORWARD(Purge(h, mask)); }
FT_STATUS BackEndChain::Write(FT_HANDLE h, const void* buffer, DWORD count, DWORD* written) {
    CHAIN_FORWARD(Write(h, buffer, count, written));
}
FT_STATUS BackEndChain::Read(FT_HANDLE h, void* buffer, DWORD count, DWORD* delivered) {
    CHAIN_FORWARD(Read(h, buffer, count, delivered));
}

#undef CHAIN_FORWARD

FT_STATUS BackEndChain::Close(FT_HANDLE h) {
    FtdiDriver* owner = Owner(h);
    if (owner == nullptr) return FT_INVALID_HANDLE;
    owners_.erase(h);
    return owner->Close(h);
}

}  // namespace boardlink
