// "Farcue In": turns a named event channel into a sample stream. Pulsed mode
// clears each set it finds and holds "High Value" for "Pulse Width" seconds;
// Continuous mode holds "High Value" while the channel stays set. Otherwise
// the output is "Low Value".
#pragma once

#include <cstdint>

#include "channel/event_channel.h"
#include "farcuein/farcuein_process.h"
#include "framework/module_base.h"

namespace wl {

class FarcueInModule : public ModuleBase {
  public:
    enum PinIndex : int32_t {
        kLowValue = 0,
        kHighValue = 1,
        kCheckDelay = 2,
        kPulseWidth = 3,
        kMode = 4,
        kEventName = 5,
        kOutput = 6,
        kPinCount = 7,
    };

    FarcueInModule(HostCallback callback, intptr_t hostValue);
    ~FarcueInModule() override;

    void onPinStatusChange(Pin &pin) override;
    void open() override;
    void close() override;
    bool describePin(int32_t index, PinDescriptor *descriptor) override;

    // The process routine that open installs: farcue::processFast.
    static void HOST_CALL processSamples(void *object, int32_t offset, int32_t count);
    // The per-sample loop (farcue::processReference), with the same entry
    // signature; the benchmarks time it beside the fast one.
    static void HOST_CALL processSamplesReference(void *object, int32_t offset, int32_t count);

  private:
    farcue::ProcessBuffers buffers() const;
    void joinChannel();

    float *output = nullptr;
    float *lowValue = nullptr;
    float *highValue = nullptr;
    float *pulseWidth = nullptr;
    float *checkDelay = nullptr;
    // pulseRemaining, pulseLength, checkCountdown, checkInterval, eventSeen.
    farcue::ProcessState counters;
    const char *eventName = nullptr;
    char objectName[channel::kNameCapacity] = {};
    uint16_t mode = 0;
    float sampleRate = 44100.0f;
    channel::ChannelHandle eventHandle = nullptr;
};

} // namespace wl
