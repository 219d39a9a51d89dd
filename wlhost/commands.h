// The wlhost commands. Each takes the arguments after its own name and
// returns the program's exit status.
#pragma once

#include <string>
#include <vector>

namespace wlhost {

using Args = std::vector<std::string>;

int infoCommand(const Args &args);
int runCommand(const Args &args);
int validateCommand(const Args &args);
// One validate case, in the child process that validate starts for it.
int validateCaseCommand(const Args &args);

extern const char kUsage[];

} // namespace wlhost
