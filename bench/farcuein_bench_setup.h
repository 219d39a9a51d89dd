// One "Farcue In" instance driven through its record by the stand-in host,
// with the input patterns the benchmarks time. Shared by the Google Benchmark
// program and the self-timing one.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "farcuein/farcuein_module.h"
#include "wlhost/standin_host.h"

namespace wlbench {

inline constexpr int32_t kBlock = 1024;

enum class Inputs { Steady, Changing };

inline InstanceRecord *HOST_CALL makeFarcueIn(int32_t index, int32_t kind, HostCallback callback,
                                              intptr_t hostValue) {
    if (index != 0 || kind != 1)
        return nullptr;
    return (new wl::FarcueInModule(callback, hostValue))->record();
}

class BenchInstance {
  public:
    BenchInstance(uint16_t mode, Inputs inputs)
        : host_(wlhost::Exports{nullptr, &makeFarcueIn}, wl::FarcueInModule::kPinCount, kBlock) {
        host_.create();
        host_.setSampleRate(44100.0f);
        host_.bindPins();
        host_.open();
        host_.setStream(wl::FarcueInModule::kLowValue, 0.0f);
        host_.setStream(wl::FarcueInModule::kHighValue, 5.0f);
        host_.setList(wl::FarcueInModule::kMode, mode);
        host_.pinChanged(wl::FarcueInModule::kMode);
        host_.setText(wl::FarcueInModule::kEventName, "WLBENCH");
        host_.pinChanged(wl::FarcueInModule::kEventName);
        auto &checkDelay = host_.buffer(wl::FarcueInModule::kCheckDelay);
        auto &pulseWidth = host_.buffer(wl::FarcueInModule::kPulseWidth);
        for (int32_t i = 0; i < kBlock; ++i) {
            auto k = static_cast<size_t>(i);
            if (inputs == Inputs::Steady) {
                // The pins' defaults: a test every five seconds, one-second pulses.
                checkDelay[k] = 5.0f;
                pulseWidth[k] = 1.0f;
            } else {
                // A different value on every sample: tests a few hundred samples apart.
                checkDelay[k] = 0.005f + 1e-6f * static_cast<float>(i);
                pulseWidth[k] = 0.002f + 1e-6f * static_cast<float>(i);
            }
        }
    }

    InstanceRecord *record() const { return host_.record(); }
    void *object() const { return host_.record()->object; }
    // The routine the module installed, as the host calls it.
    void processBlock() const { record()->process(object(), 0, kBlock); }

  private:
    wlhost::Instance host_;
};

} // namespace wlbench
