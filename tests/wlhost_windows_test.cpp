// wlhost built for Windows: it loads the Windows farcuein.wlm and reports
// the module type. One wine start, as each costs tens of seconds here.
#include <gtest/gtest.h>

#include "tests/support/child_process.h"

TEST(WlhostWindows, InfoShowsTheModuleType) {
    const std::string dir = wltest::selfDirectory();
    auto r =
        wltest::runProcess({dir + "\\" + WLHOST_NAME, "info", dir + "\\" + FARCUEIN_NAME}, 900);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    for (const char *expected : {"Name:        Farcue In", "Identifier:  QLMRT FarcueIn",
                                 "Flags:       0x816", "Event Name", "Pulsed=0,Continuous=1"})
        EXPECT_NE(r.output.find(expected), std::string::npos) << expected << "\n" << r.output;
}
