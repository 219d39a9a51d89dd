// farcuesend: its number reading and command-line logic through a recording
// stand-in, then the built program as its own process beside a channel that
// this test process holds, and beside a Farcue In instance in the stand-in
// host that it triggers.
#include "farcuesend/send.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "channel/event_channel.h"
#include "tests/support/child_process.h"
#include "wlhost/standin_host.h"

namespace {

using wl::send::ExitStatus;

// From the build: where the two deliverables are, and what the platform's
// process starts cost and its text line break look like.
constexpr bool kCrLfText = WL_TEST_CRLF_TEXT != 0;
constexpr bool kCostlyStarts = WL_TEST_COSTLY_STARTS != 0;
const char *const kToolPath = WL_FARCUESEND_PATH;
const char *const kModulePath = WL_FARCUEIN_PATH;

// ---------------------------------------------------------------- numbers

TEST(FarcuesendParseInt, ReadsLikeTheCConversionAndSaturates) {
    struct Case {
        const char *text;
        int32_t expected;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"250", 250},
        {"+250", 250},
        {"-100", -100},
        {"500x", 500},
        {"12 34", 12},
        {" \t\n\v\f\r42", 42}, // exactly the C white-space set
        {"\xa0" "42", 0},      // no-break space is not C white space
        {"+-5", 0},            // one sign only
        {"- 5", 0},            // the sign comes directly before the digits
        {"+", 0},
        {"-", 0},
        {"-0", 0},
        {"00000000000000000000123", 123}, // many leading zeros are no overflow
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"99999999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999999", INT32_MIN},
    };
    for (const Case &c : cases)
        EXPECT_EQ(wl::send::parseInt(c.text), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(wl::send::parseInt(nullptr), 0);
}

