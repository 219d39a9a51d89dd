// The "Farcue In" module as the host sees it: the built farcuein.wlm, loaded
// through the OS loader and driven through its exports and records.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "channel/event_channel.h"
#include "wlhost/standin_host.h"

namespace {

enum Pin { kLow = 0, kHigh, kCheckDelay, kPulseWidth, kMode, kEventName, kOutput };

const wlhost::Exports &farcueIn() {
    static std::unique_ptr<wlhost::Library> library;
    if (!library) {
        wlhost::Library::Stage stage;
        std::string error;
        library = wlhost::Library::open(WL_FARCUEIN_PATH, stage, error);
        if (!library)
            ADD_FAILURE() << "cannot load " << WL_FARCUEIN_PATH << ": " << error;
    }
    static const wlhost::Exports none{};
    return library ? library->exports() : none;
}

// A user name no other test (or test run) uses.
std::string uniqueName(const char *what) {
    static std::mt19937 random{std::random_device{}()};
    return std::string("wltest_") + what + "_" + std::to_string(random());
}

// Holds a channel from the test's side, as the tool or another program would.
struct Channel {
    explicit Channel(const std::string &userName) {
        char name[wl::channel::kNameCapacity];
        wl::channel::makeChannelName(userName.c_str(), name);
        handle = wl::channel::createOrJoin(name);
    }
    ~Channel() { wl::channel::close(handle); }
    bool set() { return wl::channel::set(handle); }
    bool reset() { return wl::channel::reset(handle); }
    bool isSet() { return wl::channel::test(handle); }
    wl::channel::ChannelHandle handle;
};

bool channelExists(const std::string &userName) {
    char name[wl::channel::kNameCapacity];
    wl::channel::makeChannelName(userName.c_str(), name);
    wl::channel::ChannelHandle h = wl::channel::openExisting(name);
    wl::channel::close(h);
    return h != nullptr;
}

struct Settings {
    float rate = 100.0f;
    float low = 0.0f;
    float high = 5.0f;
    float checkDelay = 0.5f;
    float pulseWidth = 0.1f;
    uint16_t mode = 0;
    std::string eventName;
    int32_t hostPins = 7;
};

// One instance set up as the host does it: sample rate, pin variables,
// open, then a pin status event for the event name.
class Farcue {
  public:
    explicit Farcue(const Settings &s, int32_t block = 64) : host(farcueIn(), s.hostPins, block) {
        EXPECT_TRUE(host.create());
        host.setSampleRate(s.rate);
        host.bindPins();
        host.setStream(kLow, s.low);
        host.setStream(kHigh, s.high);
        host.setStream(kCheckDelay, s.checkDelay);
        host.setStream(kPulseWidth, s.pulseWidth);
        host.setList(kMode, s.mode);
        host.setText(kEventName, s.eventName.c_str());
        host.open();
        host.pinChanged(kEventName);
    }

    // Runs n samples; `before[k]` runs just before sample k.
    std::vector<float> run(int n, const std::map<int, std::function<void()>> &before = {}) {
        std::vector<float> out;
        const int32_t block = host.blockSize();
        int done = 0;
        while (done < n) {
            int32_t offset = done % block;
            int32_t count = std::min(n - done, block - offset);
            auto next = before.lower_bound(done);
            if (next != before.end() && next->first == done) {
                next->second();
                ++next;
            }
            if (next != before.end())
                count = std::min(count, next->first - done);
            host.process(offset, count);
            const auto &buffer = host.buffer(kOutput);
            out.insert(out.end(), buffer.begin() + offset, buffer.begin() + offset + count);
            done += count;
        }
        return out;
    }

    wlhost::Instance host;
};

// The samples at "High Value" (5), as index ranges [first, last].
std::vector<std::pair<int, int>> highRuns(const std::vector<float> &out, float high = 5.0f) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < static_cast<int>(out.size()); ++i) {
        if (out[static_cast<size_t>(i)] != high)
            continue;
        if (!runs.empty() && runs.back().second == i - 1)
            runs.back().second = i;
        else
            runs.push_back({i, i});
    }
    return runs;
}
using Runs = std::vector<std::pair<int, int>>;

