#include "tests/support/child_process.h"

#include <windows.h>

namespace wltest {

double monotonicMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

void sleepMs(int ms) { Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }

std::string selfDirectory() {
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return ".";
    std::string s(path, n);
    size_t cut = s.find_last_of("\\/");
    return cut == std::string::npos ? "." : s.substr(0, cut);
}

namespace {

// One argument as the C runtime's start-up splits it back: quotes around it
// when it is empty or holds blanks or quotes; backslashes are doubled only
// where they come before a quote.
void appendQuoted(std::string &line, const std::string &arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            line.append(backslashes * 2 + 1, '\\');
        else
            line.append(backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

std::string commandLine(const std::vector<std::string> &argv) {
    std::string line;
    for (size_t i = 0; i < argv.size(); ++i) {
        if (i > 0)
            line += ' ';
        appendQuoted(line, argv[i]);
    }
    return line;
}

void closeHandle(HANDLE &h) {
    if (h != nullptr) {
        CloseHandle(h);
        h = nullptr;
    }
}

} // namespace

struct ChildProcess::Impl {
    HANDLE process = nullptr;
    HANDLE out = nullptr; // read end of its standard output
    HANDLE in = nullptr;  // write end of its standard input
    bool reaped = false;
    bool killed = false;

    // Appends whatever is waiting in the pipe without blocking. False once
    // the pipe is closed at the other end.
    bool drain(std::string &output) {
        if (out == nullptr)
            return false;
        for (;;) {
            DWORD avail = 0;
            if (!PeekNamedPipe(out, nullptr, 0, nullptr, &avail, nullptr)) {
                closeHandle(out);
                return false;
            }
            if (avail == 0)
                return true;
            char chunk[4096];
            DWORD want = avail < sizeof chunk ? avail : static_cast<DWORD>(sizeof chunk);
            DWORD got = 0;
            if (!ReadFile(out, chunk, want, &got, nullptr) || got == 0) {
                closeHandle(out);
                return false;
            }
            output.append(chunk, got);
        }
    }
};

ChildProcess::ChildProcess(const std::vector<std::string> &argv) : impl_(new Impl) {
    if (argv.empty())
        return;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0))
        return;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) {
        closeHandle(outRead);
        closeHandle(outWrite);
        return;
    }
    // Only the child's ends are inherited; ours must not keep its pipes open.
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    std::string line = commandLine(argv);
    if (CreateProcessA(argv[0].c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &info)) {
        impl_->process = info.hProcess;
        CloseHandle(info.hThread);
    }
    closeHandle(outWrite);
    closeHandle(inRead);
    impl_->out = outRead;
    impl_->in = inWrite;
}

ChildProcess::~ChildProcess() {
    kill();
    closeHandle(impl_->process);
    closeHandle(impl_->out);
    closeHandle(impl_->in);
    delete impl_;
}

bool ChildProcess::started() const { return impl_->process != nullptr; }

bool ChildProcess::waitForOutput(const std::string &text, double timeoutSeconds) {
    const double deadline = monotonicMs() + timeoutSeconds * 1000.0;
    while (output_.find(text) == std::string::npos) {
        if (!impl_->drain(output_))
            return output_.find(text) != std::string::npos;
        if (output_.find(text) != std::string::npos)
            return true;
        if (monotonicMs() > deadline)
            return false;
        Sleep(5);
    }
    return true;
}

bool ChildProcess::writeLine(const std::string &line) {
    if (impl_->in == nullptr)
        return false;
    std::string s = line + "\n";
    DWORD written = 0;
    return WriteFile(impl_->in, s.data(), static_cast<DWORD>(s.size()), &written, nullptr) &&
           written == s.size();
}

int ChildProcess::wait(double timeoutSeconds) {
    if (impl_->process == nullptr)
        return -1;
    closeHandle(impl_->in);
    const double deadline = monotonicMs() + timeoutSeconds * 1000.0;
    while (!impl_->reaped) {
        // Keep draining its output so it never blocks on a full pipe.
        impl_->drain(output_);
        if (WaitForSingleObject(impl_->process, 10) == WAIT_OBJECT_0)
            impl_->reaped = true;
        else if (monotonicMs() > deadline) {
            kill();
            return -1;
        }
    }
    // Everything it wrote before exiting is in the pipe by now.
    impl_->drain(output_);
    if (impl_->killed)
        return -1;
    DWORD code = 0;
    if (!GetExitCodeProcess(impl_->process, &code))
        return -1;
    return static_cast<int>(code);
}

void ChildProcess::kill() {
    if (impl_->process == nullptr || impl_->reaped)
        return;
    // One that already exited keeps its own exit code.
    if (WaitForSingleObject(impl_->process, 0) != WAIT_OBJECT_0) {
        TerminateProcess(impl_->process, 1);
        WaitForSingleObject(impl_->process, INFINITE);
        impl_->killed = true;
    }
    impl_->reaped = true;
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
