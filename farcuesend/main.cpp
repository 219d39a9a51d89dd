// farcuesend: sets, resets or waits on a Farcue In module's event channel.
#include <cstdio>

#include "channel/event_channel.h"
#include "farcuesend/send.h"
#include "farcuesend/wait.h"

namespace {

class RealSystem final : public wl::send::System {
  public:
    wl::channel::ChannelHandle openExisting(const char *objectName) override {
        return wl::channel::openExisting(objectName);
    }
    bool set(wl::channel::ChannelHandle handle) override { return wl::channel::set(handle); }
    bool reset(wl::channel::ChannelHandle handle) override { return wl::channel::reset(handle); }
    void close(wl::channel::ChannelHandle handle) override { wl::channel::close(handle); }
    void wait(int32_t ms) override { wl::send::waitMs(ms); }
    // Text mode: "\n" goes out as the platform's line break.
    void write(const char *text) override { std::fputs(text, stdout); }
};

} // namespace

int main(int argc, char **argv) {
    RealSystem system;
    int status = wl::send::run(argc, argv, system);
    // The error text ends without a line break; flush so it is written whole.
    std::fflush(stdout);
    return status;
}
