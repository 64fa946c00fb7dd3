// SPDX-License-Identifier: MIT
// Stands in for the libftdi1 back end in builds without it.
#include "LibFtdiDriver.h"

namespace boardlink {

namespace {
class UnavailableDriver final : public FtdiDriver {
public:
    FT_STATUS OpenEx(const char*, DWORD, FT_HANDLE*) override { return FT_DEVICE_NOT_FOUND; }
    FT_STATUS SetBaudRate(FT_HANDLE, ULONG) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetLatencyTimer(FT_HANDLE, UCHAR) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetUSBParameters(FT_HANDLE, ULONG, ULONG) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override {
        return FT_INVALID_HANDLE;
    }
    FT_STATUS SetChars(FT_HANDLE, UCHAR, UCHAR, UCHAR, UCHAR) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetTimeouts(FT_HANDLE, ULONG, ULONG) override { return FT_INVALID_HANDLE; }
    FT_STATUS Purge(FT_HANDLE, ULONG) override { return FT_INVALID_HANDLE; }
    FT_STATUS Write(FT_HANDLE, const void*, DWORD, DWORD*) override { return FT_INVALID_HANDLE; }
    FT_STATUS Read(FT_HANDLE, void*, DWORD, DWORD*) override { return FT_INVALID_HANDLE; }
    FT_STATUS Close(FT_HANDLE) override { return FT_INVALID_HANDLE; }
};
}  // namespace

std::unique_ptr<FtdiDriver> MakeLibFtdiDriver() { return std::make_unique<UnavailableDriver>(); }

}  // namespace boardlink
