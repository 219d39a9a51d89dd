// The named event channel that the module and the tool share: a named,
// manual-reset event. Both deliverables compile this interface; one
// implementation per platform sits behind it.
#pragma once

#include <cstddef>

namespace wl::channel {

// Prefix of every kernel object name, and the buffer that holds a name.
inline constexpr char kNamePrefix[] = "WL_FARCUE_IN_";
inline constexpr size_t kNameCapacity = 128; // at most 127 characters and the NUL

// out = prefix + userName, cut to 127 characters. A null userName counts as empty.
void makeChannelName(const char *userName, char (&out)[kNameCapacity]);

// Opaque; null means "no channel" and every operation accepts it.
struct Channel;
using ChannelHandle = Channel *;

// Module side: joins the event of that name, or creates it not set. Joining
// keeps its state. Null on failure.
ChannelHandle createOrJoin(const char *objectName);
// Tool side: the existing event with the right to set and reset only; never
// creates. Null when absent or refused.
ChannelHandle openExisting(const char *objectName);

// True when the call succeeded.
bool set(ChannelHandle handle);
bool reset(ChannelHandle handle);
// Never blocks. True only when the event is set; a null handle or a failure
// reads as not set.
bool test(ChannelHandle handle);
// Releases the handle; the event disappears once its last handle is closed.
void close(ChannelHandle handle);

} // namespace wl::channel
