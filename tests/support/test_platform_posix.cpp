// Nothing to set up for tests on POSIX systems.
namespace wltest {
int platformSetupDone = 1;
}
