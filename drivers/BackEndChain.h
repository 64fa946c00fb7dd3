// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "FtdiDriver.h"

namespace boardlink {

/*
 * Several back ends behind one driver interface, tried in order: an open goes
 * to the first back end that opens the description, and every later call on
 * that handle goes to the back end that gave it out. When none opens, the
 * answer is the first status that says more than "not found" (no access, in
 * use), else "not found".
 */
class BackEndChain final : public FtdiDriver {
public:
    explicit BackEndChain(std::vector<std::unique_ptr<FtdiDriver>> backEnds);

    FT_STATUS OpenEx(const char* description, DWORD flags, FT_HANDLE* handle) override;
    FT_STATUS SetBaudRate(FT_HANDLE handle, ULONG baud) override;
    FT_STATUS SetFlowControl(FT_HANDLE handle, USHORT mode, UCHAR xon, UCHAR xoff) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, UCHAR milliseconds) override;
    FT_STATUS SetUSBParameters(FT_HANDLE handle, ULONG inSize, ULONG outSize) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                     UCHAR parity) override;
    FT_STATUS SetChars(FT_HANDLE handle, UCHAR eventChar, UCHAR eventEnabled, UCHAR errorChar,
                       UCHAR errorEnabled) override;
    FT_STATUS SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) override;
    FT_STATUS Purge(FT_HANDLE handle, ULONG mask) override;
    FT_STATUS Write(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* written) override;
    FT_STATUS Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* delivered) override;
    FT_STATUS Close(FT_HANDLE handle) override;

private:
    FtdiDriver* Owner(FT_HANDLE handle) const;

    std::vector<std::unique_ptr<FtdiDriver>> backEnds_;
    std::map<FT_HANDLE, FtdiDriver*> owners_;
};

}  // namespace boardlink
