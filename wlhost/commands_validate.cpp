#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "wlhost/cli.h"
#include "wlhost/commands.h"
#include "wlhost/platform.h"
#include "wlhost/validate_cases.h"

namespace wlhost {

namespace {

// The option that replays a run: its value is the random start.
const char kReplayOption[] = "--start";
// The child's last line says how its case went; a child that dies before
// writing it crashed, whatever its exit status (a sanitizer exits with 1).
const char kResultPrefix[] = "wlhost-case-result: ";

struct CaseOutcome {
    std::string name;
    std::string status; // passed, failed, crashed, timed out
    std::string detail;
    double seconds = 0;
};

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

// The line of a crash report that says most: a sanitizer's summary, else
// the last line the child wrote.
std::string crashLine(const std::string &output) {
    std::string best, last;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        std::string line =
            trimmed(output.substr(start, end == std::string::npos ? end : end - start));
        if (!line.empty()) {
            last = line;
            if (best.empty() && (line.find("ERROR: ") != std::string::npos ||
                                 line.find("runtime error:") != std::string::npos))
                best = line;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return best.empty() ? last : best;
}

bool parseUint32(const std::string &text, uint32_t &out) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE || value > 0xFFFFFFFFull)
        return false;
    out = static_cast<uint32_t>(value);
    return true;
}

std::string shellQuoted(const std::string &s) {
    if (s.find_first_of(" \t'\"\\$`*?[]{}()<>|&;") == std::string::npos && !s.empty())
        return s;
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

int validateCaseCommand(const Args &args) {
    // LIBRARY CASE NUMBER TIMEOUT
    if (args.size() != 4) {
        reportError("validate-case", "expects LIBRARY CASE NUMBER TIMEOUT");
        return kExitUsage;
    }
    uint32_t number = 0;
    double timeout = 0;
    if (!parseUint32(args[2], number) || !parseDouble(args[3], timeout)) {
        reportError("validate-case", "bad case number or time-out");
        return kExitUsage;
    }
    platform::limitChildLifetime(timeout + 5);
    std::string failure;
    int loadStatus = kExitOk;
    bool passed = runValidateCase(args[0], args[1], number, failure, loadStatus);
    if (loadStatus != kExitOk)
        return loadStatus;
    std::fflush(stderr);
    if (passed)
        std::printf("%spassed\n", kResultPrefix);
    else
        std::printf("%sfailed: %s\n", kResultPrefix, failure.c_str());
    std::fflush(stdout);
    return passed ? kExitOk : kExitCasesFailed;
}

int validateCommand(const Args &args) {
    std::string path, only;
    bool json = false;
    bool haveStart = false;
    uint32_t start = 0;
    double timeout = 60;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == kReplayOption) {
            if (!hasValue || !parseUint32(args[i + 1], start)) {
                reportError(a, "needs a whole number from 0 to 4294967295");
                return kExitUsage;
            }
            haveStart = true;
            ++i;
        } else if (a == "--case") {
            if (!hasValue) {
                reportError(a, "needs part of a case name");
                return kExitUsage;
            }
            only = args[++i];
        } else if (a == "--timeout") {
            if (!hasValue || !parseDouble(args[i + 1], timeout) || !(timeout > 0)) {
                reportError(a, "needs a number of seconds");
                return kExitUsage;
            }
            ++i;
        } else if (a == "--json") {
            json = true;
        } else if (!a.empty() && a[0] == '-') {
            reportError(a, "unknown option for validate");
            return kExitUsage;
        } else if (path.empty()) {
            path = a;
        } else {
            reportError(a, "validate takes one library");
            return kExitUsage;
        }
    }
    if (path.empty()) {
        reportError("validate", "no library given");
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!haveStart)
        start = static_cast<uint32_t>(std::time(nullptr)) * 2654435761u ^
                static_cast<uint32_t>(platform::processId());
    const uint32_t randomStart = start;

    // An exact name picks that case alone; otherwise every case that
    // contains the text.
    std::vector<std::string> names;
    for (const auto &name : validateCaseNames())
        if (name == only)
            names.push_back(name);
    if (names.empty())
        for (const auto &name : validateCaseNames())
            if (only.empty() || name.find(only) != std::string::npos)
                names.push_back(name);
    if (names.empty()) {
        reportError("--case " + only, "matches no case");
        return kExitUsage;
    }
    const std::string self = platform::selfPath();
    const std::string replayBase = "wlhost validate " + shellQuoted(path) + " " + kReplayOption +
                                   " " + std::to_string(randomStart);
    if (!json)
        std::printf("wlhost validate %s, random start %u (replay: %s)\n", path.c_str(), randomStart,
                    replayBase.c_str());
    std::fflush(stdout);