TEST(FarcueInExports, ModuleProperties) {
    ModuleProperties props{};
    props.unused1 = 11;
    props.unused2 = 22;
    ASSERT_EQ(farcueIn().getModuleProperties(0, &props), 1);
    EXPECT_STREQ(props.name, "Farcue In");
    EXPECT_STREQ(props.id, "QLMRT FarcueIn");
    EXPECT_STREQ(props.about, "by Quillomar (MS)");
    EXPECT_EQ(props.flags, 0x816);
    EXPECT_EQ(props.unused1, 11);
    EXPECT_EQ(props.unused2, 22);

    ModuleProperties other{};
    const char *mine = "host's own";
    other.name = other.id = other.about = mine;
    EXPECT_EQ(farcueIn().getModuleProperties(1, &other), 0);
    EXPECT_EQ(other.flags, 0x816);
    EXPECT_EQ(other.name, mine);
    EXPECT_EQ(other.id, mine);
    EXPECT_EQ(other.about, mine);
}

TEST(FarcueInExports, MakeModuleOnlyForIndexZeroKindOne) {
    for (auto [index, kind] : {std::pair{0, 2}, {1, 1}, {-1, 1}, {0, 0}})
        EXPECT_EQ(farcueIn().makeModule(index, kind, nullptr, 0), nullptr) << index << "," << kind;
    wlhost::Instance host(farcueIn());
    ASSERT_TRUE(host.create());
    EXPECT_EQ(host.record()->magic, WL_INSTANCE_MAGIC);
    EXPECT_EQ(host.record()->hostValue, reinterpret_cast<intptr_t>(&host));
    host.process(0, 8); // before open: does nothing
}

TEST(FarcueInModule, DescribesItsSevenPins) {
    wlhost::Instance host(farcueIn());
    ASSERT_TRUE(host.create());
    struct Expected {
        const char *name;
        int32_t direction, datatype;
        const char *def, *extra;
    } expected[] = {
        {"Low Value", WL_DIR_INPUT, WL_TYPE_STREAM, "0.0", nullptr},
        {"High Value", WL_DIR_INPUT, WL_TYPE_STREAM, "5.0", nullptr},
        {"Check Delay", WL_DIR_INPUT, WL_TYPE_STREAM, "5.0", nullptr},
        {"Pulse Width", WL_DIR_INPUT, WL_TYPE_STREAM, "1.0", nullptr},
        {"Mode", WL_DIR_INPUT, WL_TYPE_LIST, "0", "Pulsed=0,Continuous=1"},
        {"Event Name", WL_DIR_INPUT, WL_TYPE_TEXT, "EVENT", nullptr},
        {"Output", WL_DIR_OUTPUT, WL_TYPE_STREAM, nullptr, nullptr},
    };
    for (int32_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        PinDescriptor d;
        ASSERT_TRUE(host.describePin(i, d));
        const Expected &e = expected[i];
        EXPECT_STREQ(d.name, e.name);
        EXPECT_EQ(d.direction, e.direction);
        EXPECT_EQ(d.datatype, e.datatype);
        EXPECT_NE(d.variable, nullptr);
        if (e.def != nullptr)
            EXPECT_STREQ(d.defaultValue, e.def);
        else
            EXPECT_EQ(d.defaultValue, nullptr);
        if (e.extra != nullptr)
            EXPECT_STREQ(d.extra, e.extra);
        else
            EXPECT_EQ(d.extra, nullptr);
        EXPECT_EQ(d.flags, 0);
    }
    for (int32_t index : {7, -1, 1000}) {
        PinDescriptor d;
        std::memset(&d, 0xAB, sizeof d);
        PinDescriptor before = d;
        EXPECT_EQ(host.dispatch(WL_REQ_DESCRIBE_PIN, index, 0, &d), 0);
        EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0) << index;
    }
}

