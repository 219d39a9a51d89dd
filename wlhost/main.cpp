// wlhost: a stand-in host that inspects, runs and validates module libraries
// through their two exports and records, as the real host drives them.
#include <cstdio>
#include <string>

#include "wlhost/cli.h"
#include "wlhost/commands.h"

namespace wlhost {

const char kUsage[] =
    "Usage:\n"
    "  wlhost info LIBRARY [--json]\n"
    "  wlhost run LIBRARY [--rate HZ] [--block N] [--pin \"NAME=VALUE\"]... [--seconds S]\n"
    "                     [--realtime] [--json] [--wav FILE] [--plot FILE.png]\n"
    "  wlhost validate LIBRARY [--start N] [--case TEXT] [--timeout S] [--json]\n"
    "\n"
    "info      the module types and their pins, as the library describes them\n"
    "run       one instance processing blocks; prints each change of an output\n"
    "          --pin takes a number (sample stream), a label or number (list) or text;\n"
    "          --realtime paces blocks to the clock until --seconds or Ctrl-C\n"
    "validate  checks the library case by case, each case in a child process\n"
    "\n"
    "Exit status: 0 done, 1 validate found failures, 2 usage, 3 load, 4 exports,\n"
    "5 instance or pin value, 6 output file.\n";

} // namespace wlhost

int main(int argc, char **argv) {
    using namespace wlhost;
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    std::string command = argv[1];
    Args args(argv + 2, argv + argc);
    if (command == "info")
        return infoCommand(args);
    if (command == "run")
        return runCommand(args);
    if (command == "validate")
        return validateCommand(args);
    if (command == "validate-case")
        return validateCaseCommand(args);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    reportError(command, "unknown command");
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
