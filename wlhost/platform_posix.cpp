#include "wlhost/platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace wlhost::platform {

namespace {

volatile std::sig_atomic_t stopFlag = 0;

extern "C" void onStopSignal(int) { stopFlag = 1; }

std::string signalName(int sig) {
    const char *text = strsignal(sig);
    return "signal " + std::to_string(sig) +
           (text != nullptr ? std::string(" (") + text + ")" : "");
}

} // namespace

ChildResult runChild(const std::vector<std::string> &argv, double timeoutSeconds) {
    ChildResult result;
    if (argv.empty())
        return result;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        result.reason = std::strerror(spawned);
        return result;
    }

    const double deadline = monotonicSeconds() + timeoutSeconds;
    int readEnd = pipeEnds[0];
    int status = 0;
    bool reaped = false;
    while (!reaped) {
        double left = deadline - monotonicSeconds();
        if (left <= 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            if (readEnd >= 0)
                ::close(readEnd);
            result.kind = ChildResult::Kind::TimedOut;
            return result;
        }
        if (readEnd >= 0) {
            pollfd p{readEnd, POLLIN, 0};
            int waitMs = left > 0.05 ? 50 : static_cast<int>(left * 1000) + 1;
            if (poll(&p, 1, waitMs) > 0) {
                char chunk[4096];
                ssize_t n = read(readEnd, chunk, sizeof chunk);
                if (n > 0) {
                    result.output.append(chunk, static_cast<size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    ::close(readEnd);
                    readEnd = -1;
                }
            }
        } else {
            timespec pause{0, 5 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            reaped = true;
    }
    // The child is gone; whatever it wrote is still in the pipe.
    while (readEnd >= 0) {
        char chunk[4096];
        ssize_t n = read(readEnd, chunk, sizeof chunk);
        if (n > 0) {
            result.output.append(chunk, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(readEnd);
            readEnd = -1;
        }
    }
    if (WIFEXITED(status)) {
        result.kind = ChildResult::Kind::Exited;
        result.exitCode = WEXITSTATUS(status);
    } else {
        result.kind = ChildResult::Kind::Crashed;
        result.reason = WIFSIGNALED(status) ? signalName(WTERMSIG(status)) : "stopped";
    }
    return result;
}

void limitChildLifetime(double seconds) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may already be gone by the time the line above ran.
    if (getppid() == 1)
        _exit(125);
    unsigned whole = seconds < 1 ? 1u : static_cast<unsigned>(seconds);
    alarm(whole);
}

std::string selfPath() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "wlhost";
    path[n] = '\0';
    return path;
}

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void sleepUntil(double monotonicDeadline) {
    double left = monotonicDeadline - monotonicSeconds();
    if (left <= 0)
        return;
    timespec ts{static_cast<time_t>(left),
                static_cast<long>((left - static_cast<double>(static_cast<time_t>(left))) * 1e9)};
    // A stop signal cuts the sleep short, which is what a stopping run wants.
    nanosleep(&ts, nullptr);
}

void installStopHandler() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool stopRequested() { return stopFlag != 0; }

std::string makeTempFile(const std::string &suffix) {
    const char *dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/wlhost-XXXXXX" + suffix;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkstemps(buffer.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        return std::string();
    ::close(fd);
    return std::string(buffer.data());
}

void removeFile(const std::string &path) { unlink(path.c_str()); }

long processId() { return static_cast<long>(getpid()); }

} // namespace wlhost::platform
