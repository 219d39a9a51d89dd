#include "wlhost/library_loader.h"

#include <windows.h>

namespace wlhost {

void *loadLibrary(const std::string &path, std::string &error) {
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr)
        error = "LoadLibrary failed with error " + std::to_string(GetLastError());
    return reinterpret_cast<void *>(library);
}

void *findSymbol(void *library, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unloadLibrary(void *library) {
    if (library != nullptr)
        FreeLibrary(static_cast<HMODULE>(library));
}

} // namespace wlhost
