// Leaves the last sample of every slice unwritten.
#include "tests/broken_modules/broken_module.h"

namespace {

class UnwrittenOutput : public wltest::BrokenModuleBase {
  public:
    using BrokenModuleBase::BrokenModuleBase;

  protected:
    void run(int32_t offset, int32_t count) override {
        for (int32_t i = offset; i < offset + count - 1; ++i)
            out[i] = in[i];
    }
};

} // namespace

WLTEST_BROKEN_EXPORTS(UnwrittenOutput, "Unwritten Output")
