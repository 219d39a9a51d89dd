#include "tests/support/child_process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace wltest {

double monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void sleepMs(int ms) {
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::string selfDirectory() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    std::string s(path);
    return s.substr(0, s.find_last_of('/'));
}

struct ChildProcess::Impl {
    pid_t pid = -1;
    int out = -1; // read end of its standard output
    int in = -1;  // write end of its standard input
    int status = -1;
    bool reaped = false;
};

ChildProcess::ChildProcess(const std::vector<std::string> &argv) : impl_(new Impl) {
    int outPipe[2], inPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return;
    if (pipe2(inPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return;
    }
    // A child that died must not take the test down with SIGPIPE when the
    // test writes to it; the child itself gets the default back.
    signal(SIGPIPE, SIG_IGN);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ) == 0)
        impl_->pid = pid;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(outPipe[1]);
    ::close(inPipe[0]);
    impl_->out = outPipe[0];
    impl_->in = inPipe[1];
}

ChildProcess::~ChildProcess() {
    if (impl_->pid > 0 && !impl_->reaped) {
        ::kill(impl_->pid, SIGKILL);
        waitpid(impl_->pid, &impl_->status, 0);
    }
    if (impl_->out >= 0)
        ::close(impl_->out);
    if (impl_->in >= 0)
        ::close(impl_->in);
    delete impl_;
}

bool ChildProcess::started() const { return impl_->pid > 0; }

bool ChildProcess::waitForOutput(const std::string &text, double timeoutSeconds) {
    const double deadline = monotonicMs() + timeoutSeconds * 1000.0;
    while (output_.find(text) == std::string::npos) {
        double left = deadline - monotonicMs();
        if (left <= 0 || impl_->out < 0)
            return false;
        pollfd p{impl_->out, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left) + 1) <= 0)
            continue;
        char chunk[4096];
        ssize_t n = read(impl_->out, chunk, sizeof chunk);
        if (n <= 0) {
            ::close(impl_->out);
            impl_->out = -1;
            return output_.find(text) != std::string::npos;
        }
        output_.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

bool ChildProcess::writeLine(const std::string &line) {
    if (impl_->in < 0)
        return false;
    std::string s = line + "\n";
    return write(impl_->in, s.data(), s.size()) == static_cast<ssize_t>(s.size());
}

int ChildProcess::wait(double timeoutSeconds) {
    if (impl_->pid <= 0)
        return -1;
    if (impl_->in >= 0) {
        ::close(impl_->in);
        impl_->in = -1;
    }
    const double deadline = monotonicMs() + timeoutSeconds * 1000.0;
    while (!impl_->reaped) {
        // Keep draining its output so it never blocks on a full pipe.
        if (impl_->out >= 0) {
            pollfd p{impl_->out, POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                char chunk[4096];
                ssize_t n = read(impl_->out, chunk, sizeof chunk);
                if (n <= 0) {
                    ::close(impl_->out);
                    impl_->out = -1;
                } else {
                    output_.append(chunk, static_cast<size_t>(n));
                }
            }
        } else {
            sleepMs(5);
        }
        if (waitpid(impl_->pid, &impl_->status, WNOHANG) == impl_->pid)
            impl_->reaped = true;
        else if (monotonicMs() > deadline) {
            kill();
            return -1;
        }
    }
    while (impl_->out >= 0) {
        char chunk[4096];
        ssize_t n = read(impl_->out, chunk, sizeof chunk);
        if (n <= 0) {
            ::close(impl_->out);
            impl_->out = -1;
        } else {
            output_.append(chunk, static_cast<size_t>(n));
        }
    }
    return WIFEXITED(impl_->status) ? WEXITSTATUS(impl_->status) : -1;
}

void ChildProcess::kill() {
    if (impl_->pid > 0 && !impl_->reaped) {
        ::kill(impl_->pid, SIGKILL);
        waitpid(impl_->pid, &impl_->status, 0);
        impl_->reaped = true;
    }
}

ProcessResult runProcess(const std::vector<std::string> &argv, double timeoutSeconds) {
    ChildProcess child(argv);
    ProcessResult result;
    if (!child.started())
        return result;
    result.exitCode = child.wait(timeoutSeconds);
    result.timedOut = result.exitCode == -1;
    result.output = child.output();
    return result;
}

} // namespace wltest
