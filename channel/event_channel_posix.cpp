// placeholder, replaced by the POSIX implementation
#include "channel/event_channel.h"
namespace wl::channel {
ChannelHandle createOrJoin(const char *) { return nullptr; }
ChannelHandle openExisting(const char *) { return nullptr; }
bool set(ChannelHandle) { return false; }
bool reset(ChannelHandle) { return false; }
bool test(ChannelHandle) { return false; }
void close(ChannelHandle) {}
}
