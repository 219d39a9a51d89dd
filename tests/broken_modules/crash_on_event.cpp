// Crashes when the host reports that "Choice" became "Crash".
#include "tests/broken_modules/broken_module.h"

namespace {

class CrashOnEvent : public wltest::BrokenModuleBase {
  public:
    using BrokenModuleBase::BrokenModuleBase;
    void onPinStatusChange(wl::Pin &pin) override {
        if (pin.index == 1 && choice != 0) {
            volatile int *nowhere = nullptr;
            *nowhere = 1;
        }
    }
};

} // namespace

WLTEST_BROKEN_EXPORTS(CrashOnEvent, "Crash On Event")
