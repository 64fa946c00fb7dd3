// SPDX-License-Identifier: MIT
#include <windows.h>

#include <string>

#include "LibraryLoader.h"

namespace boardlink {

std::vector<std::string> D2xxLibraryNames() { return {"FTD2XX.DLL"}; }

// Only the program's own folder and system32, where FTDI's driver installs
// FTD2XX.DLL: never the current folder or PATH, so a DLL planted beside a
// document the user opened, or anywhere on PATH, is never loaded.
void* OpenSharedLibrary(const std::string& name) {
    const std::wstring wide(name.begin(), name.end());
    return reinterpret_cast<void*>(LoadLibraryExW(
        wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
}

void* SharedLibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseSharedLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace boardlink
