// Starting other programs from tests: the test helpers, farcuesend, wlhost.
#pragma once

#include <string>
#include <vector>

namespace wltest {

struct ProcessResult {
    int exitCode = -1;     // -1 when it did not exit by itself
    bool timedOut = false;
    std::string output;    // standard output, byte for byte
};

// Runs `argv` (argv[0] is a path) to completion, collecting standard output.
// Killed after `timeoutSeconds`.
ProcessResult runProcess(const std::vector<std::string> &argv, double timeoutSeconds = 120);

// A program left running while the test goes on.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string> &argv);
    ~ChildProcess(); // kills it if still running
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const;
    // Reads standard output until `text` has appeared (true) or time runs out.
    bool waitForOutput(const std::string &text, double timeoutSeconds = 120);
    const std::string &output() const { return output_; }
    // Writes a line to its standard input.
    bool writeLine(const std::string &line);
    // Waits for it to exit; returns its exit code, -1 on time-out or kill.
    int wait(double timeoutSeconds = 120);
    // Ends it at once (SIGKILL / TerminateProcess).
    void kill();

  private:
    struct Impl;
    Impl *impl_;
    std::string output_;
};

// The directory that holds the running test program, for finding its siblings.
std::string selfDirectory();
// Milliseconds on a monotonic clock.
double monotonicMs();
void sleepMs(int ms);

} // namespace wltest
