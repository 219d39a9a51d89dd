// The wait action, one file per platform behind it.
#pragma once

#include <cstdint>

namespace wl::send {

// Returns once `ms` milliseconds have passed, however often the wait is
// interrupted on the way. Zero or less returns at once.
void waitMs(int32_t ms);

} // namespace wl::send
