// SPDX-License-Identifier: MIT
#include <dlfcn.h>

#include "LibraryLoader.h"

namespace boardlink {

std::vector<std::string> D2xxLibraryNames() {
    // The dynamic loader's search path (LD_LIBRARY_PATH, the system folders),
    // then the vendor's install place: its installer often skips ldconfig.
    return {"libftd2xx.so", "/usr/local/lib/libftd2xx.so"};
}

void* OpenSharedLibrary(const std::string& name) { return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* SharedLibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void CloseSharedLibrary(void* library) { dlclose(library); }

}  // namespace boardlink
