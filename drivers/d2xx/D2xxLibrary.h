// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "FtdiDriver.h"

namespace boardlink {

// The vendor's calling convention: __stdcall on Windows (which x86-64 folds
// into its one convention), the C default elsewhere.
#ifdef _WIN32
#define D2XX_API __stdcall
#else
#define D2XX_API
#endif

/*
 * FTDI's D2XX library, loaded at run time: libftd2xx.so through the dynamic
 * loader's search path, then /usr/local/lib, on Linux; FTD2XX.DLL from the
 * program's folder or system32 only, on Windows (LibraryLoader*.cpp). Either
 * every one of the twelve functions resolves or the library counts as absent,
 * and then every call reports a status instead of crashing: OpenEx
 * FT_DEVICE_NOT_FOUND, the rest FT_INVALID_HANDLE.
 */
class D2xxLibrary final : public FtdiDriver {
public:
    // Loads the first of `candidates` (names or paths) that opens and resolves.
    explicit D2xxLibrary(const std::vector<std::string>& candidates = DefaultCandidates());
    ~D2xxLibrary() override;
    D2xxLibrary(const D2xxLibrary&) = delete;
    D2xxLibrary& operator=(const D2xxLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }

    static std::vector<std::string> DefaultCandidates();

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
    // The vendor's C prototypes, at its types' published widths.
    struct Api {
        FT_STATUS(D2XX_API* OpenEx)(void*, DWORD, FT_HANDLE*);
        FT_STATUS(D2XX_API* SetBaudRate)(FT_HANDLE, ULONG);
        FT_STATUS(D2XX_API* SetFlowControl)(FT_HANDLE, USHORT, UCHAR, UCHAR);
        FT_STATUS(D2XX_API* SetLatencyTimer)(FT_HANDLE, UCHAR);
        FT_STATUS(D2XX_API* SetUSBParameters)(FT_HANDLE, ULONG, ULONG);
        FT_STATUS(D2XX_API* SetDataCharacteristics)(FT_HANDLE, UCHAR, UCHAR, UCHAR);
        FT_STATUS(D2XX_API* SetChars)(FT_HANDLE, UCHAR, UCHAR, UCHAR, UCHAR);
        FT_STATUS(D2XX_API* SetTimeouts)(FT_HANDLE, ULONG, ULONG);
        FT_STATUS(D2XX_API* Purge)(FT_HANDLE, ULONG);
        FT_STATUS(D2XX_API* Write)(FT_HANDLE, void*, DWORD, DWORD*);
        FT_STATUS(D2XX_API* Read)(FT_HANDLE, void*, DWORD, DWORD*);
        FT_STATUS(D2XX_API* Close)(FT_HANDLE);
    };

    bool TryLoad(const std::string& path);

    void* handle_ = nullptr;
    Api api_{};
};

}  // namespace boardlink
