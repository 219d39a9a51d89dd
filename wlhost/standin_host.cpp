#include "wlhost/standin_host.h"

#include <algorithm>
#include <cstring>

#include "wlhost/library_loader.h"

namespace wlhost {

std::unique_ptr<Library> Library::open(const std::string &path, Stage &stage, std::string &error) {
    void *handle = loadLibrary(path, error);
    if (handle == nullptr) {
        stage = Stage::LoadFailed;
        return nullptr;
    }
    Exports exports;
    exports.getModuleProperties =
        reinterpret_cast<GetModulePropertiesFn>(findSymbol(handle, "getModuleProperties"));
    exports.makeModule = reinterpret_cast<MakeModuleFn>(findSymbol(handle, "makeModule"));
    if (exports.getModuleProperties == nullptr || exports.makeModule == nullptr) {
        error = exports.getModuleProperties == nullptr ? "no export getModuleProperties"
                                                       : "no export makeModule";
        unloadLibrary(handle);
        stage = Stage::SymbolsMissing;
        return nullptr;
    }
    stage = Stage::Loaded;
    return std::unique_ptr<Library>(new Library(handle, exports));
}

Library::~Library() { unloadLibrary(handle_); }

Instance::Instance(const Exports &exports, int32_t pinCount, int32_t blockSize)
    : exports_(exports), pinCount_(pinCount), blockSize_(blockSize) {}

Instance::~Instance() {
    if (alive())
        close();
}

bool Instance::create(int32_t index, int32_t kind, bool withCallback) {
    record_ = exports_.makeModule(index, kind, withCallback ? &Instance::callback : nullptr,
                                  reinterpret_cast<intptr_t>(this));
    return record_ != nullptr;
}

intptr_t HOST_CALL Instance::callback(InstanceRecord *record, int32_t request, int32_t index,
                                      int32_t value, void *ptr, float opt) {
    // The host value the instance was made with is this Instance.
    auto *self = reinterpret_cast<Instance *>(record->hostValue);
    self->requests.push_back(HostRequest{request, index, value, ptr, opt});
    switch (request) {
    case WL_HOST_SAMPLE_CLOCK:
        return self->clock_;
    case WL_HOST_PIN_BUFFER:
        if (index >= 0 && index < self->pinCount_)
            return reinterpret_cast<intptr_t>(self->buffer(index).data());
        return 0;
    case WL_HOST_PIN_COUNT:
        return self->pinCount_;
    default:
        return 0;
    }
}

int32_t Instance::dispatch(int32_t request, int32_t index, int32_t value, void *ptr, float opt) {
    return record_->dispatcher(record_, request, index, value, ptr, opt);
}

void Instance::setSampleRate(float rate) { dispatch(WL_REQ_SET_SAMPLE_RATE, 0, 0, nullptr, rate); }

void Instance::setBlockSize(int32_t size) {
    blockSize_ = size;
    for (auto &entry : buffers_)
        entry.second.resize(static_cast<size_t>(size > 0 ? size : 0), 0.0f);
    writeStreamVariables();
    dispatch(WL_REQ_SET_BLOCK_SIZE, 0, size);
}

bool Instance::describePin(int32_t index, PinDescriptor &d) {
    d = PinDescriptor{};
    return dispatch(WL_REQ_DESCRIBE_PIN, index, 0, &d) != 0;
}

const std::vector<PinDescriptor> &Instance::bindPins() {
    pins_.clear();
    PinDescriptor d;
    while (static_cast<int32_t>(pins_.size()) < pinCount_ &&
           describePin(static_cast<int32_t>(pins_.size()), d))
        pins_.push_back(d);
    texts_.resize(pins_.size());
    for (size_t i = 0; i < pins_.size(); ++i) {
        if (pins_[i].datatype == WL_TYPE_TEXT && pins_[i].defaultValue != nullptr)
            setText(static_cast<int32_t>(i), pins_[i].defaultValue);
    }
    writeStreamVariables();
    return pins_;
}

int Instance::findPin(const std::string &name) const {
    for (size_t i = 0; i < pins_.size(); ++i)
        if (pins_[i].name != nullptr && name == pins_[i].name)
            return static_cast<int>(i);
    return -1;
}

void Instance::writeStreamVariables() {
    for (size_t i = 0; i < pins_.size(); ++i) {
        if (pins_[i].datatype == WL_TYPE_STREAM && pins_[i].variable != nullptr)
            *static_cast<float **>(pins_[i].variable) = buffer(static_cast<int32_t>(i)).data();
    }
}

void Instance::open() { dispatch(WL_REQ_OPEN); }

int32_t Instance::close() {
    int32_t result = dispatch(WL_REQ_CLOSE);
    record_ = nullptr;
    return result;
}

std::vector<float> &Instance::buffer(int32_t pin) {
    // Made on first use: a host may keep far more pins than anyone asks about.
    auto found = buffers_.find(pin);
    if (found == buffers_.end())
        found = buffers_
                    .emplace(pin, std::vector<float>(
                                      static_cast<size_t>(blockSize_ > 0 ? blockSize_ : 0), 0.0f))
                    .first;
    return found->second;
}

void Instance::setStream(int32_t pin, float value) {
    auto &b = buffer(pin);
    std::fill(b.begin(), b.end(), value);
}

void Instance::setList(int32_t pin, uint16_t choice) {
    void *variable = pins_.at(static_cast<size_t>(pin)).variable;
    if (variable != nullptr)
        std::memcpy(variable, &choice, sizeof choice);
}

void Instance::setText(int32_t pin, const char *text) {
    size_t i = static_cast<size_t>(pin);
    void *variable = pins_.at(i).variable;
    if (text == nullptr) {
        texts_[i].reset();
    } else {
        texts_[i] = std::make_unique<std::string>(text);
    }
    if (variable != nullptr)
        *static_cast<const char **>(variable) = texts_[i] ? texts_[i]->c_str() : nullptr;
}

void Instance::sendEvent(int32_t type, intptr_t target, int32_t value, int16_t value2) {
    HostEvent event{};
    event.timestamp = clock_;
    event.type = type;
    event.value = value;
    event.value2 = value2;
    event.target = target;
    record_->event(record_->object, &event);
}

void Instance::pinChanged(int32_t pin, int32_t status) {
    sendEvent(WL_EVENT_PIN_STATUS, pin, status);
}

void Instance::process(int32_t offset, int32_t count) {
    // The entry is read anew on every call: request 22 may have changed it.
    record_->process(record_->object, offset, count);
    if (count > 0)
        clock_ += count;
}

void Instance::processBlock(const std::vector<int32_t> &slices) {
    if (slices.empty()) {
        process(0, blockSize_);
        return;
    }
    int32_t offset = 0;
    for (int32_t count : slices) {
        process(offset, count);
        offset += count;
    }
}

} // namespace wlhost
