#include "channel/event_channel.h"

#include <cstring>

namespace wl::channel {

void makeChannelName(const char *userName, char (&out)[kNameCapacity]) {
    constexpr size_t prefixLength = sizeof kNamePrefix - 1;
    std::memcpy(out, kNamePrefix, prefixLength);
    size_t n = prefixLength;
    if (userName != nullptr) {
        for (const char *p = userName; *p != '\0' && n < kNameCapacity - 1; ++p)
            out[n++] = *p;
    }
    out[n] = '\0';
}

} // namespace wl::channel
