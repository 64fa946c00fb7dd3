// SPDX-License-Identifier: MIT
// Loading a shared library at run time: one implementation per platform.
#pragma once

#include <string>
#include <vector>

namespace boardlink {

// The library's handle, or nullptr when it does not load.
void* OpenSharedLibrary(const std::string& name);
void* SharedLibrarySymbol(void* library, const char* name);
void CloseSharedLibrary(void* library);
// Where FTDI's D2XX library is looked for, in order.
std::vector<std::string> D2xxLibraryNames();

}  // namespace boardlink
