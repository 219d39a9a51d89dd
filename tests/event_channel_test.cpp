// The named event channel through its interface, in one process and across
// processes (the channel_peer helper), the same on every platform.
#include "channel/event_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/channel_test_support.h"

namespace {

namespace ch = wl::channel;
using wltest::channelObjectName;

const std::string stem = wltest::uniqueStem();

struct Closer {
    void operator()(ch::Channel *h) const { ch::close(h); }
};
using Handle = std::unique_ptr<ch::Channel, Closer>;

Handle createOrJoin(const std::string &name) { return Handle(ch::createOrJoin(name.c_str())); }
Handle openExisting(const std::string &name) { return Handle(ch::openExisting(name.c_str())); }

TEST(ChannelName, PrefixAndTheCutAt127) {
    struct Case {
        std::string user;
        std::string expected;
    } cases[] = {
        {"EVENT", "WL_FARCUE_IN_EVENT"},
        {"", "WL_FARCUE_IN_"},
        {"event", "WL_FARCUE_IN_event"},
        {" a/b%\xff ", "WL_FARCUE_IN_ a/b%\xff "},
        {std::string(114, 'a'), "WL_FARCUE_IN_" + std::string(114, 'a')},
        {std::string(114, 'a') + "b", "WL_FARCUE_IN_" + std::string(114, 'a')},
        {std::string(200, 'c'), "WL_FARCUE_IN_" + std::string(114, 'c')},
    };
    for (const Case &c : cases)
        EXPECT_EQ(channelObjectName(c.user), c.expected) << c.user;

    char out[ch::kNameCapacity];
    ch::makeChannelName(nullptr, out);
    EXPECT_STREQ(out, "WL_FARCUE_IN_");
}

TEST(Channel, NullHandleDoesNothing) {
    EXPECT_FALSE(ch::set(nullptr));
    EXPECT_FALSE(ch::reset(nullptr));
    EXPECT_FALSE(ch::test(nullptr));
    ch::close(nullptr);
}

TEST(Channel, ManualResetLifecycleInOneProcess) {
    const std::string name = channelObjectName(stem + "life");
    EXPECT_EQ(openExisting(name), nullptr) << "nothing has created it yet";

    Handle created = createOrJoin(name);
    ASSERT_NE(created, nullptr);
    EXPECT_FALSE(ch::test(created.get())) << "created not set";

    Handle opened = openExisting(name);
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(ch::set(opened.get()));
    EXPECT_TRUE(ch::test(created.get()));
    EXPECT_TRUE(ch::test(created.get())) << "manual reset: a test does not clear it";
    EXPECT_FALSE(ch::test(opened.get())) << "the open-existing handle may not wait";

    Handle joined = createOrJoin(name);
    ASSERT_NE(joined, nullptr);
    EXPECT_TRUE(ch::test(joined.get())) << "joining keeps the state";
    EXPECT_TRUE(ch::reset(opened.get()));
    EXPECT_FALSE(ch::test(joined.get()));
    EXPECT_TRUE(ch::set(joined.get()));
    EXPECT_TRUE(ch::test(created.get()));

    created.reset();
    opened.reset();
    EXPECT_NE(openExisting(name), nullptr) << "one handle left keeps it alive";
    joined.reset();
    EXPECT_EQ(openExisting(name), nullptr) << "gone with its last handle";
    Handle again = createOrJoin(name);
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(ch::test(again.get())) << "a new channel, not the old state";
}

// Names that a file-system mapping could confuse; every one is its own
// channel. The long ones fill the 114 characters of a user name exactly.
TEST(Channel, EveryNameIsItsOwnChannel) {
    const size_t fill = 114 - stem.size();
    const std::vector<std::string> users = {
        "", "event", "EVENT", "a/b", "a%sb", "a%%b", "a%b", "a%", "%", "/", "//", "%s", "%%",
        " ", "a b", "a b ", "\xff\x80", "\x01", "\xc3\xa9", ".", "..",
        std::string(fill, '/'), std::string(fill, '%'), std::string(fill - 1, '/') + "s",
    };
    std::vector<Handle> handles;
    for (const std::string &user : users) {
        handles.push_back(createOrJoin(channelObjectName(stem + user)));
        ASSERT_NE(handles.back(), nullptr) << wltest::hexName(user);
        EXPECT_FALSE(ch::test(handles.back().get())) << wltest::hexName(user);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        ch::set(handles[i].get());
        for (size_t j = 0; j < handles.size(); ++j)
            EXPECT_EQ(ch::test(handles[j].get()), i == j)
                << wltest::hexName(users[i]) << " set, " << wltest::hexName(users[j]) << " read";
        ch::reset(handles[i].get());
    }
}

// One peer serves the whole suite: a process start is costly under wine.
class ChannelAcrossProcesses : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { peer = new wltest::Peer(); }
    static void TearDownTestSuite() {
        peer->quit();
        delete peer;
        peer = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(peer->started()); }
    static wltest::Peer *peer;
};
wltest::Peer *ChannelAcrossProcesses::peer = nullptr;

TEST_F(ChannelAcrossProcesses, OpenFailsUntilSomeoneCreates) {
    const std::string name = channelObjectName(stem + "absent");
    EXPECT_EQ(peer->open(0, name), "null");
    Handle created = createOrJoin(name);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(peer->open(0, name), "ok") << "the creator's only handle is enough";
    EXPECT_EQ(peer->op("close", 0), "ok");
}

TEST_F(ChannelAcrossProcesses, TheToolsHandleSetsAndResetsWhatTheCreatorSees) {
    const std::string name = channelObjectName(stem + "tool");
    ASSERT_EQ(peer->create(0, name), "ok 0");
    Handle opened = openExisting(name);
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(ch::set(opened.get()));
    EXPECT_EQ(peer->op("test", 0), "1");
    EXPECT_TRUE(ch::reset(opened.get()));
    EXPECT_EQ(peer->op("test", 0), "0");
    EXPECT_EQ(peer->op("close", 0), "ok");
}

TEST_F(ChannelAcrossProcesses, JoinersShareOneState) {
    const std::string name = channelObjectName(stem + "join");
    ASSERT_EQ(peer->create(0, name), "ok 0");
    ASSERT_EQ(peer->op("set", 0), "ok");
    Handle joined = createOrJoin(name);
    ASSERT_NE(joined, nullptr);
    EXPECT_TRUE(ch::test(joined.get())) << "joining keeps the state";
    EXPECT_TRUE(ch::reset(joined.get()));
    EXPECT_EQ(peer->op("test", 0), "0") << "a reset is seen by both";
    EXPECT_EQ(peer->op("set", 0), "ok");
    EXPECT_TRUE(ch::test(joined.get()));

    // The event lives on in whichever process still holds it.
    EXPECT_EQ(peer->op("close", 0), "ok");
    EXPECT_EQ(peer->create(0, name), "ok 1");
    joined.reset();
    EXPECT_EQ(peer->op("test", 0), "1");
    EXPECT_EQ(peer->op("close", 0), "ok");
    EXPECT_EQ(openExisting(name), nullptr);
}

} // namespace
