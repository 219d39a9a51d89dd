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
    int32_t pulseLength = 0;    // recomputed on every sample
    int32_t checkCountdown = 0;
    int32_t checkInterval = 0;  // recomputed on every sample
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
inline int32_t sameInputsUntil(const float *pulseWidth, const float *checkDelay,
                               uint32_t pulseBits, uint32_t checkBits, int32_t from, int32_t to) {
    int32_t k = from;
    // Inputs that change on every sample fail here, before the wide loop.
    if (k < to && (bitsOf(pulseWidth + k) != pulseBits || bitsOf(checkDelay + k) != checkBits))
        return k;
    // Fixed-length chunks without an early exit, which the compiler vectorises
    // (shorter ones it unrolls fully instead).
    constexpr int32_t kChunk = 64;
    while (to - k >= kChunk) {
        uint32_t differ = 0;
        for (int32_t j = 0; j < kChunk; ++j)
            differ |= (bitsOf(pulseWidth + k + j) ^ pulseBits) | (bitsOf(checkDelay + k + j) ^ checkBits);
        if (differ != 0)
            break;
        k += kChunk;
    }
    while (k < to && bitsOf(pulseWidth + k) == pulseBits && bitsOf(checkDelay + k) == checkBits)
        ++k;
    return k;
}

inline void copySamples(float *to, const float *from, int32_t n) {
    // memmove: the host may hand the same buffer as input and output.
    if (n > 0)
        std::memmove(to, from, static_cast<size_t>(n) * sizeof(float));
}

template <bool kContinuous, class Channel>
void processFastMode(ProcessState &state, const ProcessBuffers &b, float sampleRate, int32_t offset,
                     int32_t end, Channel &channel) {
    // Locals: the compiler can keep them in registers across the channel calls.
    ProcessState s = state;
    // The inputs the limits were last computed from; the first sample always
    // computes them.
    uint32_t pulseBits = bitsOf(b.pulseWidth + offset) ^ 1u;
    uint32_t checkBits = 0;
    int32_t i = offset;
    while (i < end) {
        // Sample i exactly as the reference loop does it. Equal bits give equal
        // products, so inputs unchanged since the last sample keep the limits.
        const uint32_t pulseNow = bitsOf(b.pulseWidth + i);
        const uint32_t checkNow = bitsOf(b.checkDelay + i);
        const bool unchanged = pulseNow == pulseBits && checkNow == checkBits;
        if (!unchanged) {
            pulseBits = pulseNow;
            checkBits = checkNow;
            s.pulseLength = truncProduct(b.pulseWidth[i], sampleRate);
            s.checkInterval = truncProduct(sampleRate, b.checkDelay[i]);
        }
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
            b.output[i] = s.eventSeen ? b.highValue[i] : b.lowValue[i];
        } else {
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
        ++i;
        // Both counters now sit at or below their limits, so on the samples
        // that follow with the same inputs no limit cuts them, the countdown
        // only counts down until the next test, eventSeen holds (Pulsed mode
        // has just cleared it), and the output is a copy of one input. Look
        // ahead only once two samples in a row agree: inputs that change on
        // every sample then cost no more than the reference loop.
        if (!unchanged || s.checkCountdown <= 0 || i >= end)
            continue;
        const int32_t limit = end - i > s.checkCountdown ? i + s.checkCountdown : end;
        const int32_t stop =
            sameInputsUntil(b.pulseWidth, b.checkDelay, pulseBits, checkBits, i, limit);
        const int32_t n = stop - i;
        if (n == 0)
            continue;
        s.checkCountdown -= n;
        if (kContinuous) {
            copySamples(b.output + i, (s.eventSeen ? b.highValue : b.lowValue) + i, n);
        } else {
            const int32_t high = s.pulseRemaining <= 0 ? 0
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