TEST(FarcuesendDelay, NumberRightAfterTheLetterAndNeverNegative) {
    struct Case {
        const char *action;
        int32_t expected;
    };
    const Case cases[] = {
        {"d", 0},        {"d-100", 0},       {"d+250", 250},         {"d 250", 250},
        {"D500x", 500},  {"delay500", 0},    {"d400000", 400000},    {"d2147483648", INT32_MAX},
        {"d-2147483649", 0}, {"", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(wl::send::delayMs(c.action), c.expected) << '"' << c.action << '"';
}

// ------------------------------------------------------ command-line logic

// Stands in for the channel, the wait and standard output, and writes down
// every call in order.
class RecordingSystem final : public wl::send::System {
  public:
    bool channelExists = true;
    bool setWorks = true;
    bool resetWorks = true;
    std::string log;
    std::string output;

    wl::channel::ChannelHandle openExisting(const char *objectName) override {
        log += std::string("open ") + objectName + ";";
        return channelExists ? reinterpret_cast<wl::channel::ChannelHandle>(&token) : nullptr;
    }
    bool set(wl::channel::ChannelHandle h) override { return note("set", h, setWorks); }
    bool reset(wl::channel::ChannelHandle h) override { return note("reset", h, resetWorks); }
    void close(wl::channel::ChannelHandle h) override { note("close", h, true); }
    void wait(int32_t ms) override { log += "wait " + std::to_string(ms) + ";"; }
    void write(const char *text) override { output += text; }

  private:
    bool note(const char *what, wl::channel::ChannelHandle h, bool result) {
        // Every call must use the handle that open gave.
        log += h == reinterpret_cast<wl::channel::ChannelHandle>(&token) ? what : "WRONG HANDLE";
        log += ";";
        return result;
    }
    int token = 0;
};

const std::string kUsageText = "\n\nUsage: farcuesend [evtname] [actions]\n\n"
                               "evtname - The name given to the event input in Wavelathe\n"
                               "actions - One or more of the following commands\n"
                               "\ts - Set the event\n"
                               "\tr - Reset the event\n"
                               "\td[value] - Delay for [value] milliseconds, 0 to 300,000\n\n";
const std::string kErrorText = "Error - Invalid event name";

TEST(FarcuesendRun, CarriesOutTheCommandLine) {
    enum Failing { kNothing, kNoChannel, kSet, kReset };
    struct Case {
        std::vector<std::string> args; // after the program name
        Failing failing;
        std::string log;
        std::string output;
        ExitStatus status;
    };
    const std::string open = "open WL_FARCUE_IN_EVENT;";
    const Case cases[] = {
        {{}, kNothing, "", kUsageText, wl::send::kUsage},
        {{"EVENT"}, kNothing, "", kUsageText, wl::send::kUsage},
        {{"NOSUCH", "s"}, kNoChannel, "open WL_FARCUE_IN_NOSUCH;", kErrorText,
         wl::send::kNoChannel},
        {{"EVENT", "s"}, kNothing, open + "set;close;", "", wl::send::kDone},
        {{"EVENT", "x", "s"}, kNothing, open + "set;close;", "", wl::send::kDone},
        {{"EVENT", ""}, kNothing, open + "close;", "", wl::send::kDone},
        {{"EVENT", "d-100", "s"}, kNothing, open + "wait 0;set;close;", "", wl::send::kDone},
        {{"EVENT", "d", "s"}, kNothing, open + "wait 0;set;close;", "", wl::send::kDone},
        {{"EVENT", "d", "250"}, kNothing, open + "wait 0;close;", "", wl::send::kDone},
        {{"EVENT", "d400000"}, kNothing, open + "wait 400000;close;", "", wl::send::kDone},
        {{"EVENT", "delay500"}, kNothing, open + "wait 0;close;", "", wl::send::kDone},
        {{"EVENT", "D500x"}, kNothing, open + "wait 500;close;", "", wl::send::kDone},
        {{"EVENT", "d+250"}, kNothing, open + "wait 250;close;", "", wl::send::kDone},
        {{"EVENT", "d 250"}, kNothing, open + "wait 250;close;", "", wl::send::kDone},
        {{"EVENT", "SET", "Reset", "S", "r"}, kNothing, open + "set;reset;set;reset;close;", "",
         wl::send::kDone},
        {{"EVENT", "s", "d500", "r"}, kNothing, open + "set;wait 500;reset;close;", "",
         wl::send::kDone},
        // The name goes to the channel as typed: case and blanks kept.
        {{" ev ENT ", "s"}, kNothing, "open WL_FARCUE_IN_ ev ENT ;set;close;", "",
         wl::send::kDone},
        // A failing call is reported, and the rest of the list still runs.
        {{"EVENT", "s", "r", "s"}, kSet, open + "set;reset;set;close;", "",
         wl::send::kActionFailed},
        {{"EVENT", "r", "s"}, kReset, open + "reset;set;close;", "", wl::send::kActionFailed},
    };
    for (const Case &c : cases) {
        RecordingSystem system;
        system.channelExists = c.failing != kNoChannel;
        system.setWorks = c.failing != kSet;
        system.resetWorks = c.failing != kReset;
        std::vector<const char *> argv{"farcuesend"};
        std::string shown;
        for (const std::string &a : c.args) {
            argv.push_back(a.c_str());
            shown += " [" + a + "]";
        }
        argv.push_back(nullptr);
        ExitStatus status =
            wl::send::run(static_cast<int>(argv.size() - 1), argv.data(), system);
        EXPECT_EQ(system.log, c.log) << shown;
        EXPECT_EQ(system.output, c.output) << shown;
        EXPECT_EQ(status, c.status) << shown;
    }
}

TEST(FarcuesendRun, CutsTheObjectNameTo127Characters) {
    RecordingSystem system;
    const std::string longName(200, 'n');
    const char *argv[] = {"farcuesend", longName.c_str(), "s", nullptr};
    wl::send::run(3, argv, system);
    EXPECT_EQ(system.log, "open WL_FARCUE_IN_" + std::string(114, 'n') + ";set;close;");
}

// ------------------------------------------------- the program, by itself

// Channel names of their own, so test runs side by side never meet.
std::string uniqueName(const std::string &tag) {
    std::random_device random;
    std::mt19937 generator(random() ^ static_cast<unsigned>(wltest::monotonicMs()));
    return "FARCUESEND_TEST_" + tag + "_" + std::to_string(generator() % 100000000u);
}

std::string platformText(const std::string &text) {
    if (!kCrLfText)
        return text;
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// The channel as a module instance would hold it.
struct HeldChannel {
    explicit HeldChannel(const std::string &userName) {
        char objectName[wl::channel::kNameCapacity];
        wl::channel::makeChannelName(userName.c_str(), objectName);
        handle = wl::channel::createOrJoin(objectName);
    }
    ~HeldChannel() { wl::channel::close(handle); }
    HeldChannel(const HeldChannel &) = delete;
    HeldChannel &operator=(const HeldChannel &) = delete;
    wl::channel::ChannelHandle handle = nullptr;
};

TEST(FarcuesendProgram, BytesExitStatusAndChannelState) {
    // "@" stands for the held channel's name. `windows` marks the few cases
    // worth a wine start each: the usage text with its line breaks, the
    // error text with its status, and a set that the holder sees, through a
    // name with a blank that the command line must keep whole.
    struct Case {
        std::vector<std::string> args;
        bool setBefore;
        std::string output;
        int exitCode;
        bool setAfter;
        double minMs; // the program cannot have finished sooner
        bool windows;
    };
    const Case cases[] = {
        {{}, false, kUsageText, 2, false, 0, false},
        {{"@"}, true, kUsageText, 2, true, 0, true},
        {{"NOSUCH_CHANNEL_FOR_FARCUESEND", "s"}, false, kErrorText, 1, false, 0, true},
        {{"@", "s"}, false, "", 0, true, 0, true},
        {{"@", "x", "s"}, false, "", 0, true, 0, false},
        {{"@", "SET"}, false, "", 0, true, 0, false},
        {{"@", "r"}, true, "", 0, false, 0, false},
        {{"@", "s", "r"}, false, "", 0, false, 0, false},
        {{"@", "r", "s"}, false, "", 0, true, 0, false},
        {{"@", "d-100", "s"}, false, "", 0, true, 0, false},
        {{"@", "d", "s"}, false, "", 0, true, 0, false},
        {{"@", "d", "250"}, false, "", 0, false, 0, false},
        {{"@", "delay500", "s"}, false, "", 0, true, 0, false},
        {{"@", "D500x", "s"}, false, "", 0, true, 500, false},
        {{"@", "d+250", "s"}, false, "", 0, true, 250, false},
        {{"@", "d 250", "s"}, false, "", 0, true, 250, false},
    };
    const std::string name = uniqueName("program") + " x";
    HeldChannel held(name);
    ASSERT_NE(held.handle, nullptr) << "this platform's channel cannot be created";
    int ran = 0;
    for (const Case &c : cases) {
        if (kCostlyStarts && !c.windows)
            continue;
        std::vector<std::string> argv{kToolPath};
        std::string shown;
        for (const std::string &a : c.args) {
            argv.push_back(a == "@" ? name : a);
            shown += " [" + a + "]";
        }
        if (c.setBefore)
            wl::channel::set(held.handle);
        else
            wl::channel::reset(held.handle);
        const double start = wltest::monotonicMs();
        wltest::ProcessResult r = wltest::runProcess(argv, 600);
        const double tookMs = wltest::monotonicMs() - start;
        ++ran;
        EXPECT_EQ(r.output, platformText(c.output)) << shown;
        EXPECT_EQ(r.exitCode, c.exitCode) << shown;
        EXPECT_EQ(wl::channel::test(held.handle), c.setAfter) << shown;
        EXPECT_GE(tookMs, c.minMs) << shown;
    }
    EXPECT_GT(ran, 0);
}

// -------------------------------------- end to end, with a module instance

constexpr float kRate = 1000.0f; // one sample per millisecond
constexpr int32_t kBlock = 10;

// A Farcue In instance in the stand-in host, run one block per 10 ms of wall
// clock while the program runs as its own process.
class PacedInstance {
  public:
    PacedInstance(const wlhost::Exports &exports, const std::string &eventName, uint16_t mode)
        : instance(exports, 64, kBlock) {
        if (!instance.create())
            return;
        instance.setSampleRate(kRate);
        instance.setBlockSize(kBlock);
        instance.bindPins();
        pin("Low Value", 0.0f);
        pin("High Value", 5.0f);
        pin("Check Delay", 0.002f); // a test every 3 ms
        pin("Pulse Width", 0.1f);   // 100 samples
        instance.open();
        const int modePin = instance.findPin("Mode");
        const int namePin = instance.findPin("Event Name");
        outputPin = instance.findPin("Output");
        if (modePin < 0 || namePin < 0 || outputPin < 0)
            return;
        instance.setList(modePin, mode);
        instance.pinChanged(modePin);
        instance.setText(namePin, eventName.c_str());
        instance.pinChanged(namePin);
        ready = true;
    }

    // Runs blocks until the program has ended and `tailMs` more have passed;
    // returns its exit code. All in this thread: a pacing thread of its own
    // lost its wine server connection under wine.
    int runAlongside(wltest::ChildProcess &child, double tailMs) {
        const double begin = wltest::monotonicMs();
        double endAt = begin + 600000.0; // a program that never ends fails, later
        for (int64_t blocks = 0;; ++blocks) {
            const double due = begin + static_cast<double>(blocks * kBlock);
            double now = wltest::monotonicMs();
            if (now > endAt)
                break;
            if (due > now) {
                // The program prints nothing on success, so this only sleeps;
                // it returns well before its time once standard output closed,
                // which is when the program ended.
                const double waitMs = due - now;
                child.waitForOutput("\x01never printed", waitMs / 1000.0);
                if (waitMs >= 4.0 && wltest::monotonicMs() - now < waitMs / 2 &&
                    endAt > wltest::monotonicMs() + tailMs)
                    endAt = wltest::monotonicMs() + tailMs;
            }
            instance.processBlock();
            const std::vector<float> &out = instance.buffer(outputPin);
            samples.insert(samples.end(), out.begin(), out.end());
        }
        return child.wait(60);
    }

    bool ready = false;
    std::vector<float> samples; // one per wall-clock millisecond

  private:
    void pin(const char *name, float value) {
        const int index = instance.findPin(name);
        if (index >= 0)
            instance.setStream(index, value);
    }

    wlhost::Instance instance;
    int outputPin = -1;
};

struct HighRuns {
    int runs = 0;
    int64_t highSamples = 0;
};

HighRuns highRuns(const std::vector<float> &samples) {
    HighRuns h;
    bool previous = false;
    for (float s : samples) {
        const bool high = s == 5.0f;
        if (high) {
            ++h.highSamples;
            if (!previous)
                ++h.runs;
        }
        previous = high;
    }
    return h;
}

// Loaded once and kept until the process ends: unloading the plug-in and
// loading it again in one process brought the test down under wine.
const wlhost::Library *moduleLibrary(std::string &error) {
    static const wlhost::Library *library = [&error] {
        wlhost::Library::Stage stage{};
        return wlhost::Library::open(kModulePath, stage, error).release();
    }();
    return library;
}

class FarcuesendWithModule : public ::testing::Test {
  protected:
    // Runs the program with these actions while the instance runs, then
    // lets the instance go on a while so that the last change shows.
    std::vector<float> trigger(uint16_t mode, const std::vector<std::string> &actions,
                               int &exitCode) {
        std::string error;
        const wlhost::Library *library = moduleLibrary(error);
        if (library == nullptr) {
            ADD_FAILURE() << "cannot load " << kModulePath << ": " << error;
            return {};
        }
        const std::string name = uniqueName("module");
        paced = std::make_unique<PacedInstance>(library->exports(), name, mode);
        if (!paced->ready)
            return {};
        std::vector<std::string> argv{kToolPath, name};
        argv.insert(argv.end(), actions.begin(), actions.end());
        wltest::ChildProcess child(argv);
        if (!child.started())
            return {};
        exitCode = paced->runAlongside(child, 500);
        return paced->samples;
    }

    std::unique_ptr<PacedInstance> paced;
};

TEST_F(FarcuesendWithModule, SetGivesOnePulseInPulsedMode) {
    int exitCode = -1;
    const std::vector<float> samples = trigger(0, {"s"}, exitCode);
    ASSERT_TRUE(paced && paced->ready);
    EXPECT_EQ(exitCode, 0);
    const HighRuns h = highRuns(samples);
    EXPECT_EQ(h.runs, 1);
    // The pulse is counted in samples, so its length is exact.
    EXPECT_EQ(h.highSamples, 100);
}

TEST_F(FarcuesendWithModule, SetWaitResetHoldsHighForHalfASecondInContinuousMode) {
    int exitCode = -1;
    const std::vector<float> samples = trigger(1, {"s", "d500", "r"}, exitCode);
    ASSERT_TRUE(paced && paced->ready);
    EXPECT_EQ(exitCode, 0);
    const HighRuns h = highRuns(samples);
    EXPECT_EQ(h.runs, 1);
    // Samples stand for wall-clock milliseconds; a noisy machine stretches them.
    const double highSeconds = static_cast<double>(h.highSamples) / kRate;
    EXPECT_GE(highSeconds, 0.3);
    EXPECT_LE(highSeconds, 1.5);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.back(), 0.0f) << "the reset must bring it back to Low Value";
}

} // namespace
