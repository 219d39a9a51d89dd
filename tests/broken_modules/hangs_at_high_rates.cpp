// Never returns from a process call at sample rates above 100 kHz.
#include "tests/broken_modules/broken_module.h"

namespace {

class HangsAtHighRates : public wltest::BrokenModuleBase {
  public:
    using BrokenModuleBase::BrokenModuleBase;

  protected:
    void run(int32_t offset, int32_t count) override {
        volatile bool forever = rate > 100000.0f;
        while (forever) {
        }
        BrokenModuleBase::run(offset, count);
    }
};

} // namespace

WLTEST_BROKEN_EXPORTS(HangsAtHighRates, "Hangs At High Rates")
