// The process routines of "Farcue In", apart from the module so that a test
// can run them on a scripted channel. Two routines give the same output bits,
// the same channel tests on the same samples and the same resets:
// - processReference: the per-sample loop, step by step as the module is
//   defined; the yardstick for the other.
// - processFast: one sample at a time only where something can happen (a
//   test, or new "Pulse Width" / "Check Delay" values); the stretches between
//   are copies of "High Value" or "Low Value".
// Channel is any type with `bool test()` and `void reset()`; the module's
// own calls the channel functions directly, so the shipped loops pay nothing
// for this seam.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace wl {

// The rule for products beyond the signed 32-bit range (and not-a-number),
// kept out of line and marked cold: nothing sensible sends them.
[[gnu::cold]] int32_t truncProductWide(double product);

// trunc(a * b): the exact product of two floats, rounded toward zero to a
// signed 32-bit integer. Products beyond that range keep the low 32 bits of
// the 64-bit truncation; not-a-number or a magnitude of 2^63 or more give 0.
inline int32_t truncProduct(float a, float b) {
    // Two 24-bit significands multiply exactly within a double's 53 bits.
    double product = static_cast<double>(a) * static_cast<double>(b);
    // In range, the conversion is one instruction (cvttsd2si with SSE2).
    if (product > -2147483649.0 && product < 2147483648.0)
        return static_cast<int32_t>(product);
    return truncProductWide(product);
}

namespace farcue {

// The counters and flag that carry over from one sample (and one call) to
// the next.
struct ProcessState {
    int32_t pulseRemaining = 0;
    int32_t pulseLength = 0; // recomputed on every sample
    int32_t checkCountdown = 0;
    int32_t checkInterval = 0; // recomputed on every sample
    bool eventSeen = false;
};

// The host's buffers for one call; output may be the same buffer as an input.
struct ProcessBuffers {
    float *output;
    const float *lowValue;
    const float *highValue;
    const float *pulseWidth;
    const float *checkDelay;

