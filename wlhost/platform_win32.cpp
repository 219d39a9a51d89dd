#include "wlhost/platform.h"

#include <windows.h>

#include <cstdio>

namespace wlhost::platform {

namespace {

volatile LONG stopFlag = 0;

BOOL WINAPI onConsoleControl(DWORD) {
    InterlockedExchange(&stopFlag, 1);
    return TRUE;
}

// One argument as the C runtime's start-up splits it back.
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
        line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

std::string readWhole(const std::string &path) {
    std::string text;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    std::fclose(f);
    return text;
}

} // namespace

ChildResult runChild(const std::vector<std::string> &argv, double timeoutSeconds) {
    ChildResult result;
    if (argv.empty())
        return result;
    // The output goes to a file: no reader thread is needed while waiting.
    std::string outPath = makeTempFile(".out");
    if (outPath.empty())
        return result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        removeFile(outPath);
        return result;
    }
    std::string line;
    for (size_t i = 0; i < argv.size(); ++i) {
        if (i > 0)
            line += ' ';
        appendQuoted(line, argv[i]);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info{};
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info);
    CloseHandle(out);
    if (!started) {
        result.reason = "CreateProcess failed with error " + std::to_string(GetLastError());
        removeFile(outPath);
        return result;
    }
    CloseHandle(info.hThread);
    DWORD waitMs = timeoutSeconds <= 0 ? 0 : static_cast<DWORD>(timeoutSeconds * 1000.0);
    if (WaitForSingleObject(info.hProcess, waitMs) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, INFINITE);
        result.kind = ChildResult::Kind::TimedOut;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        // Exit codes in the NTSTATUS error range are unhandled exceptions.
        if (code >= 0xC0000000u) {
            result.kind = ChildResult::Kind::Crashed;
            char text[32];
            std::snprintf(text, sizeof text, "exception 0x%08lX", static_cast<unsigned long>(code));
            result.reason = text;
        } else {
            result.kind = ChildResult::Kind::Exited;
            result.exitCode = static_cast<int>(code);
        }
    }
    CloseHandle(info.hProcess);
    result.output = readWhole(outPath);
    removeFile(outPath);
    return result;
}

void limitChildLifetime(double seconds) {
    // No crash dialogs: a crashing case must end, not wait for a click.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // The parent's time-out ends the child; there is no parent-death signal.
    (void)seconds;
}

std::string selfPath() {
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return "wlhost.exe";
    return std::string(path, n);
}

double monotonicSeconds() {
    static const double ticksPerSecond = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerSecond;
}

void sleepUntil(double monotonicDeadline) {
    double left = monotonicDeadline - monotonicSeconds();
    if (left > 0)
        Sleep(static_cast<DWORD>(left * 1000.0));
}

void installStopHandler() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }

bool stopRequested() { return InterlockedCompareExchange(&stopFlag, 0, 0) != 0; }

std::string makeTempFile(const std::string &suffix) {
    char dir[MAX_PATH];
    if (GetTempPathA(MAX_PATH, dir) == 0)
        return std::string();
    char name[MAX_PATH];
    if (GetTempFileNameA(dir, "wlh", 0, name) == 0)
        return std::string();
    if (suffix.empty())
        return name;
    std::string withSuffix = std::string(name) + suffix;
    DeleteFileA(name);
    HANDLE h = CreateFileA(withSuffix.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    CloseHandle(h);
    return withSuffix;
}

void removeFile(const std::string &path) { DeleteFileA(path.c_str()); }

long processId() { return static_cast<long>(GetCurrentProcessId()); }

} // namespace wlhost::platform
