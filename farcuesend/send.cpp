#include "farcuesend/send.h"

#include <cstdint>

namespace wl::send {
namespace {

const char *const kUsageTexts[] = {
    "\n\nUsage: farcuesend [evtname] [actions]\n\n",
    "evtname - The name given to the event input in Wavelathe\n",
    "actions - One or more of the following commands\n",
    "\ts - Set the event\n",
    "\tr - Reset the event\n",
    "\td[value] - Delay for [value] milliseconds, 0 to 300,000\n\n",
};
const char kNoChannelText[] = "Error - Invalid event name";

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int32_t parseInt(const char *text) {
    if (text == nullptr)
        return 0;
    const char *p = text;
    while (isCSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    // Accumulate the magnitude, stopping at one past INT32_MAX so that the
    // negative limit still fits and nothing overflows.
    constexpr int64_t kCap = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > kCap)
            magnitude = kCap;
    }
    if (negative)
        return static_cast<int32_t>(-magnitude);
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

int32_t delayMs(const char *action) {
    if (action == nullptr || *action == '\0')
        return 0;
    int32_t ms = parseInt(action + 1);
    return ms < 0 ? 0 : ms;
}

ExitStatus run(int argc, const char *const argv[], System &system) {
    if (argc < 3) {
        for (const char *text : kUsageTexts)
            system.write(text);
        return kUsage;
    }
    char objectName[channel::kNameCapacity];
    channel::makeChannelName(argv[1], objectName);
    channel::ChannelHandle handle = system.openExisting(objectName);
    if (handle == nullptr) {
        system.write(kNoChannelText);
        return kNoChannel;
    }
    ExitStatus status = kDone;
    for (int i = 2; i < argc; ++i) {
        const char *action = argv[i];
        switch (action[0]) {
        case 's':
        case 'S':
            if (!system.set(handle))
                status = kActionFailed;
            break;
        case 'r':
        case 'R':
            if (!system.reset(handle))
                status = kActionFailed;
            break;
        case 'd':
        case 'D':
            system.wait(delayMs(action));
            break;
        default:
            break; // not an action letter: skipped
        }
    }
    system.close(handle);
    return status;
}

} // namespace wl::send
