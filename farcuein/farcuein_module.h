// "Farcue In": turns a named event channel into a sample stream. Pulsed mode
// clears each set it finds and holds "High Value" for "Pulse Width" seconds;
// Continuous mode holds "High Value" while the channel stays set. Otherwise
// the output is "Low Value".
#pragma once

#include <cstdint>

#include "channel/event_channel.h"
#include "framework/module_base.h"

namespace wl {

// trunc(a * b): the exact product of two floats, rounded toward zero to a
// signed 32-bit integer. Products beyond that range keep the low 32 bits of
// the 64-bit truncation; not-a-number or a magnitude of 2^63 or more give 0.
int32_t truncProduct(float a, float b);

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

    // The per-sample routine, as the host calls it through the process entry.
    static void HOST_CALL processSamples(void *object, int32_t offset, int32_t count);

  private:
    void run(int32_t offset, int32_t count);
    void joinChannel();

    float *output = nullptr;
    float *lowValue = nullptr;
    float *highValue = nullptr;
    float *pulseWidth = nullptr;
    float *checkDelay = nullptr;
    int32_t pulseRemaining = 0;
    int32_t pulseLength = 0;
    int32_t checkCountdown = 0;
    int32_t checkInterval = 0;
    const char *eventName = nullptr;
    char objectName[channel::kNameCapacity] = {};
    uint16_t mode = 0;
    bool eventSeen = false;
    float sampleRate = 44100.0f;
    channel::ChannelHandle eventHandle = nullptr;
};

} // namespace wl
