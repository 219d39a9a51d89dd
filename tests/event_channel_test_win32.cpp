// What only the Windows channel has: names that kernel32 refuses.
#include "channel/event_channel.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/channel_test_support.h"

namespace {

namespace ch = wl::channel;

const std::string stem = wltest::uniqueStem();

TEST(ChannelWindows, NameOwnedByAnotherKindOfObject) {
    const std::string name = wltest::channelObjectName(stem + "mutex");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(ch::createOrJoin(name.c_str()), nullptr);
    EXPECT_EQ(ch::openExisting(name.c_str()), nullptr);
    CloseHandle(mutex);
}

TEST(ChannelWindows, NameWithABackslash) {
    const std::string name = wltest::channelObjectName(stem + "a\\b");
    EXPECT_EQ(ch::createOrJoin(name.c_str()), nullptr);
    EXPECT_EQ(ch::openExisting(name.c_str()), nullptr);
}

} // namespace
