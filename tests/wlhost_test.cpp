// The wlhost program, run as its own process on the built libraries: info,
// run (with a channel the test holds, so the output really changes),
// validate on Farcue In and on libraries broken on purpose, and the exit
// status of every stage that bad input can stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "channel/event_channel.h"
#include "tests/support/child_process.h"

namespace {

const std::string kWlhost = WLHOST_PATH;
const std::string kFarcueIn = FARCUEIN_PATH;
const std::string kBrokenDir = BROKEN_MODULES_DIR;

std::string broken(const std::string &name) { return kBrokenDir + "/broken_" + name + ".wlm"; }

std::string quoted(const std::string &s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Standard output only.
wltest::ProcessResult wlhost(std::vector<std::string> args, double timeout = 600) {
    args.insert(args.begin(), kWlhost);
    return wltest::runProcess(args, timeout);
}

// Standard error too, where wlhost says what was wrong with its input.
wltest::ProcessResult wlhostWithErrors(const std::vector<std::string> &args) {
    std::string line = quoted(kWlhost);
    for (const auto &a : args)
        line += " " + quoted(a);
    return wltest::runProcess({"/bin/sh", "-c", line + " 2>&1"});
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An event name no other test or run uses.
std::string uniqueName(const char *what) {
    return std::string("wlhosttest_") + what + "_" +
           std::to_string(static_cast<long long>(wltest::monotonicMs() * 1000));
}

TEST(WlhostInfo, ShowsTheModuleTypeAndItsPins) {
    auto text = wlhost({"info", kFarcueIn});
    ASSERT_EQ(text.exitCode, 0);
    for (const char *expected :
         {"Name:        Farcue In\n", "Identifier:  QLMRT FarcueIn\n",
          "About:       by Quillomar (MS)\n", "Flags:       0x816\n", "Pins:        7\n"})
        EXPECT_NE(text.output.find(expected), std::string::npos) << expected << text.output;

    auto json = wlhost({"info", kFarcueIn, "--json"});
    ASSERT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.output.rfind("{\"library\":", 0), 0u) << json.output;
    EXPECT_NE(json.output.find("\"name\":\"Farcue In\",\"id\":\"QLMRT FarcueIn\","
                               "\"about\":\"by Quillomar (MS)\",\"flags\":\"0x816\""),
              std::string::npos);
    for (const char *pin :
         {"{\"index\":0,\"name\":\"Low Value\",\"direction\":\"input\",\"datatype\":\"sample "
          "stream\",\"datatype_code\":5,\"default\":\"0.0\",\"extra\":null,\"flags\":0}",
          "{\"index\":4,\"name\":\"Mode\",\"direction\":\"input\",\"datatype\":\"list\","
          "\"datatype_code\":0,\"default\":\"0\",\"extra\":\"Pulsed=0,Continuous=1\",\"flags\":0}",
          "{\"index\":5,\"name\":\"Event Name\",\"direction\":\"input\",\"datatype\":\"text\","
          "\"datatype_code\":1,\"default\":\"EVENT\",\"extra\":null,\"flags\":0}",
          "{\"index\":6,\"name\":\"Output\",\"direction\":\"output\",\"datatype\":\"sample "
          "stream\",\"datatype_code\":5,\"default\":null,\"extra\":null,\"flags\":0}]"})
        EXPECT_NE(json.output.find(pin), std::string::npos) << pin << "\n" << json.output;
}

TEST(WlhostRun, OutputIsLowValueWhileNobodySetsTheChannel) {
    for (const char *mode : {"Pulsed", "Continuous", "1"}) {
        auto r = wlhost({"run", kFarcueIn, "--rate", "100", "--seconds", "2", "--pin",
                         "Low Value=2.5", "--pin", "Mode=" + std::string(mode), "--pin",
                         "Event Name=" + uniqueName("idle")});
        EXPECT_EQ(r.exitCode, 0) << mode;
        EXPECT_EQ(r.output, "0.000000 s  Output  2.5\n") << mode;
    }
}

// The test holds the channel and sets it before the run: the instance joins
// it at its "Event Name" event and finds it set at its first test.
TEST(WlhostRun, PrintsEachChangeWithItsTime) {
    struct Case {
        const char *mode;
        bool json;
        const char *expected;
        bool setAfterwards;
    } cases[] = {
        {"Pulsed", false, "0.000000 s  Output  5\n0.500000 s  Output  5 -> 0\n", false},
        {"Pulsed", true,
         "{\"time\":0.000000,\"sample\":0,\"pin\":\"Output\",\"index\":6,\"from\":null,\"to\":5}\n"
         "{\"time\":0.500000,\"sample\":50,\"pin\":\"Output\",\"index\":6,\"from\":5,\"to\":0}\n",
         false},
        {"Continuous", false, "0.000000 s  Output  5\n", true},
    };
    for (const auto &c : cases) {
        std::string name = uniqueName("set");
        char objectName[wl::channel::kNameCapacity];
        wl::channel::makeChannelName(name.c_str(), objectName);
        wl::channel::ChannelHandle held = wl::channel::createOrJoin(objectName);
        ASSERT_NE(held, nullptr);
        ASSERT_TRUE(wl::channel::set(held));
        std::vector<std::string> args{"run",       kFarcueIn,
                                      "--rate",    "100",
                                      "--seconds", "2",
                                      "--pin",     "Pulse Width=0.5",
                                      "--pin",     "Mode=" + std::string(c.mode),
                                      "--pin",     "Event Name=" + name};
        if (c.json)
            args.push_back("--json");
        auto r = wlhost(args);
        EXPECT_EQ(r.exitCode, 0) << c.mode;
        EXPECT_EQ(r.output, c.expected) << c.mode;
        // Pulsed mode clears the set it found; Continuous mode leaves it.
        EXPECT_EQ(wl::channel::test(held), c.setAfterwards) << c.mode;
        wl::channel::close(held);
    }
}

uint32_t le32(const std::string &s, size_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<unsigned char>(s.at(at + static_cast<size_t>(k)));
    return v;
}

TEST(WlhostRun, WritesAFloatWavFileAndAPlot) {
    const std::string wav = testing::TempDir() + "/" + uniqueName("wav") + ".wav";
    const std::string png = testing::TempDir() + "/" + uniqueName("plot") + ".png";
    if (!WLHOST_HAS_WAV) {
        // A build without libsndfile says so and stops at the output stage.
        auto r = wlhostWithErrors({"run", kFarcueIn, "--wav", wav});
        EXPECT_EQ(r.exitCode, 6);
        EXPECT_NE(r.output.find("WAV output is not available in this build"), std::string::npos);
    }
    std::vector<std::string> args{"run",    kFarcueIn, "--rate", "1000",  "--seconds",
                                  "0.5",    "--block", "64",     "--pin", "Low Value=0.25",
                                  "--plot", png};
    if (WLHOST_HAS_WAV)
        args.insert(args.end(), {"--wav", wav});
    auto r = wlhost(args);
    ASSERT_EQ(r.exitCode, 0);
    std::string p = readFile(png);
    ASSERT_GE(p.size(), 8u);
    EXPECT_EQ(p.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::remove(png.c_str());
    if (!WLHOST_HAS_WAV)
        return;

    std::string w = readFile(wav);
    ASSERT_GE(w.size(), 44u);
    EXPECT_EQ(w.substr(0, 4), "RIFF");
    EXPECT_EQ(w.substr(8, 4), "WAVE");
    // Walk the chunks: 32-bit float samples, one channel, 500 frames of 0.25.
    bool sawFormat = false, sawData = false;
    for (size_t at = 12; at + 8 <= w.size();) {
        std::string id = w.substr(at, 4);
        uint32_t size = le32(w, at + 4);
        if (id == "fmt ") {
            sawFormat = true;
            uint32_t tagAndChannels = le32(w, at + 8);
            EXPECT_TRUE((tagAndChannels & 0xFFFF) == 3 || (tagAndChannels & 0xFFFF) == 0xFFFE);
            EXPECT_EQ(tagAndChannels >> 16, 1u);
            EXPECT_EQ(le32(w, at + 12), 1000u);
        } else if (id == "data") {
            sawData = true;
            ASSERT_EQ(size, 500u * 4u);
            ASSERT_LE(at + 8 + size, w.size());
            for (uint32_t k = 0; k < 500; ++k) {
                uint32_t bits = le32(w, at + 8 + k * 4);
                float v;
                std::memcpy(&v, &bits, sizeof v);
                ASSERT_EQ(v, 0.25f) << "frame " << k;
            }
        }
        at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(sawFormat && sawData);
    std::remove(wav.c_str());
}

struct CaseLine {
    std::string status, name;
};

// The progress lines: two spaces, the status, the case name, its time.
std::vector<CaseLine> caseLines(const std::string &output) {
    std::vector<CaseLine> out;
    for (const auto &line : lines(output)) {
        for (const char *status : {"passed", "failed", "crashed", "timed out"}) {
            std::string head = std::string("  ") + status + " ";
            if (line.rfind(head, 0) != 0 || line.size() < 2 || line.back() != 's')
                continue;
            std::istringstream rest(line.substr(head.size()));
            CaseLine c{status, ""};
            rest >> c.name;
            out.push_back(c);
        }
    }
    return out;
}

TEST(WlhostValidate, PassesOnFarcueIn) {
    auto r = wlhost({"validate", kFarcueIn});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    auto cases = caseLines(r.output);
    EXPECT_GT(cases.size(), 10u);
    for (const auto &c : cases)
        EXPECT_EQ(c.status, "passed") << c.name;
    EXPECT_NE(r.output.find("\nvalidate PASS: "), std::string::npos) << r.output;
}

TEST(WlhostValidate, NamesTheCaseThatBreaks) {
    struct Case {
        const char *library;
        const char *status;
        const char *detail; // in the table of cases that did not pass
    } cases[] = {
        {"crash_on_event", "crashed", ""},
        {"unwritten_output", "failed", "was not written (the canary is still there)"},
    };
    for (const auto &c : cases) {
        auto r = wlhost({"validate", broken(c.library)});
        EXPECT_EQ(r.exitCode, 1) << c.library;
        std::string named;
        for (const auto &line : caseLines(r.output))
            if (line.status == c.status && named.empty())
                named = line.name;
        ASSERT_FALSE(named.empty()) << c.library << "\n" << r.output;
        EXPECT_NE(r.output.find("  " + named), std::string::npos);
        EXPECT_NE(r.output.find(c.detail), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(" --case " + named + "\n"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("\nvalidate FAIL: "), std::string::npos) << r.output;
    }

    // The same as JSON lines, ending in the summary.
    auto json = wlhost({"validate", broken("unwritten_output"), "--json", "--case", "process/"});
    EXPECT_EQ(json.exitCode, 1);
    auto all = lines(json.output);
    ASSERT_FALSE(all.empty());
    for (size_t i = 0; i + 1 < all.size(); ++i)
        EXPECT_EQ(all[i].rfind("{\"case\":\"process/", 0), 0u) << all[i];
    EXPECT_EQ(all.back().rfind("{\"summary\":", 0), 0u) << all.back();
    EXPECT_NE(all.back().find("\"passed\":0,"), std::string::npos) << all.back();
}

// The random draws of one case in a JSON run: its case number, or "" if absent.
std::string caseNumberIn(const std::string &jsonOutput, const std::string &name) {
    for (const auto &line : lines(jsonOutput)) {
        if (line.rfind("{\"case\":\"" + name + "\",", 0) != 0)
            continue;
        const std::string key = "\"case_number\":";
        const size_t at = line.find(key);
        if (at == std::string::npos)
            return "";
        const size_t from = at + key.size();
        return line.substr(from, line.find(',', from) - from);
    }
    return "";
}

TEST(WlhostValidate, TheReplayCommandRepeatsTheCaseDraws) {
    const std::string name = "process/rate=8000/block=7";
    auto all = wlhost({"validate", kFarcueIn, "--start", "7", "--json"});
    const std::string drawn = caseNumberIn(all.output, name);
    ASSERT_FALSE(drawn.empty()) << all.output;
    EXPECT_NE(all.output.find("--start 7 --case " + name), std::string::npos) << all.output;

    auto alone = wlhost({"validate", kFarcueIn, "--start", "7", "--case", name, "--json"});
    EXPECT_EQ(caseNumberIn(alone.output, name), drawn) << alone.output;
    auto other = wlhost({"validate", kFarcueIn, "--start", "8", "--case", name, "--json"});
    EXPECT_NE(caseNumberIn(other.output, name), drawn) << other.output;
}

bool anyProcessMentions(const std::string &text) {
    DIR *proc = opendir("/proc");
    bool found = false;
    while (dirent *entry = proc != nullptr ? readdir(proc) : nullptr) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        std::string cmdline = readFile(std::string("/proc/") + entry->d_name + "/cmdline");
        found = found || cmdline.find(text) != std::string::npos;
    }
    if (proc != nullptr)
        closedir(proc);
    return found;
}

TEST(WlhostValidate, AHangingCaseTimesOutAndLeavesNothingRunning) {
    auto r = wlhost(
        {"validate", broken("hangs_at_high_rates"), "--case", "rate=192000", "--timeout", "3"});
    EXPECT_EQ(r.exitCode, 1);
    auto cases = caseLines(r.output);
    ASSERT_EQ(cases.size(), 2u) << r.output;
    for (const auto &c : cases)
        EXPECT_EQ(c.status, "timed out") << c.name;
    EXPECT_FALSE(anyProcessMentions("broken_hangs_at_high_rates.wlm"));
}

TEST(WlhostBadInput, OneLineAndAnExitStatusPerStage) {
    const std::string notALibrary = testing::TempDir() + "/" + uniqueName("text") + ".wlm";
    std::ofstream(notALibrary) << "not a library\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{}, 2, "Usage:"},
        {{"play", kFarcueIn}, 2, "wlhost: play: unknown command"},
        {{"info"}, 2, "wlhost: info: no library given"},
        {{"run", kFarcueIn, "--rate", "fast"}, 2, "wlhost: --rate fast: not a sample rate"},
        {{"run", kFarcueIn, "--pin", "Mode"}, 2, "wlhost: --pin Mode: expected NAME=VALUE"},
        {{"validate", kFarcueIn, "--case", "nonesuch"}, 2, "matches no case"},
        {{"info", "/nonexistent/farcuein.wlm"},
         3,
         "wlhost: /nonexistent/farcuein.wlm: cannot load"},
        {{"run", notALibrary}, 3, "wlhost: " + notALibrary + ": cannot load"},
        {{"validate", notALibrary}, 3, "wlhost: " + notALibrary + ": cannot load"},
        {{"info", broken("no_exports")}, 4, "not a module library: no export getModuleProperties"},
        {{"validate", broken("no_exports")}, 4, "not a module library"},
        {{"run", kFarcueIn, "--pin", "Volume=1"},
         5,
         "wlhost: --pin \"Volume=1\": no pin named \"Volume\" (inputs: \"Low Value\""},
        {{"run", kFarcueIn, "--pin", "Mode=Sideways"},
         5,
         "not a choice of this list: \"Sideways\" (choices: Pulsed=0,Continuous=1)"},
        {{"run", kFarcueIn, "--pin", "High Value=loud"}, 5, "not a number: \"loud\""},
        {{"run", kFarcueIn, "--pin", "Output=1"}, 5, "\"Output\" is not an input"},
        {{"run", kFarcueIn, "--wav", "/nonexistent/out.wav"}, 6, "wlhost: /nonexistent/out.wav: "},
    };
    for (const auto &c : cases) {
        auto r = wlhostWithErrors(c.args);
        std::string shown;
        for (const auto &a : c.args)
            shown += a + " ";
        EXPECT_EQ(r.exitCode, c.status) << shown << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << shown << "\n" << r.output;
    }
    std::remove(notALibrary.c_str());
}

} // namespace
