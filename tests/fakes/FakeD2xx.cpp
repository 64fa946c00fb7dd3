// SPDX-License-Identifier: MIT
// A stand-in for the vendor's libftd2xx.so (Linux) or FTD2XX.DLL (Windows,
// exported by FakeD2xx.def) with C linkage and the vendor's types, for testing
// how the library is loaded and called. Built three times: complete, without
// FT_Close (FAKE_D2XX_PARTIAL), and with no device at all (FAKE_D2XX_NONE),
// which the tests that start the production Updater put first on its search
// path, so that FTDI's own library, where a developer installed it, is never
// loaded and never opens a cable that happens to be plugged in.
#include <cstdint>
#include <cstring>

using FT_STATUS = std::uint32_t;
using FT_HANDLE = void*;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using USHORT = std::uint16_t;
using UCHAR = std::uint8_t;

#ifdef _WIN32
#define API __stdcall
#else
#define API
#endif

namespace {
int device = 0;
ULONG lastBaud = 0;
}

extern "C" {

FT_STATUS API FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) {
#ifdef FAKE_D2XX_NONE
    return 2;  // FT_DEVICE_NOT_FOUND, whatever is asked
#endif
    if (flags != 2 || std::strcmp(static_cast<const char*>(arg), "Ambercord Serial Link") != 0)
        return 2;
    *handle = &device;
    return 0;
}
FT_STATUS API FT_SetBaudRate(FT_HANDLE h, ULONG baud) {
    lastBaud = baud;
    return h == &device ? 0 : 1;
}
FT_STATUS API FT_SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) { return 0; }
FT_STATUS API FT_SetLatencyTimer(FT_HANDLE, UCHAR ms) { return ms == 2 ? 0 : 6; }
FT_STATUS API FT_SetUSBParameters(FT_HANDLE, ULONG, ULONG) { return 17; }
FT_STATUS API FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) { return 0; }
FT_STATUS API FT_SetChars(FT_HANDLE, UCHAR, UCHAR, UCHAR, UCHAR) { return 0; }
FT_STATUS API FT_SetTimeouts(FT_HANDLE, ULONG, ULONG) { return 0; }
FT_STATUS API FT_Purge(FT_HANDLE, ULONG mask) { return mask == 3 ? 0 : 6; }
FT_STATUS API FT_Write(FT_HANDLE, void*, DWORD count, DWORD* written) {
    *written = count;
    return 0;
}
// Answers every read with the last baud rate set, as far as the count allows.
FT_STATUS API FT_Read(FT_HANDLE, void* buffer, DWORD count, DWORD* delivered) {
    const char text[] = "125000";
    DWORD n = count < 6 ? count : 6;
    std::memcpy(buffer, text, n);
    *delivered = lastBaud == 125000 ? n : 0;
    return 0;
}
#ifndef FAKE_D2XX_PARTIAL
FT_STATUS API FT_Close(FT_HANDLE) { return 0; }
#endif
}
