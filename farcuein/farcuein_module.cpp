#include "farcuein/farcuein_module.h"

#include <cmath>

namespace wl {

int32_t truncProductWide(double product) {
    if (product > -2147483649.0 && product < 2147483648.0)
        return static_cast<int32_t>(product);
    if (std::isnan(product) || std::fabs(product) >= 9223372036854775808.0)
        return 0;
    auto low = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(product)));
    return static_cast<int32_t>(low);
}

namespace {

// The shipped channel policy of the process routines: straight calls.
struct HandleChannel {
    channel::ChannelHandle handle;
    bool test() const { return channel::test(handle); }
    void reset() const { channel::reset(handle); }
};

} // namespace

FarcueInModule::FarcueInModule(HostCallback callback, intptr_t hostValue)
    : ModuleBase(callback, hostValue) {}

FarcueInModule::~FarcueInModule() {
    channel::close(eventHandle);
    eventHandle = nullptr;
}

bool FarcueInModule::describePin(int32_t index, PinDescriptor *d) {
    if (d == nullptr)
        return false;
    auto input = [d](void *variable, int32_t datatype, const char *name, const char *def) {
        d->variable = variable;
        d->direction = WL_DIR_INPUT;
        d->datatype = datatype;
        d->name = name;
        d->defaultValue = def;
    };
    switch (index) {
    case kLowValue:
        input(&lowValue, WL_TYPE_STREAM, "Low Value", "0.0");
        return true;
    case kHighValue:
        input(&highValue, WL_TYPE_STREAM, "High Value", "5.0");
        return true;
    case kCheckDelay:
        input(&checkDelay, WL_TYPE_STREAM, "Check Delay", "5.0");
        return true;
    case kPulseWidth:
        input(&pulseWidth, WL_TYPE_STREAM, "Pulse Width", "1.0");
        return true;
    case kMode:
        input(&mode, WL_TYPE_LIST, "Mode", "0");
        d->extra = "Pulsed=0,Continuous=1";
        return true;
    case kEventName:
        input(&eventName, WL_TYPE_TEXT, "Event Name", "EVENT");
        return true;
    case kOutput:
        d->variable = &output;
        d->direction = WL_DIR_OUTPUT;
        d->datatype = WL_TYPE_STREAM;
        d->name = "Output";
        return true;
    default:
        return false;
    }
}

void FarcueInModule::open() {
    ModuleBase::open();
    setProcessRoutine(&FarcueInModule::processSamples);
    sampleRate = getSampleRate();
    // A host that keeps fewer pins than the output's index has no pin to
    // announce on.
    if (initialisedPinCount() > kOutput)
        pin(kOutput).announceStatus(sampleClock(), WL_STATUS_STREAM);
}

void FarcueInModule::close() {}

void FarcueInModule::onPinStatusChange(Pin &changed) {
    switch (changed.index) {
    case kMode:
        counters.checkCountdown = 0;
        counters.pulseRemaining = 0;
        counters.eventSeen = false;
        channel::reset(eventHandle);
        break;
    case kEventName:
        joinChannel();
        break;
    default:
        break;
    }
}

void FarcueInModule::joinChannel() {
    // Join the new name before letting go of the old one: when the host
    // reports the same name again, the event (and a pending set) survives.
    channel::ChannelHandle joined = nullptr;
    if (eventName != nullptr) {
        channel::makeChannelName(eventName, objectName);
        joined = channel::createOrJoin(objectName);
    }
    channel::close(eventHandle);
    eventHandle = joined;
}

farcue::ProcessBuffers FarcueInModule::buffers() const {
    return farcue::ProcessBuffers{output, lowValue, highValue, pulseWidth, checkDelay};
}

void HOST_CALL FarcueInModule::processSamples(void *object, int32_t offset, int32_t count) {
    auto *self = static_cast<FarcueInModule *>(static_cast<ModuleBase *>(object));
    HandleChannel channel{self->eventHandle};
    farcue::processFast(self->counters, self->buffers(), self->mode, self->sampleRate, offset,
                        count, channel);
}

void HOST_CALL FarcueInModule::processSamplesReference(void *object, int32_t offset,
                                                       int32_t count) {
    auto *self = static_cast<FarcueInModule *>(static_cast<ModuleBase *>(object));
    HandleChannel channel{self->eventHandle};
    farcue::processReference(self->counters, self->buffers(), self->mode, self->sampleRate, offset,
                             count, channel);
}

} // namespace wl