    bool complete() const {
        return output != nullptr && lowValue != nullptr && highValue != nullptr &&
               pulseWidth != nullptr && checkDelay != nullptr;
    }
};

template <class Channel>
void processReference(ProcessState &s, const ProcessBuffers &b, uint16_t mode, float sampleRate,
                      int32_t offset, int32_t count, Channel &channel) {
    if (count <= 0)
        return;
    // Buffers the host never stored: nothing to read from or write to.
    if (!b.complete())
        return;
    const int32_t end = offset + count;
    for (int32_t i = offset; i < end; ++i) {
        s.pulseLength = truncProduct(b.pulseWidth[i], sampleRate);
        s.checkInterval = truncProduct(sampleRate, b.checkDelay[i]);
        if (s.pulseRemaining > s.pulseLength)
            s.pulseRemaining = s.pulseLength;
        if (s.checkCountdown > s.checkInterval)
            s.checkCountdown = s.checkInterval;
        if (s.checkCountdown > 0) {
            --s.checkCountdown;
        } else {
            s.checkCountdown = s.checkInterval;
            s.eventSeen = channel.test();
        }
        if (mode != 0) {
            b.output[i] = s.eventSeen ? b.highValue[i] : b.lowValue[i];
            continue;
        }
        if (s.eventSeen) {
            channel.reset();
            s.eventSeen = false;
            s.pulseRemaining = s.pulseLength;
        }
        if (s.pulseRemaining > 0) {
            b.output[i] = b.highValue[i];
            --s.pulseRemaining;
        } else {
            b.output[i] = b.lowValue[i];
        }
    }
}

namespace detail {

inline uint32_t bitsOf(const float *sample) {
    uint32_t bits;
    std::memcpy(&bits, sample, sizeof bits);
    return bits;
}

// The first index in [from, to) whose "Pulse Width" or "Check Delay" differs
// in any bit from the given ones, or `to`. Equal bits give equal products, so
// the counters' limits stay put up to there.
inline int32_t sameInputsUntil(const float *pulseWidth, const float *checkDelay, uint32_t pulseBits,
                               uint32_t checkBits, int32_t from, int32_t to) {
    int32_t k = from;
    // Inputs that change on every sample fail here, before any wide loop.
    if (k >= to || bitsOf(pulseWidth + k) != pulseBits || bitsOf(checkDelay + k) != checkBits)
        return k;
    // Fixed-length chunks without an early exit, which the compiler vectorises
    // (shorter ones it unrolls fully instead).
    constexpr int32_t kChunk = 64;
    auto chunkSame = [&](int32_t at) {
        uint32_t differ = 0;
        for (int32_t j = 0; j < kChunk; ++j)
            differ |= (bitsOf(pulseWidth + at + j) ^ pulseBits) |
                      (bitsOf(checkDelay + at + j) ^ checkBits);
        return differ == 0;
    };
    if (to - k >= kChunk && chunkSame(k)) {
        // The chunk at k holds the bits, so a stretch after it holds them too
        // when it equals the chunk length of samples before it, sample for
        // sample: the library's memcmp checks that at full width, and the
        // two streams it reads share their alignment.
        k += kChunk;
        while (to - k >= kChunk) {
            const int32_t n = to - k < 1024 ? to - k : 1024;
            const size_t bytes = static_cast<size_t>(n) * sizeof(float);
            if (std::memcmp(pulseWidth + k, pulseWidth + k - kChunk, bytes) != 0 ||
                std::memcmp(checkDelay + k, checkDelay + k - kChunk, bytes) != 0)
                break;
            k += n;
        }
    }
    // Where memcmp found a difference, or for a short rest: find it.
    while (to - k >= kChunk && chunkSame(k))
        k += kChunk;
    while (k < to && bitsOf(pulseWidth + k) == pulseBits && bitsOf(checkDelay + k) == checkBits)
        ++k;
    return k;
}

inline void copySamples(float *to, const float *from, int32_t n) {
    // memmove: the host may hand the same buffer as input and output.
    if (n > 0)
        std::memmove(to, from, static_cast<size_t>(n) * sizeof(float));
}

// truncProduct with a cheaper range check (one comparison of the magnitude);
// the differential test holds it to the exact rule.
inline int32_t truncProductQuick(float a, double b) {
    double product = static_cast<double>(a) * b;
    if (std::fabs(product) < 2147483648.0)
        return static_cast<int32_t>(product);
    return truncProductWide(product);
}

template <bool kContinuous, class Channel>
void processFastMode(ProcessState &state, const ProcessBuffers &b, float sampleRate, int32_t offset,
                     int32_t end, Channel &channel) {
    // Locals: the compiler can keep them in registers across the channel calls.
    ProcessState s = state;
    const double rate = sampleRate;
    const float *const pulseWidth = b.pulseWidth;
    const float *const checkDelay = b.checkDelay;

    // Everything the reference loop does on sample k once the limits are known.
    auto step = [&](int32_t k) {
        if (s.pulseRemaining > s.pulseLength)
            s.pulseRemaining = s.pulseLength;
        if (s.checkCountdown > s.checkInterval)
            s.checkCountdown = s.checkInterval;
        if (s.checkCountdown > 0) {
            --s.checkCountdown;
        } else {
            s.checkCountdown = s.checkInterval;
            s.eventSeen = channel.test();
        }
        if (kContinuous) {
            b.output[k] = s.eventSeen ? b.highValue[k] : b.lowValue[k];
            return;
        }
        if (s.eventSeen) {
            channel.reset();
            s.eventSeen = false;
            s.pulseRemaining = s.pulseLength;
        }
        if (s.pulseRemaining > 0) {
            b.output[k] = b.highValue[k];
            --s.pulseRemaining;
        } else {
            b.output[k] = b.lowValue[k];
        }
    };

    // The inputs the limits were last computed from. Equal bits give equal
    // products, hence equal limits; the first sample always computes them.
    uint32_t pulseBits = bitsOf(pulseWidth + offset) ^ 1u;
    uint32_t checkBits = 0;
    int32_t i = offset;
    while (i < end) {
        // Inputs that differ from the sample before: the reference loop's
        // work plus two comparisons.
        for (; i < end; ++i) {
            const uint32_t pulseNow = bitsOf(pulseWidth + i);
            const uint32_t checkNow = bitsOf(checkDelay + i);
            if (pulseNow == pulseBits && checkNow == checkBits)
                break;
            pulseBits = pulseNow;
            checkBits = checkNow;
            s.pulseLength = truncProductQuick(pulseWidth[i], rate);
            s.checkInterval = truncProductQuick(checkDelay[i], rate);
            step(i);
        }
        if (i >= end)
            break;
        // Sample i repeats the inputs of the sample before, so the limits stand.
        step(i);
        ++i;
        // Both counters now sit at or below their limits, so on the samples
        // that follow with the same inputs no limit cuts them, the countdown
        // only counts down until the next test, eventSeen holds (Pulsed mode
        // has just cleared it), and the output is a copy of one input.
        if (s.checkCountdown <= 0 || i >= end)
            continue;
        const int32_t limit = end - i > s.checkCountdown ? i + s.checkCountdown : end;
        const int32_t stop =
            sameInputsUntil(pulseWidth, checkDelay, pulseBits, checkBits, i, limit);
        const int32_t n = stop - i;
        s.checkCountdown -= n;
        if (kContinuous) {
            copySamples(b.output + i, (s.eventSeen ? b.highValue : b.lowValue) + i, n);
        } else {
            const int32_t high = s.pulseRemaining <= 0  ? 0
                                 : s.pulseRemaining < n ? s.pulseRemaining
                                                        : n;
            copySamples(b.output + i, b.highValue + i, high);
            copySamples(b.output + i + high, b.lowValue + i + high, n - high);
            s.pulseRemaining -= high;
        }
        i = stop;
    }
    state = s;
}

} // namespace detail

template <class Channel>
void processFast(ProcessState &s, const ProcessBuffers &b, uint16_t mode, float sampleRate,
                 int32_t offset, int32_t count, Channel &channel) {
    if (count <= 0)
        return;
    if (!b.complete())
        return;
    // The host writes "Mode" only between calls, so one choice serves the call.
    if (mode != 0)
        detail::processFastMode<true>(s, b, sampleRate, offset, offset + count, channel);
    else
        detail::processFastMode<false>(s, b, sampleRate, offset, offset + count, channel);
}

} // namespace farcue
} // namespace wl