    std::vector<CaseOutcome> outcomes;
    for (const auto &name : names) {
        uint32_t number = caseNumberFor(randomStart, name);
        double began = platform::monotonicSeconds();
        auto child = platform::runChild(
            {self, "validate-case", path, name, std::to_string(number), std::to_string(timeout)},
            timeout);
        CaseOutcome o{name, "", "", platform::monotonicSeconds() - began};
        size_t at = child.output.rfind(kResultPrefix);
        std::string result = at == std::string::npos
                                 ? ""
                                 : trimmed(child.output.substr(at + sizeof kResultPrefix - 1));
        switch (child.kind) {
        case platform::ChildResult::Kind::NotStarted:
            reportError(self, "cannot start a child process: " + child.reason);
            return kExitUsage;
        case platform::ChildResult::Kind::TimedOut:
            o.status = "timed out";
            o.detail = "no result after " + formatSample(static_cast<float>(timeout)) + " s";
            break;
        case platform::ChildResult::Kind::Crashed:
            o.status = "crashed";
            o.detail = child.reason +
                       (crashLine(child.output).empty() ? "" : ": " + crashLine(child.output));
            break;
        case platform::ChildResult::Kind::Exited:
            if ((child.exitCode == kExitLoad || child.exitCode == kExitSymbols) && result.empty()) {
                // Bad input, not a failing case: the child said why.
                std::fputs(child.output.c_str(), stderr);
                return child.exitCode;
            }
            if (child.exitCode == kExitOk && result == "passed") {
                o.status = "passed";
            } else if (child.exitCode == kExitCasesFailed && result.rfind("failed: ", 0) == 0) {
                o.status = "failed";
                o.detail = result.substr(8);
            } else {
                o.status = "crashed";
                o.detail = "exited with status " + std::to_string(child.exitCode) +
                           (result.empty() ? " without a result" : " after \"" + result + "\"");
                std::string line = crashLine(child.output);
                if (!line.empty() && line.find(kResultPrefix) == std::string::npos)
                    o.detail += ": " + line;
            }
            break;
        }
        const std::string replay = replayBase + " --case " + shellQuoted(name);
        if (json) {
            std::printf("{\"case\":%s,\"status\":%s,\"seconds\":%.3f,\"case_number\":%u,"
                        "\"detail\":%s,\"replay\":%s}\n",
                        jsonString(name).c_str(), jsonString(o.status).c_str(), o.seconds, number,
                        jsonString(o.detail).c_str(), jsonString(replay).c_str());
        } else {
            std::printf("  %-10s %-36s %7.2f s\n", o.status.c_str(), name.c_str(), o.seconds);
        }
        std::fflush(stdout);
        outcomes.push_back(o);
    }

    int counts[4] = {0, 0, 0, 0};
    const char *statuses[4] = {"passed", "failed", "crashed", "timed out"};
    for (const auto &o : outcomes)
        for (int k = 0; k < 4; ++k)
            if (o.status == statuses[k])
                ++counts[k];
    const bool allPassed = counts[0] == static_cast<int>(outcomes.size());
    if (json) {
        std::printf("{\"summary\":{\"library\":%s,\"random_start\":%u,\"cases\":%zu,\"passed\":%d,"
                    "\"failed\":%d,\"crashed\":%d,\"timed_out\":%d}}\n",
                    jsonString(path).c_str(), randomStart, outcomes.size(), counts[0], counts[1],
                    counts[2], counts[3]);
    } else {
        if (!allPassed) {
            std::printf("\n  %-36s %-10s %s\n", "case", "status", "detail");
            for (const auto &o : outcomes)
                if (o.status != "passed")
                    std::printf("  %-36s %-10s %s\n", o.name.c_str(), o.status.c_str(),
                                o.detail.c_str());
            std::printf("\nTo replay a case:\n");
            for (const auto &o : outcomes)
                if (o.status != "passed")
                    std::printf("  %s --case %s\n", replayBase.c_str(),
                                shellQuoted(o.name).c_str());
        }
        std::printf("\nvalidate %s: %d of %zu cases passed (%d failed, %d crashed, %d timed out)\n",
                    allPassed ? "PASS" : "FAIL", counts[0], outcomes.size(), counts[1], counts[2],
                    counts[3]);
    }
    return allPassed ? kExitOk : kExitCasesFailed;
}

} // namespace wlhost
