// A stand-in for the real host: it loads a module library through the OS
// loader and drives instances only through the two exports and the
// InstanceRecord entries, as the real host does. Tests and the wlhost
// program share it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hostabi/host_interface.h"

namespace wlhost {

struct Exports {
    GetModulePropertiesFn getModuleProperties = nullptr;
    MakeModuleFn makeModule = nullptr;
};

// A loaded module library; unloaded on destruction.
class Library {
  public:
    enum class Stage { Loaded, LoadFailed, SymbolsMissing };

    // Null on failure; `stage` and `error` say which step failed and why.
    static std::unique_ptr<Library> open(const std::string &path, Stage &stage, std::string &error);
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    const Exports &exports() const { return exports_; }

  private:
    Library(void *handle, Exports exports) : handle_(handle), exports_(exports) {}
    void *handle_;
    Exports exports_;
};

// One request the module made through its HostCallback.
struct HostRequest {
    int32_t request;
    int32_t index;
    int32_t value;
    void *ptr;
    float opt;
};

// One instance, with the buffers, texts and list values the host keeps for
// its pins. Closes the instance on destruction if it is still alive.
class Instance {
  public:
    // `pinCount` is what the host answers to request 14.
    explicit Instance(const Exports &exports, int32_t pinCount = 64, int32_t blockSize = 1024);
    ~Instance();
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;

    // makeModule; false when it returned null.
    bool create(int32_t index = 0, int32_t kind = 1, bool withCallback = true);
    InstanceRecord *record() const { return record_; }
    bool alive() const { return record_ != nullptr; }

    int32_t dispatch(int32_t request, int32_t index = 0, int32_t value = 0, void *ptr = nullptr,
                     float opt = 0.0f);
    void setSampleRate(float rate);
    // Also resizes the host's buffers.
    void setBlockSize(int32_t size);
    // Zero-fills `d`, then asks; true when the pin exists.
    bool describePin(int32_t index, PinDescriptor &d);
    // Describes pins 0, 1, ... until the module says no, and writes the host's
    // side of every pin variable (buffer addresses, texts, list choices).
    const std::vector<PinDescriptor> &bindPins();
    const std::vector<PinDescriptor> &pins() const { return pins_; }
    int findPin(const std::string &name) const;
    void open();
    // The close request; the instance is gone afterwards.
    int32_t close();

    // The host's buffer for a pin, one block long. Streams fill the whole buffer.
    std::vector<float> &buffer(int32_t pin);
    void setStream(int32_t pin, float value);
    void setList(int32_t pin, uint16_t choice);
    // Keeps its own copy of the text; a null text clears the pointer.
    void setText(int32_t pin, const char *text);

    void sendEvent(int32_t type, intptr_t target, int32_t value = 0, int16_t value2 = 0);
    // A pin status event (type 0).
    void pinChanged(int32_t pin, int32_t status = WL_STATUS_CHANGED);

    // One process call on the current buffers; the clock advances by count.
    void process(int32_t offset, int32_t count);
    // A whole block, cut into slices that add up to the block size.
    void processBlock(const std::vector<int32_t> &slices = {});

    int32_t clock() const { return clock_; }
    int32_t blockSize() const { return blockSize_; }
    std::vector<HostRequest> requests; // every callback, in order

  private:
    static intptr_t HOST_CALL callback(InstanceRecord *record, int32_t request, int32_t index,
                                       int32_t value, void *ptr, float opt);
    void writeStreamVariables();

    Exports exports_;
    int32_t pinCount_;
    int32_t blockSize_;
    int32_t clock_ = 0;
    InstanceRecord *record_ = nullptr;
    std::vector<PinDescriptor> pins_;
    std::map<int32_t, std::vector<float>> buffers_; // per pin; addresses stay put
    std::vector<std::unique_ptr<std::string>> texts_;
};

} // namespace wlhost
