// The common part of the deliberately broken module libraries that the
// wlhost tests validate: three pins ("In", "Choice", "Output") and a process
// routine that copies In to Output. Each library breaks one thing.
#pragma once

#include <cstdint>

#include "framework/module_base.h"
#include "hostabi/host_interface.h"

namespace wltest {

class BrokenModuleBase : public wl::ModuleBase {
  public:
    using ModuleBase::ModuleBase;

    bool describePin(int32_t index, PinDescriptor *d) override {
        switch (index) {
        case 0:
            *d = PinDescriptor{&in, WL_DIR_INPUT, WL_TYPE_STREAM, "In", "1.0", nullptr, 0, 0};
            return true;
        case 1:
            *d = PinDescriptor{
                &choice, WL_DIR_INPUT, WL_TYPE_LIST, "Choice", "0", "Calm=0,Crash=1", 0, 0};
            return true;
        case 2:
            *d = PinDescriptor{&out, WL_DIR_OUTPUT, WL_TYPE_STREAM, "Output", nullptr, nullptr, 0,
                               0};
            return true;
        default:
            return false;
        }
    }

    void open() override {
        ModuleBase::open();
        rate = getSampleRate();
        setProcessRoutine(&BrokenModuleBase::processEntry);
    }

  protected:
    virtual void run(int32_t offset, int32_t count) {
        for (int32_t i = offset; i < offset + count; ++i)
            out[i] = in[i];
    }

    float *in = nullptr;
    float *out = nullptr;
    uint16_t choice = 0;
    float rate = 44100.0f;

  private:
    static void HOST_CALL processEntry(void *object, int32_t offset, int32_t count) {
        static_cast<BrokenModuleBase *>(static_cast<wl::ModuleBase *>(object))->run(offset, count);
    }
};

} // namespace wltest

// The two exports, for a library whose one module type is `Module`.
#define WLTEST_BROKEN_EXPORTS(Module, Name)                                                        \
    extern "C" WLM_EXPORT int32_t HOST_CALL getModuleProperties(int32_t index,                     \
                                                                ModuleProperties *props) {         \
        props->flags = WL_MODULE_FLAGS;                                                            \
        if (index != 0)                                                                            \
            return 0;                                                                              \
        props->name = Name;                                                                        \
        props->id = "WLTEST " Name;                                                                \
        props->about = "broken on purpose, for the wlhost tests";                                  \
        return 1;                                                                                  \
    }                                                                                              \
    extern "C" WLM_EXPORT InstanceRecord *HOST_CALL makeModule(                                    \
        int32_t index, int32_t kind, HostCallback callback, intptr_t hostValue) {                  \
        if (index != 0 || kind != 1)                                                               \
            return nullptr;                                                                        \
        return (new Module(callback, hostValue))->record();                                        \
    }
