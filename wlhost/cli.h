// Shared by the wlhost commands: exit statuses, error lines, number parsing
// and formatting, and the pin values a user gives by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wlhost/standin_host.h"

namespace wlhost {

// One status per stage that can fail, so scripts can tell them apart.
enum ExitStatus : int {
    kExitOk = 0,
    kExitCasesFailed = 1, // validate: some case did not pass
    kExitUsage = 2,       // the command line
    kExitLoad = 3,        // the file is not a loadable library
    kExitSymbols = 4,     // the library lacks one of the two exports
    kExitInstance = 5,    // no instance, an unknown pin or a value the pin cannot take
    kExitOutput = 6,      // a WAV or plot file could not be written
};

// "wlhost: <what>: <why>" on standard error.
void reportError(const std::string &what, const std::string &why);

// Whole-text parses; false on anything left over, empty text or overflow.
bool parseDouble(const std::string &text, double &out);
bool parseInt(const std::string &text, long &out);

// The shortest text that reads back as the same float ("5", "0.1", "-inf").
std::string formatSample(float value);
std::string jsonString(const std::string &text);

// Loads `path`, or reports the failure and gives the exit status to use.
std::unique_ptr<Library> loadOrReport(const std::string &path, int &status);

// "Pulsed=0,Continuous=1" as (label, value) pairs, in order.
struct ListChoice {
    std::string label;
    long value;
};
std::vector<ListChoice> parseListChoices(const char *extra);

// Writes a user's (or a default) text into the host's side of an input pin.
// False with the reason when the text does not fit the pin's datatype.
bool applyPinText(Instance &instance, int32_t pin, const std::string &text, std::string &why);

std::string directionName(int32_t direction);
std::string datatypeName(int32_t datatype);

} // namespace wlhost
