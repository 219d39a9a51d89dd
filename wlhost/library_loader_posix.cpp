#include "wlhost/library_loader.h"

#include <dlfcn.h>

namespace wlhost {

void *loadLibrary(const std::string &path, std::string &error) {
    // A path without a slash would make dlopen search the library path.
    std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    void *library = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *reason = dlerror();
        error = reason != nullptr ? reason : "cannot be loaded";
    }
    return library;
}

void *findSymbol(void *library, const char *name) { return dlsym(library, name); }

void unloadLibrary(void *library) {
    if (library != nullptr)
        dlclose(library);
}

} // namespace wlhost
