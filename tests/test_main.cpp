#include <gtest/gtest.h>

namespace wltest {
extern int platformSetupDone; // pulls in the platform's test set-up
}

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return wltest::platformSetupDone != 0 ? RUN_ALL_TESTS() : 1;
}
