// The fast process routine against the per-sample reference loop, on a
// scripted channel, over thousands of random cases from a fixed random start:
// the same output bits, the same channel calls with the same answers, the
// same counters after every case.
#include "farcuein/farcuein_process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using wl::farcue::ProcessBuffers;
using wl::farcue::ProcessState;

constexpr uint32_t kRandomStart = 20261211u;
constexpr int kCases = 4000;

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float fromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Random choices from raw generator output, so every platform draws the
// same cases from the same start.
class Draw {
  public:
    explicit Draw(uint32_t start) : engine_(start) {}
    uint32_t bits() { return static_cast<uint32_t>(engine_()); }
    // 0 .. n-1
    int32_t below(int32_t n) { return static_cast<int32_t>(bits() % static_cast<uint32_t>(n)); }
    bool chance(int32_t percent) { return below(100) < percent; }
    // [0, 1)
    float unit() { return static_cast<float>(bits() >> 8) / 16777216.0f; }

  private:
    std::mt19937 engine_;
};

// Stands in for the event channel. Between any two calls the outside world
// may set or clear the event, as a pure function of the script and the call
// number: two routines that make the same calls see the same answers, and a
// routine that tests on other samples or an extra time shows in the log (and
// in the output, since answers turn Continuous output on and off).
class ScriptedChannel {
  public:
    struct Call {
        char kind;     // 't' test, 'r' reset
        bool answer;   // what a test returned
        int32_t slice; // the process call it came from
        bool operator==(const Call &o) const {
            return kind == o.kind && answer == o.answer && slice == o.slice;
        }
    };

    explicit ScriptedChannel(uint32_t script, int32_t busyPercent)
        : script_(script), busy_(busyPercent) {}

    bool test() {
        outsideActs();
        log.push_back(Call{'t', set_, slice});
        return set_;
    }
    void reset() {
        outsideActs();
        set_ = false;
        log.push_back(Call{'r', false, slice});
    }
    void setFromOutside() { set_ = true; }

    int32_t slice = 0;
    std::vector<Call> log;

  private:
    void outsideActs() {
        uint32_t h = (script_ ^ (++calls_ * 0x9E3779B9u)) * 0x85EBCA6Bu;
        h ^= h >> 13;
        h *= 0xC2B2AE35u;
        h ^= h >> 16;
        int32_t roll = static_cast<int32_t>(h % 100u);
        if (roll < busy_)
            set_ = true;
        else if (roll < 2 * busy_)
            set_ = false;
    }

    uint32_t script_;
    int32_t busy_;
    uint32_t calls_ = 0;
    bool set_ = false;
};

// A "Pulse Width" or "Check Delay" value: ordinary, tiny, on the edge of a
// whole sample count, zero, negative, huge, infinite or not a number.
float drawSeconds(Draw &d, float sampleRate) {
    switch (d.below(16)) {
    case 0:
    case 1:
    case 2:
        return d.unit() * 0.05f;
    case 3:
    case 4:
        return static_cast<float>(d.below(40)) / sampleRate; // often just below a whole count
    case 5:
        return std::nextafter(static_cast<float>(d.below(40) + 1) / sampleRate, 1.0f);
    case 6:
        return d.chance(50) ? 0.0f : -0.0f;
    case 7:
        return -d.unit() * (d.chance(50) ? 0.01f : 1e12f);
    case 8:
        return d.unit() * 2.0f;
    case 9: {
        // Products around 2^31, 2^32 and 2^63, on both sides.
        const double edges[] = {2147483647.0, 2147483648.0, 4294967296.0, 9.2233720368547758e18};
        double edge = edges[d.below(4)] * (d.chance(50) ? 1.0 : -1.0) * (0.999 + 0.002 * d.unit());
        return static_cast<float>(edge / static_cast<double>(sampleRate));
    }
    case 10:
        return d.chance(50) ? 3.0e38f : 1.0e15f * d.unit();
    case 11:
        return d.chance(50) ? std::numeric_limits<float>::infinity()
                            : -std::numeric_limits<float>::infinity();
    case 12:
        // Not-a-number, with assorted payloads and signs.
        return fromBits(0x7FC00000u | (d.bits() & 0x803FFFFFu) | (d.chance(30) ? 0x00000001u : 0u));
    case 13:
        return fromBits(d.bits() & 0x007FFFFFu); // subnormal
    default:
        return d.unit() * 0.005f;
    }
}

