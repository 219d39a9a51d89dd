#include "farcuesend/wait.h"

#include <windows.h>

namespace wl::send {

// Sleep is not cut short by anything the tool can receive; INT32_MAX stays
// below INFINITE, so every wait ends.
void waitMs(int32_t ms) {
    if (ms > 0)
        Sleep(static_cast<DWORD>(ms));
}

} // namespace wl::send
