// A crash under wine must fail the test rather than wait on a dialog.
#include <windows.h>

namespace wltest {
namespace {
struct NoCrashDialogs {
    NoCrashDialogs() { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX); }
} noCrashDialogs;
} // namespace
int platformSetupDone = 1;
} // namespace wltest
