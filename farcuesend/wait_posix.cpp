#include "farcuesend/wait.h"

#include <cerrno>
#include <ctime>

namespace wl::send {

void waitMs(int32_t ms) {
    if (ms <= 0)
        return;
    // An absolute deadline: a signal that cuts the sleep short resumes it
    // for exactly the time still left.
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace wl::send
