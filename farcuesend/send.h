// farcuesend's logic, apart from the program's start-up: tests drive it with
// a recording stand-in for the channel, the wait and standard output.
#pragma once

#include <cstdint>

#include "channel/event_channel.h"

namespace wl::send {

// What the program returns, so a script can tell whether anything happened.
enum ExitStatus : int {
    kDone = 0,         // the channel was opened and every action carried out
    kNoChannel = 1,    // the channel could not be opened; no action ran
    kUsage = 2,        // too few arguments; the usage text was printed
    kActionFailed = 3, // a set or reset call failed; the later actions still ran
};

// The C text-to-int reading: the C white space " \t\n\v\f\r" skipped, one
// optional sign directly before the digits, digits up to the first other
// character, none means 0. Out-of-range values stop at the signed 32-bit
// limits instead of overflowing.
int32_t parseInt(const char *text);

// How long a wait action (its letter first) lasts in milliseconds: the number
// right after the letter, 0 when negative.
int32_t delayMs(const char *action);

// Everything the tool does to the world.
class System {
  public:
    virtual ~System() = default;
    virtual channel::ChannelHandle openExisting(const char *objectName) = 0;
    virtual bool set(channel::ChannelHandle handle) = 0;
    virtual bool reset(channel::ChannelHandle handle) = 0;
    virtual void close(channel::ChannelHandle handle) = 0;
    virtual void wait(int32_t ms) = 0;
    // Text for standard output; "\n" is the platform's line break there.
    virtual void write(const char *text) = 0;
};

// argv[0] is the program, argv[1] the event name, the rest actions.
ExitStatus run(int argc, const char *const argv[], System &system);

} // namespace wl::send
