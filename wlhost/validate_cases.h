// The cases that `wlhost validate` runs, each in its own child process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wlhost {

// Every case name, in the order validate runs them.
std::vector<std::string> validateCaseNames();

// Runs one case in this process. True when it passed; otherwise `failure`
// says what was wrong. Load failures are reported and give `loadStatus`.
bool runValidateCase(const std::string &libraryPath, const std::string &caseName,
                     uint32_t caseNumber, std::string &failure, int &loadStatus);

// The case's own number: the same for a given random start and case name,
// whichever other cases run.
uint32_t caseNumberFor(uint32_t randomStart, const std::string &caseName);

} // namespace wlhost
