// A second process for the channel tests. It reads one command per line on
// standard input and answers each with one line "<result> [<id>]":
//
//   <id> create <slot> <name>   create-or-join; "ok 0" / "ok 1" (state found) or "null"
//   <id> open <slot> <name>     open-existing; "ok" or "null"
//   <id> set|reset|test|close <slot>
//   <id> stress <case> <ms> <stem> <slot>   see runStress; "done <rounds>"
//   <id> quit
//
// Names are written as 'x' followed by their bytes in hex, so any byte
// sequence, the empty one too, fits on a line. Failures found by the stress
// run are printed at once as lines starting with FAIL, so they are seen even
// if the process is killed afterwards.
#include "channel/event_channel.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace ch = wl::channel;

std::array<ch::ChannelHandle, 16> slots{};

bool decodeName(const std::string &text, std::string &out) {
    if (text.empty() || text[0] != 'x' || text.size() % 2 != 1)
        return false;
    out.clear();
    for (size_t i = 1; i < text.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return true;
}

std::string objectName(const std::string &userName) {
    char name[ch::kNameCapacity];
    ch::makeChannelName(userName.c_str(), name);
    return name;
}

void fail(const std::string &what) {
    std::printf("FAIL %s\n", what.c_str());
    std::fflush(stdout);
}

// One worker of the stress run. The parent holds <stem>P set and <stem>Q not
// set for the whole run; <stem>W<slot> belongs to this slot alone (a killed
// predecessor's included); <stem>E0..E2 are shared by all workers, which only
// ever set them, never reset. So, whatever the others do:
// - joining P reads set and joining Q reads not set, and both open;
// - W's state is what this worker last made it, and a fresh W starts not set;
// - an E that a held handle has seen set reads set through any new handle.
long runStress(unsigned caseNumber, int milliseconds, const std::string &stem, int slot) {
    std::mt19937 random(caseNumber);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::string p = objectName(stem + "P"), q = objectName(stem + "Q");
    const std::string w = objectName(stem + "W" + std::to_string(slot));
    std::vector<std::string> e;
    for (int k = 0; k < 3; ++k)
        e.push_back(objectName(stem + "E" + std::to_string(k)));

    std::vector<ch::ChannelHandle> held; // extra handles on P, Q and E
    auto keepOrClose = [&](ch::ChannelHandle h) {
        if (held.size() < 6 && pick(2) == 0)
            held.push_back(h);
        else
            ch::close(h);
    };

    ch::ChannelHandle base = ch::createOrJoin(w.c_str());
    if (base == nullptr)
        fail("create W");
    else if (ch::test(base))
        fail("a fresh W starts set");
    bool expected = false;

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    long rounds = 0;
    for (; rounds < 1000000 && std::chrono::steady_clock::now() < end; ++rounds) {
        switch (pick(8)) {
        case 0:
        case 1: {
            const bool isP = pick(2) == 0;
            ch::ChannelHandle h = ch::createOrJoin((isP ? p : q).c_str());
            if (h == nullptr)
                fail("join P/Q");
            else if (ch::test(h) != isP)
                fail(isP ? "joined P reads not set" : "joined Q reads set");
            if (h != nullptr)
                keepOrClose(h);
            break;
        }
        case 2: {
            ch::ChannelHandle h = ch::openExisting((pick(2) == 0 ? p : q).c_str());
            if (h == nullptr)
                fail("open P/Q");
            else
                keepOrClose(h);
            break;
        }
        case 3: { // change W through the base or a handle of its own
            const bool to = pick(2) == 0;
            const int how = pick(3);
            ch::ChannelHandle h = how == 0 ? base
                                  : how == 1 ? ch::openExisting(w.c_str())
                                             : ch::createOrJoin(w.c_str());
            if (h == nullptr) {
                fail("open W while holding it");
                break;
            }
            if (to)
                ch::set(h);
            else
                ch::reset(h);
            expected = to;
            if (h != base)
                ch::close(h);
            break;
        }
        case 4: {
            ch::ChannelHandle h = ch::createOrJoin(w.c_str());
            if (h == nullptr || ch::test(h) != expected || ch::test(base) != expected)
                fail("W lost its state");
            ch::close(h);
            break;
        }
        case 5: // the last close ends W
            ch::close(base);
            base = ch::createOrJoin(w.c_str());
            if (base == nullptr || ch::test(base))
                fail("W outlived its last handle");
            expected = false;
            break;
        case 6: {
            const std::string &name = e[static_cast<size_t>(pick(3))];
            ch::ChannelHandle h = ch::createOrJoin(name.c_str());
            if (h == nullptr) {
                fail("create E");
                break;
            }
            if (pick(3) == 0)
                ch::set(h);
            if (ch::test(h)) {
                ch::ChannelHandle again = ch::createOrJoin(name.c_str());
                if (again == nullptr || !ch::test(again))
                    fail("E split while held");
                ch::close(again);
            }
            ch::ChannelHandle opened = ch::openExisting(name.c_str());
            if (opened == nullptr)
                fail("open E while holding it");
            ch::close(opened);
            keepOrClose(h);
            break;
        }
        default:
            if (!held.empty()) {
                const size_t i = static_cast<size_t>(pick(static_cast<int>(held.size())));
                ch::close(held[i]);
                held.erase(held.begin() + static_cast<std::ptrdiff_t>(i));
            }
            break;
        }
    }
    for (ch::ChannelHandle h : held)
        ch::close(h);
    ch::close(base);
    return rounds;
}

std::string run(std::istringstream &in, const std::string &verb) {
    if (verb == "stress") {
        unsigned caseNumber = 0;
        int ms = 0, slot = 0;
        std::string stemText, stem;
        in >> caseNumber >> ms >> stemText >> slot;
        if (!decodeName(stemText, stem))
            return "bad";
        return "done " + std::to_string(runStress(caseNumber, ms, stem, slot));
    }
    size_t slot = 0;
    in >> slot;
    if (slot >= slots.size())
        return "bad";
    ch::ChannelHandle &h = slots[slot];
    if (verb == "create" || verb == "open") {
        std::string text, name;
        in >> text;
        if (!decodeName(text, name))
            return "bad";
        ch::close(h);
        h = verb == "create" ? ch::createOrJoin(name.c_str()) : ch::openExisting(name.c_str());
        if (h == nullptr)
            return "null";
        return verb == "create" ? (ch::test(h) ? "ok 1" : "ok 0") : "ok";
    }
    if (verb == "set")
        return ch::set(h) ? "ok" : "fail";
    if (verb == "reset")
        return ch::reset(h) ? "ok" : "fail";
    if (verb == "test")
        return ch::test(h) ? "1" : "0";
    if (verb == "close") {
        ch::close(h);
        h = nullptr;
        return "ok";
    }
    return "bad";
}

} // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream in(line);
        std::string id, verb;
        in >> id >> verb;
        if (verb == "quit")
            break;
        std::printf("%s [%s]\n", run(in, verb).c_str(), id.c_str());
        std::fflush(stdout);
    }
    for (ch::ChannelHandle &h : slots)
        ch::close(h);
    return 0;
}
