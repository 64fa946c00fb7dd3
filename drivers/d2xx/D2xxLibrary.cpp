// SPDX-License-Identifier: MIT
#include "D2xxLibrary.h"

#include "LibraryLoader.h"

namespace boardlink {

std::vector<std::string> D2xxLibrary::DefaultCandidates() { return D2xxLibraryNames(); }

D2xxLibrary::D2xxLibrary(const std::vector<std::string>& candidates) {
    for (const auto& path : candidates)
        if (TryLoad(path)) return;
}

D2xxLibrary::~D2xxLibrary() {
    if (handle_ != nullptr) CloseSharedLibrary(handle_);
}

namespace {
template <typename Fn>
bool Resolve(void* library, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(SharedLibrarySymbol(library, name));
    return slot != nullptr;
}
}  // namespace

bool D2xxLibrary::TryLoad(const std::string& path) {
    void* library = OpenSharedLibrary(path);
    if (library == nullptr) return false;
    Api api{};
    const bool complete =
        Resolve(library, "FT_OpenEx", api.OpenEx) &&
        Resolve(library, "FT_SetBaudRate", api.SetBaudRate) &&
        Resolve(library, "FT_SetFlowControl", api.SetFlowControl) &&
        Resolve(library, "FT_SetLatencyTimer", api.SetLatencyTimer) &&
        Resolve(library, "FT_SetUSBParameters", api.SetUSBParameters) &&
        Resolve(library, "FT_SetDataCharacteristics", api.SetDataCharacteristics) &&
        Resolve(library, "FT_SetChars", api.SetChars) &&
        Resolve(library, "FT_SetTimeouts", api.SetTimeouts) &&
        Resolve(library, "FT_Purge", api.Purge) &&
        Resolve(library, "FT_Write", api.Write) &&
        Resolve(library, "FT_Read", api.Read) &&
        Resolve(library, "FT_Close", api.Close);
    if (!complete) {
        CloseSharedLibrary(library);
        return false;
    }
    handle_ = library;
    api_ = api;
    return true;
}

FT_STATUS D2xxLibrary::OpenEx(const char* description, DWORD flags, FT_HANDLE* handle) {
    if (!Loaded()) return FT_DEVICE_NOT_FOUND;
    // The vendor's prototype takes a non-const pointer but only reads the string.
    return api_.OpenEx(const_cast<char*>(description), flags, handle);
}

#define D2XX_FORWARD(call) return Loaded() ? (call) : FT_INVALID_HANDLE

FT_STATUS D2xxLibrary::SetBaudRate(FT_HANDLE h, ULONG baud) {
    D2XX_FORWARD(api_.SetBaudRate(h, baud));
}
FT_STATUS D2xxLibrary::SetFlowControl(FT_HANDLE h, USHORT mode, UCHAR xon, UCHAR xoff) {
    D2XX_FORWARD(api_.SetFlowControl(h, mode, xon, xoff));
}
FT_STATUS D2xxLibrary::SetLatencyTimer(FT_HANDLE h, UCHAR ms) {
    D2XX_FORWARD(api_.SetLatencyTimer(h, ms));
}
FT_STATUS D2xxLibrary::SetUSBParameters(FT_HANDLE h, ULONG in, ULONG out) {
    D2XX_FORWARD(api_.SetUSBParameters(h, in, out));
}
FT_STATUS D2xxLibrary::SetDataCharacteristics(FT_HANDLE h, UCHAR word, UCHAR stop, UCHAR parity) {
    D2XX_FORWARD(api_.SetDataCharacteristics(h, word, stop, parity));
}
FT_STATUS D2xxLibrary::SetChars(FT_HANDLE h, UCHAR ev, UCHAR evOn, UCHAR err, UCHAR errOn) {
    D2XX_FORWARD(api_.SetChars(h, ev, evOn, err, errOn));
}
FT_STATUS D2xxLibrary::SetTimeouts(FT_HANDLE h, ULONG readMs, ULONG writeMs) {
    D2XX_FORWARD(api_.SetTimeouts(h, readMs, writeMs));
}
FT_STATUS D2xxLibrary::Purge(FT_HANDLE h, ULONG mask) { D2XX_FORWARD(api_.Purge(h, mask)); }
FT_STATUS D2xxLibrary::Write(FT_HANDLE h, const void* buffer, DWORD count, DWORD* written) {
    // The vendor's prototype takes a non-const pointer but only reads the bytes.
    D2XX_FORWARD(api_.Write(h, const_cast<void*>(buffer), count, written));
}
FT_STATUS D2xxLibrary::Read(FT_HANDLE h, void* buffer, DWORD count, DWORD* delivered) {
    D2XX_FORWARD(api_.Read(h, buffer, count, delivered));
}
FT_STATUS D2xxLibrary::Close(FT_HANDLE h) { D2XX_FORWARD(api_.Close(h)); }

#undef D2XX_FORWARD

}  // namespace boardlink
