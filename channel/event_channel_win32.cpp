// The channel over kernel32 events.
#include "channel/event_channel.h"

#include <windows.h>

namespace wl::channel {
namespace {
HANDLE native(ChannelHandle handle) { return reinterpret_cast<HANDLE>(handle); }
ChannelHandle wrap(HANDLE handle) { return reinterpret_cast<ChannelHandle>(handle); }
constexpr DWORD kModifyState = 0x0002; // EVENT_MODIFY_STATE: set and reset, no wait
} // namespace

ChannelHandle createOrJoin(const char *objectName) {
    return wrap(CreateEventA(nullptr, TRUE, FALSE, objectName));
}

ChannelHandle openExisting(const char *objectName) {
    return wrap(OpenEventA(kModifyState, FALSE, objectName));
}

bool set(ChannelHandle handle) { return handle != nullptr && SetEvent(native(handle)) != 0; }
bool reset(ChannelHandle handle) { return handle != nullptr && ResetEvent(native(handle)) != 0; }

bool test(ChannelHandle handle) {
    return handle != nullptr && WaitForSingleObject(native(handle), 0) == WAIT_OBJECT_0;
}

void close(ChannelHandle handle) {
    if (handle != nullptr)
        CloseHandle(native(handle));
}

} // namespace wl::channel