float drawSampleRate(Draw &d) {
    const float common[] = {1.0f,     2.0f,     100.0f,   8000.0f,  11025.0f,  22050.0f,
                            44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f};
    if (d.chance(70))
        return common[d.below(12)];
    return 1.0f + d.unit() * 191999.0f;
}

// One input stream: steady runs, a new value on every sample, or a mix, with
// the odd neighbouring float (other bits, mostly the same sample count).
std::vector<float> drawStream(Draw &d, int32_t length, float sampleRate) {
    std::vector<float> stream(static_cast<size_t>(length));
    const int32_t style = d.below(4);
    const int32_t longestRun = 1 + d.below(d.chance(50) ? 8 : 2048);
    float value = drawSeconds(d, sampleRate);
    int32_t runLeft = 0;
    for (auto &sample : stream) {
        if (style == 1 || (style == 2 && d.chance(50))) {
            value = drawSeconds(d, sampleRate); // changes on every sample
        } else if (runLeft-- <= 0) {
            runLeft = d.below(longestRun);
            value = d.chance(20) ? std::nextafter(value, 0.0f) : drawSeconds(d, sampleRate);
        }
        sample = value;
    }
    return stream;
}

struct Slice {
    int32_t offset;
    int32_t count;
    uint16_t mode;
    bool modeEvent; // the host reports a "Mode" change before this call
    bool setBefore; // someone sets the event before this call
};

struct Case {
    float sampleRate;
    std::vector<float> low, high, pulseWidth, checkDelay, outputStart;
    int32_t aliasOutput; // 0: own buffer; 1 low, 2 high, 3 pulse width
    std::vector<Slice> slices;
    ProcessState start;
    uint32_t script;
    int32_t busy;
};

Case drawCase(Draw &d) {
    Case c;
    c.sampleRate = drawSampleRate(d);
    const int32_t length = 1 + d.below(d.chance(80) ? 2048 : 64);
    c.pulseWidth = drawStream(d, length, c.sampleRate);
    c.checkDelay = drawStream(d, length, c.sampleRate);
    c.low.resize(static_cast<size_t>(length));
    c.high.resize(static_cast<size_t>(length));
    c.outputStart.resize(static_cast<size_t>(length));
    for (int32_t k = 0; k < length; ++k) {
        // Values that name their sample, so a copy from the wrong place shows.
        c.low[static_cast<size_t>(k)] = -static_cast<float>(k + 1);
        c.high[static_cast<size_t>(k)] = static_cast<float>(k + 1) + 0.5f;
        c.outputStart[static_cast<size_t>(k)] = fromBits(0x7FA00000u + static_cast<uint32_t>(k));
    }
    c.aliasOutput = d.chance(90) ? 0 : 1 + d.below(3);

    // Slices cover the stream in order; now and then an empty or negative call.
    uint16_t mode = static_cast<uint16_t>(d.chance(50) ? 0 : 1);
    for (int32_t at = 0; at < length;) {
        Slice s{at, 0, mode, false, d.chance(25)};
        if (d.chance(10)) {
            const uint16_t modes[] = {0, 1, 2, 0xFFFF};
            s.mode = mode = modes[d.below(4)];
            s.modeEvent = d.chance(80);
        }
        if (d.chance(5)) {
            s.count = -d.below(3);
        } else {
            const int32_t left = length - at;
            s.count = d.chance(30) ? left : 1 + d.below(left < 300 ? left : 300);
            if (s.count > left)
                s.count = left;
        }
        c.slices.push_back(s);
        if (s.count > 0)
            at += s.count;
    }

    if (d.chance(50)) {
        c.start = ProcessState{}; // as constructed
    } else {
        c.start.pulseRemaining = d.below(200) - 10;
        c.start.pulseLength = static_cast<int32_t>(d.bits());
        c.start.checkCountdown = d.below(400) - 10;
        c.start.checkInterval = static_cast<int32_t>(d.bits());
        c.start.eventSeen = d.chance(50);
    }
    c.script = d.bits();
    c.busy = d.below(4) == 0 ? 0 : 1 + d.below(30);
    return c;
}

struct Outcome {
    std::vector<float> output;
    std::vector<ScriptedChannel::Call> log;
    ProcessState state;
};

