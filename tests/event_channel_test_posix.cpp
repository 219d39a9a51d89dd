// What only the POSIX channel has: files in the shared-memory directory,
// holders killed with SIGKILL, other users, and a stress run.
#include "channel/event_channel.h"
#include "channel/event_channel_posix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/channel_test_support.h"

namespace {

namespace ch = wl::channel;
namespace px = wl::channel::posix;
using wltest::channelObjectName;

const std::string stem = wltest::uniqueStem();

struct Closer {
    void operator()(ch::Channel *h) const { ch::close(h); }
};
using Handle = std::unique_ptr<ch::Channel, Closer>;

Handle createOrJoin(const std::string &name) { return Handle(ch::createOrJoin(name.c_str())); }
Handle openExisting(const std::string &name) { return Handle(ch::openExisting(name.c_str())); }

std::string fileName(const std::string &objectName, unsigned uid = geteuid()) {
    char out[px::kFileNameCapacity];
    return px::fileName(objectName.c_str(), uid, out) ? std::string(out) : std::string("<none>");
}

std::string pathOf(const std::string &objectName, unsigned uid = geteuid()) {
    return std::string(px::kDirectory) + "/" + fileName(objectName, uid);
}

bool exists(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Directory entries whose names start with `prefix`.
std::vector<std::string> entriesStartingWith(const std::string &prefix) {
    std::vector<std::string> found;
    if (DIR *dir = opendir(px::kDirectory)) {
        while (dirent *entry = readdir(dir)) {
            if (std::string(entry->d_name).compare(0, prefix.size(), prefix) == 0)
                found.push_back(entry->d_name);
        }
        closedir(dir);
    }
    return found;
}

TEST(ChannelFileName, EscapesOnlySlashAndPercentAndFitsAFileName) {
    EXPECT_EQ(fileName("WL_FARCUE_IN_EVENT", 1000), "farcue.1000.EVENT");
    EXPECT_EQ(fileName("WL_FARCUE_IN_", 0), "farcue.0.");
    EXPECT_EQ(fileName("WL_FARCUE_IN_a/b%c d\\", 7), "farcue.7.a%sb%%c d\\");
    EXPECT_EQ(fileName("OTHER/x", 7), "farcue.7-OTHER%sx");

    // The worst names makeChannelName can give still fit, for the largest uid.
    for (char c : {'/', '%', 'a'}) {
        const std::string worst = fileName(channelObjectName(std::string(200, c)), 4294967295u);
        EXPECT_LE(worst.size(), 255u) << c;
        EXPECT_NE(worst, "<none>");
    }
    char out[px::kFileNameCapacity];
    EXPECT_FALSE(px::fileName(std::string(300, 'z').c_str(), 0, out));
    EXPECT_FALSE(px::fileName(nullptr, 0, out));

    // One-to-one over names built to collide under a careless escape.
    const std::vector<std::string> parts = {"", "/", "%", "s", "%s", "%%", "-", ".", "\xff"};
    std::set<std::string> names, files;
    for (const std::string &a : parts)
        for (const std::string &b : parts)
            for (const std::string &c : parts) {
                const std::string user = a + b + c;
                if (names.insert(channelObjectName(user)).second) {
                    EXPECT_TRUE(files.insert(fileName(channelObjectName(user), 5)).second)
                        << wltest::hexName(user);
                }
                if (names.insert(user).second) { // a name without the prefix
                    EXPECT_TRUE(files.insert(fileName(user, 5)).second) << wltest::hexName(user);
                }
            }
    EXPECT_NE(fileName("WL_FARCUE_IN_x", 5), fileName("WL_FARCUE_IN_x", 55));
}

TEST(ChannelFiles, PrivateFileGoneWithTheLastClose) {
    const std::string name = channelObjectName(stem + "file");
    const std::string path = pathOf(name);
    Handle first = createOrJoin(name);
    ASSERT_NE(first, nullptr);
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_uid, geteuid());

    Handle second = createOrJoin(name);
    first.reset();
    EXPECT_TRUE(exists(path)) << "one handle is still open";
    second.reset();
    EXPECT_FALSE(exists(path)) << "a graceful last close leaves nothing behind";
}

// What lies under a channel's name but is not one of ours is neither joined
// nor removed.
TEST(ChannelFiles, ForeignObjectsUnderTheNameAreNotJoined) {
    const std::string target = channelObjectName(stem + "target");
    Handle live = createOrJoin(target);
    ASSERT_NE(live, nullptr);
    ch::set(live.get());

    struct Case {
        const char *what;
        int (*plant)(const std::string &path, const std::string &targetPath);
    } cases[] = {
        {"readable by others",
         [](const std::string &p, const std::string &) {
             int fd = open(p.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
             int r = fd < 0 ? -1 : fchmod(fd, 0644);
             close(fd);
             return r;
         }},
        {"a directory", [](const std::string &p, const std::string &) { return mkdir(p.c_str(), 0700); }},
        {"a fifo", [](const std::string &p, const std::string &) { return mkfifo(p.c_str(), 0600); }},
        {"a symlink to a live channel",
         [](const std::string &p, const std::string &t) { return symlink(t.c_str(), p.c_str()); }},
    };
    int n = 0;
    for (const Case &c : cases) {
        const std::string name = channelObjectName(stem + "foreign" + std::to_string(n++));
        const std::string path = pathOf(name);
        ASSERT_EQ(c.plant(path, pathOf(target)), 0) << c.what;
        EXPECT_EQ(openExisting(name), nullptr) << c.what;
        EXPECT_EQ(createOrJoin(name), nullptr) << c.what;
        EXPECT_TRUE(exists(path)) << c.what << " was removed";
        if (unlink(path.c_str()) != 0)
            rmdir(path.c_str());
    }
}

TEST(ChannelFiles, KilledHolders) {
    struct Case {
        int holders;
        bool survives;
    } cases[] = {{1, false}, {2, true}};
    for (const Case &c : cases) {
        const std::string name = channelObjectName(stem + "kill" + std::to_string(c.holders));
        std::vector<std::unique_ptr<wltest::Peer>> peers;
        for (int i = 0; i < c.holders; ++i) {
            peers.push_back(std::make_unique<wltest::Peer>());
            ASSERT_EQ(peers.back()->create(0, name), i == 0 ? "ok 0" : "ok 1");
            ASSERT_EQ(peers.back()->op("set", 0), "ok");
        }
        peers.front()->process().kill();
        EXPECT_TRUE(exists(pathOf(name))) << "a SIGKILL leaves a remnant behind";
        Handle opened = openExisting(name);
        EXPECT_EQ(opened != nullptr, c.survives) << c.holders;
        EXPECT_EQ(exists(pathOf(name)), c.survives) << "the open clears a remnant";
        Handle created = createOrJoin(name);
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(ch::test(created.get()), c.survives) << c.holders;
        for (auto &peer : peers)
            peer->quit();
        opened.reset();
        created.reset();
        EXPECT_FALSE(exists(pathOf(name)));
    }
}

// As root: a process of another user can neither use the channel nor get it
// joined to an object it planted.
TEST(ChannelUsers, OtherUsersAreLockedOut) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    constexpr uid_t kOther = 65534;
    const std::string name = channelObjectName(stem + "mine");
    const std::string planted = channelObjectName(stem + "planted");
    Handle mine = createOrJoin(name);
    ASSERT_NE(mine, nullptr);
    const std::string myPath = pathOf(name), plantedPath = pathOf(planted);

    // Each check the other user's process makes sets one bit when it fails.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int faults = 0;
        if (setgroups(0, nullptr) != 0 || setgid(kOther) != 0 || setuid(kOther) != 0)
            _exit(255);
        if (ch::openExisting(name.c_str()) != nullptr)
            faults |= 1;
        if (open(myPath.c_str(), O_RDONLY) >= 0 || open(myPath.c_str(), O_RDWR) >= 0)
            faults |= 2;
        if (unlink(myPath.c_str()) == 0 || rename(myPath.c_str(), (myPath + "x").c_str()) == 0)
            faults |= 4;
        // Its own channel of that name is another object.
        ch::ChannelHandle its = ch::createOrJoin(name.c_str());
        if (its == nullptr || ch::test(its))
            faults |= 8;
        ch::set(its);
        ch::close(its);
        // A file under our name for `planted`, as complete as a real one and set.
        int fd = open(plantedPath.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        const uint32_t words[4] = {0x574C4556, 1, 1, 0};
        if (fd < 0 || write(fd, words, sizeof words) != static_cast<ssize_t>(sizeof words))
            faults |= 16;
        _exit(faults);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "fault bits";

    EXPECT_FALSE(ch::test(mine.get())) << "the other user's set reached us";
    EXPECT_EQ(openExisting(planted), nullptr);
    EXPECT_EQ(createOrJoin(planted), nullptr) << "joined another user's object";
    EXPECT_TRUE(exists(plantedPath)) << "removed another user's object";
    unlink(plantedPath.c_str());
    unlink(pathOf(name, kOther).c_str());
}

// Workers create, join, open, set and close while the test kills some of them
// at random (channel_peer's stress command checks the invariants). Bounded by
// a time and a kill count.
TEST(ChannelStress, KillsDuringConcurrentUse) {
    constexpr int kWorkers = 4;
    constexpr double kRunMs = 3000;
    constexpr int kMaxKills = 25;
    const std::string runStem = stem + "stress";
    Handle p = createOrJoin(channelObjectName(runStem + "P"));
    Handle q = createOrJoin(channelObjectName(runStem + "Q"));
    ASSERT_NE(p, nullptr);
    ASSERT_NE(q, nullptr);
    ch::set(p.get());

    std::mt19937 random(12345);
    unsigned nextCase = 1;
    const double start = wltest::monotonicMs();
    std::vector<std::unique_ptr<wltest::Peer>> workers(kWorkers);
    std::string failures;
    auto collect = [&failures](wltest::Peer &w) {
        const std::string &out = w.process().output();
        for (size_t at = out.find("FAIL"); at != std::string::npos; at = out.find("FAIL", at + 1))
            failures += out.substr(at, out.find('\n', at) - at) + "\n";
    };
    auto launch = [&](int slot) {
        const double left = kRunMs - (wltest::monotonicMs() - start);
        workers[static_cast<size_t>(slot)] = std::make_unique<wltest::Peer>();
        wltest::Peer &w = *workers[static_cast<size_t>(slot)];
        ASSERT_TRUE(w.started());
        // The answer comes when the run is over; read it at the end.
        ASSERT_TRUE(w.process().writeLine("1 stress " + std::to_string(nextCase++) + " " +
                                          std::to_string(static_cast<int>(left > 0 ? left : 0)) +
                                          " " + wltest::hexName(runStem) + " " +
                                          std::to_string(slot)));
    };
    for (int i = 0; i < kWorkers; ++i)
        launch(i);
    int kills = 0;
    while (kills < kMaxKills && wltest::monotonicMs() - start < kRunMs - 300) {
        wltest::sleepMs(static_cast<int>(20 + random() % 150));
        const int slot = static_cast<int>(random() % kWorkers);
        workers[static_cast<size_t>(slot)]->process().kill();
        workers[static_cast<size_t>(slot)]->process().waitForOutput("<to the end>", 5);
        collect(*workers[static_cast<size_t>(slot)]);
        ++kills;
        launch(slot);
    }
    int finished = 0;
    for (auto &w : workers) {
        if (w->process().waitForOutput(" [1]", 120))
            ++finished;
        w->quit();
        collect(*w);
    }
    EXPECT_EQ(finished, kWorkers);
    EXPECT_EQ(failures, "");
    EXPECT_GT(kills, 0);

    // Everyone is gone: each name opens once more (clearing killed holders'
    // remnants), none is live, and nothing is left in the directory.
    workers.clear();
    p.reset();
    q.reset();
    std::vector<std::string> names = {"P", "Q", "E0", "E1", "E2"};
    for (int i = 0; i < kWorkers; ++i)
        names.push_back("W" + std::to_string(i));
    for (const std::string &n : names)
        EXPECT_EQ(openExisting(channelObjectName(runStem + n)), nullptr) << n;
    const std::vector<std::string> left = entriesStartingWith(fileName(channelObjectName(runStem)));
    EXPECT_TRUE(left.empty()) << left.size() << " files left, first " << left.front();
}

// A 32-bit and a 64-bit process share one channel: WL_CHANNEL_OTHER_PEER names
// a peer built for the other word size (see tests/channel_tests.cmake).
TEST(ChannelAcrossWordSizes, OtherBuildsPeerSharesTheState) {
    const char *other = std::getenv("WL_CHANNEL_OTHER_PEER");
    if (other == nullptr || !std::ifstream(other).good())
        GTEST_SKIP() << "no peer of the other word size (WL_CHANNEL_OTHER_PEER)";
    wltest::Peer peer(other);
    ASSERT_TRUE(peer.started());
    const std::string name = channelObjectName(stem + "wordsize");
    ASSERT_EQ(peer.create(0, name), "ok 0");
    Handle joined = createOrJoin(name);
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(peer.op("set", 0), "ok");
    EXPECT_TRUE(ch::test(joined.get()));
    EXPECT_TRUE(ch::reset(joined.get()));
    EXPECT_EQ(peer.op("test", 0), "0");
    EXPECT_TRUE(ch::set(joined.get()));
    EXPECT_EQ(peer.op("test", 0), "1");
    EXPECT_EQ(peer.op("close", 0), "ok");
    joined.reset();
    EXPECT_EQ(openExisting(name), nullptr);
    EXPECT_EQ(peer.quit(), 0);
}

} // namespace
