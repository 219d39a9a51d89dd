// Shared by the channel tests: names unique to one test run, and a driver for
// the channel_peer helper program.
#pragma once

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "channel/event_channel.h"
#include "tests/support/child_process.h"

namespace wltest {

inline std::string channelObjectName(const std::string &userName) {
    char name[wl::channel::kNameCapacity];
    wl::channel::makeChannelName(userName.c_str(), name);
    return name;
}

// Test runs of several builds share the machine: every name a run uses starts
// with a random start of its own.
inline std::string uniqueStem() {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    char text[32];
    std::snprintf(text, sizeof text, "t%08x%08x_", static_cast<unsigned>(device()),
                  static_cast<unsigned>(now));
    return text;
}

inline std::string hexName(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "x";
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// The peer program next to the test programs, or another build's peer.
inline std::string peerPath() { return selfDirectory() + "/" + WL_CHANNEL_PEER; }

// One running channel_peer; ask() sends a command and returns its answer.
class Peer {
  public:
    explicit Peer(const std::string &path = peerPath()) : child_({path}) {}

    bool started() const { return child_.started(); }

    std::string ask(const std::string &command, double timeoutSeconds = 120) {
        const std::string id = std::to_string(++lastId_);
        if (!child_.writeLine(id + " " + command))
            return "<no peer>";
        const std::string marker = " [" + id + "]";
        if (!child_.waitForOutput(marker, timeoutSeconds))
            return "<no answer>";
        const std::string &out = child_.output();
        const size_t end = out.find(marker);
        const size_t start = out.rfind('\n', end);
        std::string answer = out.substr(start == std::string::npos ? 0 : start + 1,
                                        end - (start == std::string::npos ? 0 : start + 1));
        if (!answer.empty() && answer.back() == '\r')
            answer.pop_back();
        return answer;
    }
    std::string create(int slot, const std::string &objectName) {
        return ask("create " + std::to_string(slot) + " " + hexName(objectName));
    }
    std::string open(int slot, const std::string &objectName) {
        return ask("open " + std::to_string(slot) + " " + hexName(objectName));
    }
    std::string op(const char *verb, int slot) {
        return ask(std::string(verb) + " " + std::to_string(slot));
    }

    // Ends it the way the tests' peers end: standard input closes.
    int quit(double timeoutSeconds = 60) { return child_.wait(timeoutSeconds); }

    ChildProcess &process() { return child_; }

  private:
    ChildProcess child_;
    int lastId_ = 0;
};

} // namespace wltest
