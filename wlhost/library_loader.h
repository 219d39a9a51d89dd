// The OS loader, behind the one small interface the stand-in host needs.
#pragma once

#include <string>

namespace wlhost {

// Null on failure, with the loader's reason in `error`.
void *loadLibrary(const std::string &path, std::string &error);
void *findSymbol(void *library, const char *name);
void unloadLibrary(void *library);

} // namespace wlhost