TEST(FarcueInModule, OpenSelectsRoutineAndAnnouncesTheOutput) {
    Settings s;
    s.eventName = uniqueName("open");
    Farcue f(s);
    std::vector<int32_t> order;
    for (const auto &r : f.host.requests)
        order.push_back(r.request);
    EXPECT_EQ(order, (std::vector<int32_t>{WL_HOST_PIN_COUNT, WL_HOST_PROCESS_CHANGED,
                                           WL_HOST_SAMPLE_CLOCK, WL_HOST_PIN_STATUS}));
    const auto &announce = f.host.requests.back();
    EXPECT_EQ(announce.index, kOutput);
    EXPECT_EQ(announce.value, WL_STATUS_STREAM);
    EXPECT_EQ(announce.ptr, nullptr); // clock 0 at open
}

TEST(FarcueInModule, WorkedExampleAtRateOneHundred) {
    Settings s;
    s.eventName = uniqueName("worked");
    Farcue f(s);
    Channel ch(s.eventName);
    ASSERT_NE(ch.handle, nullptr);
    ASSERT_TRUE(ch.set());
    std::vector<float> out = f.run(60);
    EXPECT_EQ(highRuns(out), (Runs{{0, 9}}));
    EXPECT_EQ(out[10], 0.0f);
    EXPECT_FALSE(ch.isSet());

    // Tests fall on samples 0, 51, 102: a set shows at the next one.
    Farcue g(s);
    std::vector<float> later = g.run(160, {{1, [&] { ch.set(); }}, {60, [&] { ch.set(); }}});
    EXPECT_EQ(highRuns(later), (Runs{{51, 60}, {102, 111}}));
}

TEST(FarcueInModule, PulseLengthTable) {
    struct Case {
        float pulseWidth;
        Runs runs;
    } cases[] = {
        {0.0f, {}}, {0.01f, {}}, {0.7f, {{0, 68}}}, {0.1f, {{0, 9}}}, {-1.0f, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pulseWidth);
        Settings s;
        s.eventName = uniqueName("width");
        s.pulseWidth = c.pulseWidth;
        s.checkDelay = 2.0f;
        Farcue f(s);
        Channel ch(s.eventName);
        ch.set();
        EXPECT_EQ(highRuns(f.run(120)), c.runs);
        EXPECT_FALSE(ch.isSet()); // a found set is cleared even when no pulse follows
    }
}

TEST(FarcueInModule, ZeroOrNegativeCheckDelayTestsEverySample) {
    for (float delay : {0.0f, -3.0f}) {
        SCOPED_TRACE(delay);
        Settings s;
        s.eventName = uniqueName("delay");
        s.checkDelay = delay;
        s.mode = 1;
        Farcue f(s);
        Channel ch(s.eventName);
        auto out = f.run(40, {{7, [&] { ch.set(); }}, {20, [&] { ch.reset(); }}});
        EXPECT_EQ(highRuns(out), (Runs{{7, 19}}));
    }
}

TEST(FarcueInModule, ContinuousFollowsTheLatestTest) {
    for (uint16_t mode : {uint16_t{1}, uint16_t{2}}) {
        SCOPED_TRACE(mode);
        Settings s;
        s.eventName = uniqueName("continuous");
        s.mode = mode;
        Farcue f(s);
        Channel ch(s.eventName);
        // Set at 10: seen at the test on 51. Reset at 60: seen at 102.
        auto out = f.run(130, {{10, [&] { ch.set(); }}, {60, [&] { ch.reset(); }}});
        EXPECT_EQ(highRuns(out), (Runs{{51, 101}}));
        ch.set();
        f.run(60);
        EXPECT_TRUE(ch.isSet()); // Continuous mode never clears the event
    }
}

TEST(FarcueInModule, ModeChangeEndsPulseAndTestsAgain) {
    Settings s;
    s.eventName = uniqueName("mode");
    s.pulseWidth = 0.3f;
    Farcue f(s);
    Channel ch(s.eventName);
    ch.set();
    auto out = f.run(40, {{5,
                           [&] {
                               ch.set(); // pending: the mode change clears it
                               f.host.pinChanged(kMode);
                           }},
                          {20,
                           [&] {
                               f.host.pinChanged(kMode);
                               ch.set(); // the next sample tests at once
                           }}});
    EXPECT_EQ(highRuns(out), (Runs{{0, 4}, {20, 39}}));
}