template <class Routine> Outcome runCase(const Case &c, Routine routine) {
    std::vector<float> low = c.low, high = c.high, pulseWidth = c.pulseWidth;
    std::vector<float> ownOutput = c.outputStart;
    float *output = ownOutput.data();
    if (c.aliasOutput == 1)
        output = low.data();
    else if (c.aliasOutput == 2)
        output = high.data();
    else if (c.aliasOutput == 3)
        output = pulseWidth.data();
    const ProcessBuffers buffers{output, low.data(), high.data(), pulseWidth.data(),
                                 c.checkDelay.data()};
    ScriptedChannel channel(c.script, c.busy);
    ProcessState state = c.start;
    for (size_t k = 0; k < c.slices.size(); ++k) {
        const Slice &s = c.slices[k];
        channel.slice = static_cast<int32_t>(k);
        if (s.modeEvent) {
            // What the module does on a "Mode" change.
            state.checkCountdown = 0;
            state.pulseRemaining = 0;
            state.eventSeen = false;
            channel.reset();
        }
        if (s.setBefore)
            channel.setFromOutside();
        routine(state, buffers, s.mode, c.sampleRate, s.offset, s.count, channel);
    }
    const std::vector<float> &written = c.aliasOutput == 1   ? low
                                        : c.aliasOutput == 2 ? high
                                        : c.aliasOutput == 3 ? pulseWidth
                                                             : ownOutput;
    return Outcome{written, channel.log, state};
}

std::string describe(const Case &c, int caseNumber, size_t sample) {
    std::ostringstream text;
    text << "case " << caseNumber << " (random start " << kRandomStart << "), sample " << sample
         << ": sample rate " << c.sampleRate << ", pulse width " << c.pulseWidth[sample]
         << ", check delay " << c.checkDelay[sample] << ", output alias " << c.aliasOutput;
    return text.str();
}

// Any difference is reported with its case number and first differing sample.
TEST(FarcueInFastProcess, MatchesTheReferenceLoopOnRandomCases) {
    Draw draw(kRandomStart);
    for (int n = 0; n < kCases; ++n) {
        const Case c = drawCase(draw);
        const Outcome reference =
            runCase(c, [](auto &&...args) { wl::farcue::processReference(args...); });
        const Outcome fast = runCase(c, [](auto &&...args) { wl::farcue::processFast(args...); });

        for (size_t k = 0; k < reference.output.size(); ++k) {
            if (bitsOf(reference.output[k]) != bitsOf(fast.output[k])) {
                FAIL() << describe(c, n, k) << ": reference wrote " << reference.output[k]
                       << ", fast " << fast.output[k];
            }
        }
        if (!(reference.log == fast.log)) {
            size_t k = 0;
            while (k < reference.log.size() && k < fast.log.size() &&
                   reference.log[k] == fast.log[k])
                ++k;
            FAIL() << "case " << n << " (random start " << kRandomStart << "): channel call " << k
                   << " differs; reference made " << reference.log.size() << " calls, fast "
                   << fast.log.size();
        }
        const ProcessState &r = reference.state, &f = fast.state;
        ASSERT_TRUE(r.pulseRemaining == f.pulseRemaining && r.pulseLength == f.pulseLength &&
                    r.checkCountdown == f.checkCountdown && r.checkInterval == f.checkInterval &&
                    r.eventSeen == f.eventSeen)
            << "case " << n << " (random start " << kRandomStart << "): counters differ at the end";
    }
}

// Null buffers: neither routine writes or calls anything.
TEST(FarcueInFastProcess, WritesNothingWithoutEveryBuffer) {
    std::vector<float> in(8, 1.0f), out(8, 7.0f);
    for (int missing = 0; missing < 5; ++missing) {
        const float *inputs[4] = {in.data(), in.data(), in.data(), in.data()};
        float *output = out.data();
        if (missing == 0)
            output = nullptr;
        else
            inputs[missing - 1] = nullptr;
        const ProcessBuffers buffers{output, inputs[0], inputs[1], inputs[2], inputs[3]};
        ScriptedChannel channel(1, 50);
        ProcessState state;
        wl::farcue::processFast(state, buffers, 0, 44100.0f, 0, 8, channel);
        EXPECT_TRUE(channel.log.empty()) << "missing buffer " << missing;
        EXPECT_EQ(out, std::vector<float>(8, 7.0f)) << "missing buffer " << missing;
    }
}

} // namespace
