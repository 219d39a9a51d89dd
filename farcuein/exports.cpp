// The library's two exports.
#include <new>

#include "farcuein/farcuein_module.h"
#include "hostabi/host_interface.h"

extern "C" {

WLM_EXPORT int32_t HOST_CALL getModuleProperties(int32_t index, ModuleProperties *props) {
    if (props == nullptr)
        return 0;
    props->flags = WL_MODULE_FLAGS;
    if (index != 0)
        return 0;
    props->name = "Farcue In";
    props->id = "QLMRT FarcueIn";
    props->about = "by Quillomar (MS)";
    return 1;
}

WLM_EXPORT InstanceRecord *HOST_CALL makeModule(int32_t index, int32_t kind, HostCallback callback,
                                                intptr_t hostValue) {
    if (index != 0 || kind != 1)
        return nullptr;
    auto *module = new (std::nothrow) wl::FarcueInModule(callback, hostValue);
    return module != nullptr ? module->record() : nullptr;
}

} // extern "C"
