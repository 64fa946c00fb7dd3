// SPDX-License-Identifier: MIT
#pragma once

#include "FtdiTypes.h"

namespace boardlink {

/*
 * The twelve calls of the FTDI D2XX interface that the link uses, with the
 * vendor's arguments and status values. Every back end (the vendor library,
 * libftdi1, the simulated board) implements exactly this contract:
 *
 * - OpenEx is the only call without a handle. On FT_OK it stores a non-null
 *   handle in *handle; on failure it leaves *handle untouched and returns a
 *   non-zero status (FT_DEVICE_NOT_FOUND when no interface carries the
 *   description).
 * - Every other call needs a handle that OpenEx returned and Close has not yet
 *   closed. A handle that is not open gives FT_INVALID_HANDLE and no effect.
 * - Read waits until `count` bytes have arrived or the read time-out set by
 *   SetTimeouts has passed, whichever comes first. It stores at most `count`
 *   bytes and sets *delivered to the number stored: 0 with FT_OK when nothing
 *   arrived in time. FT_IO_ERROR may come with bytes delivered.
 * - Write hands all `count` bytes to the interface; *written says how many
 *   were taken. A write time-out of 0 means the write never times out.
 * - Purge discards what is queued in the driver: FT_PURGE_RX, FT_PURGE_TX or both.
 * - Close releases the handle; after it the handle is no longer open, whatever
 *   the status.
 * - Once the interface has gone away (unplugged), every call fails with a
 *   non-zero status; there is no reconnection.
 *
 * All calls block the calling thread; none of them calls back into the caller.
 */
class FtdiDriver {
public:
    virtual ~FtdiDriver() = default;

    virtual FT_STATUS OpenEx(const char* description, DWORD flags, FT_HANDLE* handle) = 0;
    virtual FT_STATUS SetBaudRate(FT_HANDLE handle, ULONG baud) = 0;
    virtual FT_STATUS SetFlowControl(FT_HANDLE handle, USHORT mode, UCHAR xon, UCHAR xoff) = 0;
    virtual FT_STATUS SetLatencyTimer(FT_HANDLE handle, UCHAR milliseconds) = 0;
    virtual FT_STATUS SetUSBParameters(FT_HANDLE handle, ULONG inSize, ULONG outSize) = 0;
    virtual FT_STATUS SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                             UCHAR parity) = 0;
    virtual FT_STATUS SetChars(FT_HANDLE handle, UCHAR eventChar, UCHAR eventEnabled,
                               UCHAR errorChar, UCHAR errorEnabled) = 0;
    virtual FT_STATUS SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) = 0;
    virtual FT_STATUS Purge(FT_HANDLE handle, ULONG mask) = 0;
    virtual FT_STATUS Write(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* written) = 0;
    virtual FT_STATUS Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* delivered) = 0;
    virtual FT_STATUS Close(FT_HANDLE handle) = 0;
};

}  // namespace boardlink
