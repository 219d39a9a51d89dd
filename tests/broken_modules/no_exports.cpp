// A loadable library that is not a module library: neither export is there.
#include "hostabi/host_interface.h"

extern "C" WLM_EXPORT int32_t HOST_CALL somethingElse(int32_t x) { return x + 1; }
