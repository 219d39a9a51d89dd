// What the wlhost program needs from the operating system, behind one small
// interface: child processes with a time-out, the wall clock for real-time
// pacing, a stop request from Ctrl-C, and temporary files.
#pragma once

#include <string>
#include <vector>

namespace wlhost::platform {

struct ChildResult {
    enum class Kind { Exited, Crashed, TimedOut, NotStarted };
    Kind kind = Kind::NotStarted;
    int exitCode = -1;  // when Exited
    std::string reason; // when Crashed: the signal or exception, in words
    std::string output; // standard output and standard error, interleaved
};

// Runs argv to completion (argv[0] is a path, or a name looked up on PATH),
// collecting its output. Killed, and reaped, after `timeoutSeconds`.
ChildResult runChild(const std::vector<std::string> &argv, double timeoutSeconds);

// Called first thing in a child case: it ends by itself `seconds` from now,
// and with its parent, so a killed validator leaves nothing running.
void limitChildLifetime(double seconds);

// The path of the running program, for starting it again as a child.
std::string selfPath();

double monotonicSeconds();
void sleepUntil(double monotonicDeadline);

// Ctrl-C (and termination requests) set a flag instead of killing the
// program, so a real-time run can close its files.
void installStopHandler();
bool stopRequested();

// A fresh, empty file in the temporary directory; empty string on failure.
std::string makeTempFile(const std::string &suffix);
void removeFile(const std::string &path);

// The process id, to keep names of this run apart from other runs.
long processId();

} // namespace wlhost::platform
