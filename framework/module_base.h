// The base of every module in a library: it owns the InstanceRecord the host
// talks to, answers the dispatcher and event entries, builds the pins at open
// and keeps the routine the host calls for each slice of samples.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostabi/host_interface.h"

namespace wl {

class ModuleBase;

// A process routine is called by the host directly through the record's
// process entry, so it has exactly the entry's C signature.
using ProcessRoutine = ProcessEntry;

// A parameterless module routine that a type-21 event may name. The module
// registers it first; addresses it did not register are never called.
using ModuleRoutine = void (*)(ModuleBase &module);

class Pin {
  public:
    Pin() = default;
    virtual ~Pin() = default;
    Pin(const Pin &) = delete;
    Pin &operator=(const Pin &) = delete;

    void init(ModuleBase *owner, int32_t pinIndex, int32_t pinDatatype, void *pinVariable);
    void announceStatus(int32_t clock, int32_t newStatus);
    void changeStatus(int32_t newStatus);

    void *variable = nullptr;
    ModuleBase *module = nullptr;
    int32_t index = 0;
    int32_t status = WL_STATUS_IDLE;
    int32_t datatype = 0;
    union Storage {
        uint8_t u8;
        uint16_t u16;
        uint32_t u32;
        void *address;
    } storage{};
};

class ModuleBase {
  public:
    ModuleBase(HostCallback callback, intptr_t hostValue);
    ModuleBase(const ModuleBase &) = delete;
    ModuleBase &operator=(const ModuleBase &) = delete;

    // Virtual operations, in the order of their slots.
    virtual ~ModuleBase();
    virtual void onPinStatusChange(Pin &pin);
    virtual void handleEvent(const HostEvent *event);
    virtual int32_t dispatch(int32_t request, int32_t index, int32_t value, void *ptr, float opt);
    virtual void open();
    virtual void close();
    virtual void unusedOperation1(int32_t a, int32_t b);
    virtual void setSampleRate(float rate);
    virtual void setBlockSize(int32_t size);
    virtual float getSampleRate() const;
    virtual int32_t getBlockSize() const;
    virtual bool describePin(int32_t index, PinDescriptor *descriptor);
    virtual bool unusedOperation2(int32_t a);
    virtual bool unusedOperation3(int32_t a);
    virtual void onRequest8();
    virtual void onDataMessage(int32_t timestamp, int32_t value, int16_t value2);
    virtual void onRequest12(int32_t index, void *ptr);

    InstanceRecord *record() { return &record_; }
    static void HOST_CALL processNothing(void *object, int32_t offset, int32_t count);

    intptr_t callHost(int32_t request, int32_t index, int32_t value, void *ptr, float opt) const;
    int32_t sampleClock() const;
    // No range check: callers pass indexes of pins that open initialised.
    Pin &pin(int32_t index) { return pins_[index]; }
    // The number of pins that open built (the host's pin count).
    int32_t pinCount() const { return pinCount_; }
    // The number of pins that open initialised (described ones plus repeats).
    int32_t initialisedPinCount() const { return initialisedPins_; }
    void setProcessRoutine(ProcessRoutine routine);
    ProcessRoutine processRoutine() const { return processRoutine_; }

  protected:
    // The base open.
    void createPins();
    // Makes `routine` callable through a type-21 event; false when full.
    bool registerRoutine(ModuleRoutine routine);

  private:
    static int32_t HOST_CALL dispatcherEntry(InstanceRecord *record, int32_t request, int32_t index,
                                             int32_t value, void *ptr, float opt);
    static void HOST_CALL eventEntry(void *object, HostEvent *event);
    void runRoutine(intptr_t address);
    void destroyPins();

    HostCallback callback_;
    InstanceRecord record_;
    float sampleRate_;
    int32_t blockSize_;
    Pin *pins_;
    ProcessRoutine processRoutine_;

    int32_t pinCount_ = 0;
    int32_t initialisedPins_ = 0;
    static constexpr int kMaxRoutines = 8;
    ModuleRoutine routines_[kMaxRoutines] = {};
};

} // namespace wl