TEST(FarcueInModule, TwoInstancesOnOneNameOnlyTheFirstTesterPulses) {
    Settings s;
    s.eventName = uniqueName("shared");
    Farcue first(s), second(s);
    Channel ch(s.eventName);
    ch.set();
    EXPECT_EQ(highRuns(first.run(20)), (Runs{{0, 9}}));
    EXPECT_TRUE(highRuns(second.run(20)).empty());
}

TEST(FarcueInModule, EventNameChangeDuringAPulse) {
    Settings s;
    s.eventName = uniqueName("before");
    s.pulseWidth = 0.3f;
    s.checkDelay = 0.1f; // tests on 0, 11, 22, ...
    Farcue f(s);
    Channel oldChannel(s.eventName);
    std::string renamed = uniqueName("after");
    Channel newChannel(renamed);
    oldChannel.set();
    auto out = f.run(60, {{3,
                           [&] {
                               f.host.setText(kEventName, renamed.c_str());
                               f.host.pinChanged(kEventName);
                               oldChannel.set(); // no longer watched
                           }},
                          {40, [&] { newChannel.set(); }}});
    // The running pulse goes on; the set on the new name shows at the test on 44.
    EXPECT_EQ(highRuns(out), (Runs{{0, 29}, {44, 59}}));
    EXPECT_TRUE(oldChannel.isSet());
}

TEST(FarcueInModule, SameNameAgainKeepsAPendingSet) {
    Settings s;
    s.eventName = uniqueName("again");
    Farcue f(s);
    {
        Channel ch(s.eventName);
        f.run(5);
        ch.set();
    } // the module now holds the only handle
    f.host.pinChanged(kEventName); // hosts repeat the name on patch load
    EXPECT_EQ(highRuns(f.run(60)), (Runs{{46, 55}})); // the test on sample 51 overall
}

TEST(FarcueInModule, RenameReleasesTheOldEvent) {
    Settings s;
    s.eventName = uniqueName("released");
    Farcue f(s);
    EXPECT_TRUE(channelExists(s.eventName));
    std::string renamed = uniqueName("taken");
    f.host.setText(kEventName, renamed.c_str());
    f.host.pinChanged(kEventName);
    EXPECT_FALSE(channelExists(s.eventName));
    EXPECT_TRUE(channelExists(renamed));

    f.host.setText(kEventName, nullptr); // no text: no channel at all
    f.host.pinChanged(kEventName);
    EXPECT_FALSE(channelExists(renamed));
    EXPECT_EQ(highRuns(f.run(60)), Runs{});
}

TEST(FarcueInModule, LongNamesAreCut) {
    Settings s;
    std::string base = uniqueName("long");
    s.eventName = base + std::string(200 - base.size(), 'x');
    Farcue f(s);
    EXPECT_TRUE(channelExists(s.eventName.substr(0, 114)));
    Channel ch(s.eventName.substr(0, 114) + "ignored");
    ch.set();
    EXPECT_EQ(highRuns(f.run(20)), (Runs{{0, 9}}));
}

TEST(FarcueInModule, HostsThatBreakTheContractDoNotCrashIt) {
    // Fewer pins than the output's index: open completes without announcing.
    Settings few;
    few.eventName = uniqueName("few");
    few.hostPins = 6;
    Farcue f(few);
    for (const auto &r : f.host.requests)
        EXPECT_NE(r.request, WL_HOST_PIN_STATUS);

    // A null callback (pin count 0), and buffers the host never stored.
    wlhost::Instance bare(farcueIn());
    ASSERT_TRUE(bare.create(0, 1, /*withCallback=*/false));
    bare.open();
    bare.pinChanged(kEventName);
    bare.process(0, 64);
    bare.close();
}

} // namespace
