// The tool's wait on POSIX systems: a signal that cuts the sleep short must
// not shorten the wait.
#include "farcuesend/wait.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/time.h>

#include "tests/support/child_process.h"

namespace {

volatile sig_atomic_t interruptions = 0;
void countInterruption(int) { interruptions = interruptions + 1; }

TEST(FarcuesendWaitPosix, ResumesAfterSignalsUntilTheWholeTimePassed) {
    // No SA_RESTART: every tick makes the sleep return EINTR.
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = countInterruption;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    const itimerval every20ms{{0, 20000}, {0, 20000}};
    const itimerval off{};
    interruptions = 0;
    ASSERT_EQ(setitimer(ITIMER_REAL, &every20ms, nullptr), 0);
    const double start = wltest::monotonicMs();
    wl::send::waitMs(300);
    const double tookMs = wltest::monotonicMs() - start;
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GT(interruptions, 0);
    EXPECT_GE(tookMs, 300.0);
}

} // namespace
