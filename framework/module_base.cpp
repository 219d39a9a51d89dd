#include "framework/module_base.h"

#include <climits>
#include <new>

namespace wl {

void Pin::init(ModuleBase *owner, int32_t pinIndex, int32_t pinDatatype, void *pinVariable) {
    module = owner;
    index = pinIndex;
    datatype = pinDatatype;
    variable = pinVariable;
    status = WL_STATUS_IDLE;
    if (variable != nullptr) {
        storage.u32 = 0;
        return;
    }
    switch (datatype) {
    case WL_TYPE_LIST:
        storage.u16 = 0;
        variable = &storage;
        break;
    case WL_TYPE_BYTE:
        storage.u8 = 0;
        variable = &storage;
        break;
    case WL_TYPE_INT32:
        storage.u32 = 0;
        variable = &storage;
        break;
    case WL_TYPE_STREAM:
        storage.address =
            reinterpret_cast<void *>(module->callHost(WL_HOST_PIN_BUFFER, index, 0, nullptr, 0.0f));
        variable = &storage;
        break;
    default:
        break;
    }
}

void Pin::announceStatus(int32_t clock, int32_t newStatus) {
    module->callHost(WL_HOST_PIN_STATUS, index, newStatus,
                     reinterpret_cast<void *>(static_cast<intptr_t>(clock)), 0.0f);
}

void Pin::changeStatus(int32_t newStatus) {
    status = newStatus;
    module->onPinStatusChange(*this);
    if (newStatus == WL_STATUS_CHANGED)
        status = WL_STATUS_IDLE;
}

ModuleBase::ModuleBase(HostCallback callback, intptr_t hostValue)
    : callback_(callback), record_(), sampleRate_(44100.0f), blockSize_(1024), pins_(nullptr),
      processRoutine_(&ModuleBase::processNothing) {
    record_.magic = WL_INSTANCE_MAGIC;
    record_.version = WL_INSTANCE_VERSION;
    record_.hostValue = hostValue;
    record_.object = this;
    record_.dispatcher = &ModuleBase::dispatcherEntry;
    record_.event = &ModuleBase::eventEntry;
    record_.process = &ModuleBase::processNothing;
}

ModuleBase::~ModuleBase() { destroyPins(); }

void ModuleBase::destroyPins() {
    // delete[] destroys the pins from the last to the first.
    delete[] pins_;
    pins_ = nullptr;
    pinCount_ = 0;
    initialisedPins_ = 0;
}

void ModuleBase::onPinStatusChange(Pin &) {}

void ModuleBase::handleEvent(const HostEvent *event) {
    if (event == nullptr)
        return;
    switch (event->type) {
    case WL_EVENT_PIN_STATUS:
        // Only pins that open initialised exist for the module; anything else
        // (before open, negative, beyond them) is ignored.
        if (event->target >= 0 && event->target < initialisedPins_)
            pins_[event->target].changeStatus(event->value);
        break;
    case WL_EVENT_DATA:
        onDataMessage(event->timestamp, event->value, event->value2);
        break;
    case WL_EVENT_RUN_ROUTINE:
        runRoutine(event->target);
        break;
    default:
        break;
    }
}

int32_t ModuleBase::dispatch(int32_t request, int32_t index, int32_t value, void *ptr, float opt) {
    switch (request) {
    case WL_REQ_OPEN:
        open();
        return 0;
    case WL_REQ_CLOSE:
        close();
        delete this;
        return 1;
    case WL_REQ_SET_SAMPLE_RATE:
        setSampleRate(opt);
        return 0;
    case WL_REQ_SET_BLOCK_SIZE:
        setBlockSize(value);
        return 0;
    case WL_REQ_DESCRIBE_PIN:
        return describePin(index, static_cast<PinDescriptor *>(ptr)) ? 1 : 0;
    case WL_REQ_REQUEST8:
        onRequest8();
        return 0;
    case WL_REQ_REQUEST12:
        onRequest12(index, ptr);
        return 0;
    default:
        return 0;
    }
}

void ModuleBase::open() { createPins(); }
void ModuleBase::close() {}
void ModuleBase::unusedOperation1(int32_t, int32_t) {}
void ModuleBase::setSampleRate(float rate) { sampleRate_ = rate; }
void ModuleBase::setBlockSize(int32_t size) { blockSize_ = size; }
float ModuleBase::getSampleRate() const { return sampleRate_; }
int32_t ModuleBase::getBlockSize() const { return blockSize_; }
bool ModuleBase::describePin(int32_t, PinDescriptor *) { return false; }
bool ModuleBase::unusedOperation2(int32_t) { return false; }
bool ModuleBase::unusedOperation3(int32_t) { return false; }
void ModuleBase::onRequest8() {}
void ModuleBase::onDataMessage(int32_t, int32_t, int16_t) {}
void ModuleBase::onRequest12(int32_t, void *) {}

void HOST_CALL ModuleBase::processNothing(void *, int32_t, int32_t) {}

intptr_t ModuleBase::callHost(int32_t request, int32_t index, int32_t value, void *ptr,
                              float opt) const {
    if (callback_ == nullptr)
        return 0;
    return callback_(const_cast<InstanceRecord *>(&record_), request, index, value, ptr, opt);
}

int32_t ModuleBase::sampleClock() const {
    return static_cast<int32_t>(callHost(WL_HOST_SAMPLE_CLOCK, 0, 0, nullptr, 0.0f));
}

void ModuleBase::setProcessRoutine(ProcessRoutine routine) {
    if (routine == processRoutine_)
        return;
    processRoutine_ = routine;
    record_.process = routine;
    callHost(WL_HOST_PROCESS_CHANGED, 0, 0, nullptr, 0.0f);
}

void ModuleBase::createPins() {
    // A second open starts afresh rather than leaking the earlier array.
    destroyPins();

    intptr_t reported = callHost(WL_HOST_PIN_COUNT, 0, 0, nullptr, 0.0f);
    int32_t count = reported < 0 ? 0 : reported > INT32_MAX ? INT32_MAX : static_cast<int32_t>(reported);
    pins_ = new (std::nothrow) Pin[static_cast<size_t>(count)];
    if (pins_ == nullptr)
        count = 0; // no pins: every later pin event is ignored
    pinCount_ = count;

    int32_t i = 0;
    PinDescriptor d{};
    bool described = describePin(0, &d);
    while (described && i < count) {
        pins_[i].init(this, i, d.datatype, d.variable);
        ++i;
        d = PinDescriptor{};
        described = describePin(i, &d);
    }
    initialisedPins_ = i;

    d = PinDescriptor{};
    describePin(i - 1, &d);
    if ((d.flags & WL_PIN_REPEATS) != 0) {
        for (int32_t j = i; j < count; ++j)
            pins_[j].init(this, j, d.datatype, nullptr);
        initialisedPins_ = count;
    }
}

bool ModuleBase::registerRoutine(ModuleRoutine routine) {
    for (auto &slot : routines_) {
        if (slot == routine)
            return true;
        if (slot == nullptr) {
            slot = routine;
            return true;
        }
    }
    return false;
}

void ModuleBase::runRoutine(intptr_t address) {
    if (address == 0)
        return;
    for (ModuleRoutine routine : routines_) {
        if (routine != nullptr && reinterpret_cast<intptr_t>(routine) == address) {
            routine(*this);
            return;
        }
    }
}

// Nothing may unwind into the host: a throwing module answers as a failed
// request instead.
int32_t HOST_CALL ModuleBase::dispatcherEntry(InstanceRecord *record, int32_t request, int32_t index,
                                              int32_t value, void *ptr, float opt) {
    if (record == nullptr || record->object == nullptr)
        return 0;
    try {
        return static_cast<ModuleBase *>(record->object)->dispatch(request, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void HOST_CALL ModuleBase::eventEntry(void *object, HostEvent *event) {
    if (object == nullptr)
        return;
    try {
        static_cast<ModuleBase *>(object)->handleEvent(event);
    } catch (...) {
    }
}

} // namespace wl
