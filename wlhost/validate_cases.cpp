// Each case drives the library only through its exports and records, as a
// host would, and throws CaseFailure at the first thing that breaks the
// interface. The parent process catches crashes and hangs.
#include "wlhost/validate_cases.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "wlhost/cli.h"

namespace wlhost {

namespace {

struct CaseFailure {
    std::string text;
};

[[noreturn]] void fail(const std::string &text) { throw CaseFailure{text}; }

// The pins a host keeps for an instance (its answer to request 14).
constexpr int32_t kHostPins = 64;
// A quiet NaN whose payload no arithmetic produces: an output sample that
// still holds it after a process call was never written.
constexpr uint32_t kCanaryBits = 0x7FE5A5A5u;

float canary() {
    float f;
    std::memcpy(&f, &kCanaryBits, sizeof f);
    return f;
}

bool isCanary(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits == kCanaryBits;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string str(double v) { return formatSample(static_cast<float>(v)); }

class Random {
  public:
    explicit Random(uint32_t number) : engine_(number) {}
    int32_t between(int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(engine_);
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(engine_) < p; }
    uint32_t bits() { return static_cast<uint32_t>(engine_()); }

  private:
    std::mt19937 engine_;
};

// What a case needs to know about one module's pins.
struct PinLayout {
    std::vector<PinDescriptor> pins;
    std::vector<int32_t> streamInputs, listInputs, textInputs, otherInputs, outputs;
    std::map<int32_t, std::vector<ListChoice>> choices;
    std::map<int32_t, float> streamDefaults;
};

PinLayout layoutOf(const std::vector<PinDescriptor> &pins) {
    PinLayout l;
    l.pins = pins;
    for (size_t i = 0; i < pins.size(); ++i) {
        const PinDescriptor &d = pins[i];
        int32_t index = static_cast<int32_t>(i);
        if (d.direction == WL_DIR_OUTPUT) {
            if (d.datatype == WL_TYPE_STREAM)
                l.outputs.push_back(index);
            continue;
        }
        switch (d.datatype) {
        case WL_TYPE_STREAM: {
            l.streamInputs.push_back(index);
            double v = 0;
            l.streamDefaults[index] = d.defaultValue != nullptr && parseDouble(d.defaultValue, v)
                                          ? static_cast<float>(v)
                                          : 0.0f;
            break;
        }
        case WL_TYPE_LIST:
            l.listInputs.push_back(index);
            l.choices[index] = parseListChoices(d.extra);
            break;
        case WL_TYPE_TEXT:
            l.textInputs.push_back(index);
            break;
        default:
            l.otherInputs.push_back(index);
            break;
        }
    }
    return l;
}

std::string pinName(const PinLayout &l, int32_t pin) {
    const char *name = l.pins.at(static_cast<size_t>(pin)).name;
    return "pin " + std::to_string(pin) + (name != nullptr ? std::string(" \"") + name + "\"" : "");
}

// Values inside the contract: a stream input's default, zero, or a modest
// number; a list's own choices; short printable texts, now and then long.
float randomStreamValue(Random &r, float defaultValue) {
    if (r.chance(0.2))
        return defaultValue;
    if (r.chance(0.1))
        return 0.0f;
    return static_cast<float>(r.between(-64, 256)) / 64.0f;
}

uint16_t randomChoice(Random &r, const std::vector<ListChoice> &choices) {
    if (choices.empty())
        return 0;
    long v =
        choices[static_cast<size_t>(r.between(0, static_cast<int32_t>(choices.size()) - 1))].value;
    return static_cast<uint16_t>(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v);
}

std::string randomText(Random &r) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    int32_t length = r.chance(0.05) ? 0 : r.chance(0.1) ? r.between(100, 150) : r.between(1, 24);
    std::string text = "wlv";
    for (int32_t i = 0; i < length; ++i)
        text += alphabet[r.between(0, static_cast<int32_t>(sizeof alphabet) - 2)];
    return text;
}

std::unique_ptr<Instance> makeInstance(const Exports &exports, float rate, int32_t block) {
    auto instance = std::make_unique<Instance>(exports, kHostPins, block);
    if (!instance->create(0, 1))
        fail("makeModule(0, 1) gave no instance");
    instance->setSampleRate(rate);
    instance->setBlockSize(block);
    instance->bindPins();
    return instance;
}

// The pin defaults, open, and a status event for every input: the host's
// start of a run.
void openWithDefaults(Instance &instance, const PinLayout &l) {
    for (int32_t pin : l.streamInputs)
        instance.setStream(pin, l.streamDefaults.at(pin));
    for (int32_t pin : l.listInputs) {
        std::string why;
        const char *d = l.pins[static_cast<size_t>(pin)].defaultValue;
        applyPinText(instance, pin, d != nullptr ? d : "0", why);
    }
    instance.open();
    for (size_t i = 0; i < l.pins.size(); ++i)
        if (l.pins[i].direction == WL_DIR_INPUT)
            instance.pinChanged(static_cast<int32_t>(i));
}

const char *textOf(const Instance &instance, int32_t pin) {
    void *variable = instance.pins().at(static_cast<size_t>(pin)).variable;
    return variable != nullptr ? *static_cast<const char *const *>(variable) : nullptr;
}

// After one process call of [offset, offset + count) in a block that was
// filled with the canary: the slice is written, the rest of the block not.
void checkSlice(Instance &instance, const PinLayout &l, int32_t offset, int32_t count,
                const std::string &where) {
    const int32_t block = instance.blockSize();
    for (int32_t pin : l.outputs) {
        const float *out = instance.buffer(pin).data();
        for (int32_t i = offset; i < offset + count; ++i)
            if (isCanary(out[i]))
                fail(pinName(l, pin) + ": sample " + std::to_string(i) + " of the slice (" +
                     std::to_string(offset) + ", " + std::to_string(count) + ") " + where +
                     " was not written (the canary is still there)");
        for (int32_t i = offset + count; i < block; ++i)
            if (!isCanary(out[i]))
                fail(pinName(l, pin) + ": sample " + std::to_string(i) +
                     " was written by the slice (" + std::to_string(offset) + ", " +
                     std::to_string(count) + ") " + where + ", beyond its end");
    }
}

struct InputSnapshot {
    std::map<int32_t, std::vector<float>> streams;
    std::map<int32_t, std::string> texts;
};

InputSnapshot snapshotInputs(Instance &instance, const PinLayout &l) {
    InputSnapshot s;
    for (int32_t pin : l.streamInputs)
        s.streams[pin] = instance.buffer(pin);
    for (int32_t pin : l.textInputs) {
        const char *t = textOf(instance, pin);
        s.texts[pin] = t != nullptr ? t : "";
    }
    return s;
}

void checkInputs(Instance &instance, const PinLayout &l, const InputSnapshot &s,
                 const std::string &where) {
    for (const auto &entry : s.streams) {
        const auto &now = instance.buffer(entry.first);
        for (size_t i = 0; i < now.size(); ++i)
            if (!sameBits(now[i], entry.second[i]))
                fail(pinName(l, entry.first) + ": the module changed input sample " +
                     std::to_string(i) + " " + where);
    }
    for (const auto &entry : s.texts) {
        const char *t = textOf(instance, entry.first);
        if (entry.second != (t != nullptr ? t : ""))
            fail(pinName(l, entry.first) + ": the module changed the host's text " + where);
    }
}

void checkRecord(Instance &instance, const std::string &where) {
    const InstanceRecord *r = instance.record();
    if (r->magic != WL_INSTANCE_MAGIC)
        fail("record magic is 0x" + std::to_string(r->magic) + " " + where);
    if (r->version != WL_INSTANCE_VERSION)
        fail("record version is " + std::to_string(r->version) + " " + where);
    if (r->hostValue != reinterpret_cast<intptr_t>(&instance))
        fail("record host value changed " + where);
    if (r->object == nullptr || r->dispatcher == nullptr || r->process == nullptr ||
        r->event == nullptr)
        fail("record object or entries are null " + where);
    if (r->reserved0 != 0 || r->reserved[0] != 0 || r->reserved[1] != 0 || r->reserved[2] != 0 ||
        r->reserved[3] != 0)
        fail("record reserved fields are not zero " + where);
}

// --- the cases ---------------------------------------------------------

void exportsCase(const Exports &e) {
    static const char untouched[] = "wlhost: not written";
    auto prefilled = [](int32_t flags) {
        ModuleProperties p{};
        p.name = p.id = p.about = untouched;
        p.flags = flags;
        return p;
    };
    ModuleProperties first = prefilled(0x5A5A5A5A), second = prefilled(0x3C3C3C3C);
    if (e.getModuleProperties(0, &first) != 1 || e.getModuleProperties(0, &second) != 1)
        fail("getModuleProperties(0) does not return 1");
    if (first.name == nullptr || first.name == untouched || *first.name == '\0' ||
        first.id == nullptr || first.id == untouched || first.about == nullptr ||
        first.about == untouched)
        fail("getModuleProperties(0) leaves name, identifier or about unwritten");
    if (first.flags != second.flags)
        fail("getModuleProperties(0) leaves flags unwritten");
    int32_t count = 1;
    while (count < 256) {
        ModuleProperties p = prefilled(0);
        if (e.getModuleProperties(count, &p) == 0)
            break;
        ++count;
    }
    for (int32_t index : {count, -1, INT_MAX}) {
        ModuleProperties p = prefilled(0x5A5A5A5A), q = prefilled(0x3C3C3C3C);
        std::string call = "getModuleProperties(" + std::to_string(index) + ")";
        if (e.getModuleProperties(index, &p) != 0 || e.getModuleProperties(index, &q) != 0)
            fail(call + " answers for a module that does not exist");
        if (p.name != untouched || p.id != untouched || p.about != untouched)
            fail(call + " writes name, identifier or about for a module that does not exist");
        if (p.flags != q.flags)
            fail(call + " leaves flags unwritten");
    }
    struct Make {
        int32_t index, kind;
    };
    for (Make m : {Make{count, 1}, Make{-1, 1}, Make{0, 0}, Make{0, 2}, Make{0, -1}}) {
        Instance probe(e);
        if (probe.create(m.index, m.kind)) {
            probe.open();
            fail("makeModule(" + std::to_string(m.index) + ", " + std::to_string(m.kind) +
                 ") makes an instance; it should give null");
        }
    }
}

void recordCase(const Exports &e) {
    Instance a(e, kHostPins, 512), b(e, kHostPins, 512);
    if (!a.create() || !b.create())
        fail("makeModule(0, 1) gave no instance");
    checkRecord(a, "after makeModule");
    if (a.record() == b.record() || a.record()->object == b.record()->object)
        fail("two instances share a record or an object");
    // Before open the process entry must be callable and do nothing.
    a.process(0, 512);
    a.process(100, 7);
    checkRecord(a, "after process calls before open");
    a.setSampleRate(48000.0f);
    a.setBlockSize(512);
    PinLayout l = layoutOf(a.bindPins());
    ProcessEntry before = a.record()->process;
    void *object = a.record()->object;
    size_t requestsBefore = a.requests.size();
    openWithDefaults(a, l);
    checkRecord(a, "after open");
    if (a.record()->object != object)
        fail("the record's object changed at open");
    if (a.record()->process != before) {
        bool told = false;
        for (size_t i = requestsBefore; i < a.requests.size(); ++i)
            told = told || a.requests[i].request == WL_HOST_PROCESS_CHANGED;
        if (!told)
            fail("the process entry changed at open without host request 22");
    }
    for (int32_t pin : l.outputs)
        std::fill(a.buffer(pin).begin(), a.buffer(pin).end(), canary());
    a.process(0, 512);
    checkSlice(a, l, 0, 512, "after open");
    if (a.close() != 1)
        fail("the close request does not return 1");
}

void pinsCase(const Exports &e) {
    Instance instance(e, kHostPins, 256);
    if (!instance.create())
        fail("makeModule(0, 1) gave no instance");
    auto describeAll = [&](std::vector<PinDescriptor> &out) {
        out.clear();
        for (int32_t i = 0; i < kHostPins; ++i) {
            PinDescriptor d{};
            if (instance.dispatch(WL_REQ_DESCRIBE_PIN, i, 0, &d) == 0)
                break;
            out.push_back(d);
        }
        for (int32_t i : {-1, static_cast<int32_t>(out.size()), INT_MAX, INT_MIN}) {
            if (i == kHostPins)
                continue;
            PinDescriptor d;
            std::memset(&d, 0xA5, sizeof d);
            PinDescriptor copy = d;
            if (instance.dispatch(WL_REQ_DESCRIBE_PIN, i, 0, &d) != 0)
                fail("describePin(" + std::to_string(i) +
                     ") answers for a pin that does not exist");
            if (std::memcmp(&d, &copy, sizeof d) != 0)
                fail("describePin(" + std::to_string(i) +
                     ") writes into the descriptor of a pin "
                     "that does not exist");
        }
    };
    std::vector<PinDescriptor> pins;
    describeAll(pins);
    if (pins.empty())
        fail("the module describes no pins");
    std::set<std::string> names;
    for (size_t i = 0; i < pins.size(); ++i) {
        const PinDescriptor &d = pins[i];
        std::string which = "pin " + std::to_string(i);
        if (d.name == nullptr || *d.name == '\0')
            fail(which + " has no name");
        which += std::string(" \"") + d.name + "\"";
        if (!names.insert(d.name).second)
            fail("two pins are named \"" + std::string(d.name) + "\"");
        if (d.direction != WL_DIR_INPUT && d.direction != WL_DIR_OUTPUT)
            fail(which + " has direction " + std::to_string(d.direction));
        if (d.datatype < WL_TYPE_LIST || d.datatype > WL_TYPE_INT32)
            fail(which + " has datatype " + std::to_string(d.datatype));
        if (d.reserved != 0)
            fail(which + " writes the reserved field");
        if (d.datatype == WL_TYPE_LIST && parseListChoices(d.extra).empty())
            fail(which + " is a list without choices");
        double v = 0;
        if (d.datatype == WL_TYPE_STREAM && d.direction == WL_DIR_INPUT &&
            d.defaultValue != nullptr && !parseDouble(d.defaultValue, v))
            fail(which + " has the default \"" + d.defaultValue + "\", which is not a number");
    }
    instance.setSampleRate(44100.0f);
    instance.setBlockSize(256);
    PinLayout l = layoutOf(instance.bindPins());
    openWithDefaults(instance, l);
    std::vector<PinDescriptor> afterOpen;
    describeAll(afterOpen);
    if (afterOpen.size() != pins.size())
        fail("the module describes " + std::to_string(afterOpen.size()) + " pins after open, " +
             std::to_string(pins.size()) + " before");
    for (size_t i = 0; i < pins.size(); ++i)
        if (afterOpen[i].datatype != pins[i].datatype ||
            afterOpen[i].direction != pins[i].direction ||
            std::strcmp(afterOpen[i].name != nullptr ? afterOpen[i].name : "", pins[i].name) != 0)
            fail("pin " + std::to_string(i) + " is described differently after open");
}

struct Change {
    long long frame;
    int32_t pin;
    float stream;
    uint16_t choice;
    std::string text;
};

// The host's side of one input change, then the status event.
void applyChange(Instance &instance, const PinLayout &l, const Change &c) {
    int32_t type = l.pins[static_cast<size_t>(c.pin)].datatype;
    if (type == WL_TYPE_LIST)
        instance.setList(c.pin, c.choice);
    else if (type == WL_TYPE_TEXT)
        instance.setText(c.pin, c.text.c_str());
    instance.pinChanged(c.pin);
}

struct ProcessPlan {
    float rate;
    int32_t block;
    long long frames;
    std::map<int32_t, std::vector<float>> streams; // per frame
    std::vector<Change> changes;                   // sorted by frame
};

ProcessPlan planProcess(const PinLayout &l, float rate, int32_t block, Random &r) {
    ProcessPlan p{rate, block, 0, {}, {}};
    // A quarter of a second, but few enough process calls that block size 1
    // stays quick under sanitizers and emulators.
    long long wanted =
        std::max<long long>(3LL * block, std::min(std::llround(0.25 * rate), 12000LL));
    long long blocks = (wanted + block - 1) / block;
    p.frames = blocks * block;
    const int32_t last = static_cast<int32_t>(std::min<long long>(p.frames - 1, INT32_MAX));
    for (int32_t pin : l.streamInputs) {
        std::vector<float> values(static_cast<size_t>(p.frames));
        float v = randomStreamValue(r, l.streamDefaults.at(pin));
        std::vector<int32_t> cuts;
        for (int32_t k = r.between(0, 6); k > 0; --k)
            cuts.push_back(r.between(1, last));
        std::sort(cuts.begin(), cuts.end());
        size_t next = 0;
        for (long long f = 0; f < p.frames; ++f) {
            while (next < cuts.size() && cuts[next] == f) {
                v = randomStreamValue(r, l.streamDefaults.at(pin));
                p.changes.push_back(Change{f, pin, v, 0, {}});
                ++next;
            }
            values[static_cast<size_t>(f)] = v;
        }
        p.streams[pin] = std::move(values);
    }
    for (int32_t pin : l.listInputs)
        for (int32_t k = r.between(0, 4); k > 0; --k)
            p.changes.push_back(
                Change{r.between(0, last), pin, 0, randomChoice(r, l.choices.at(pin)), {}});
    for (int32_t pin : l.textInputs)
        for (int32_t k = r.between(0, 3); k > 0; --k)
            p.changes.push_back(Change{r.between(0, last), pin, 0, 0, randomText(r)});
    std::stable_sort(p.changes.begin(), p.changes.end(),
                     [](const Change &a, const Change &b) { return a.frame < b.frame; });
    return p;
}

// One run of the plan on a fresh instance. Blocks are cut wherever an input
// changes and, when `slicer` is given, at random places as well.
std::map<int32_t, std::vector<float>> runPlan(const Exports &e, const PinLayout &l,
                                              const ProcessPlan &p, const std::string &texts,
                                              Random *slicer) {
    auto instance = makeInstance(e, p.rate, p.block);
    for (int32_t pin : l.textInputs)
        instance->setText(pin, texts.c_str());
    openWithDefaults(*instance, l);
    std::map<int32_t, std::vector<float>> result;
    for (int32_t pin : l.outputs)
        result[pin].reserve(static_cast<size_t>(p.frames));
    size_t nextChange = 0;
    const std::string how = slicer != nullptr ? "in the sliced run" : "in the whole-block run";
    for (long long start = 0; start < p.frames; start += p.block) {
        for (const auto &entry : p.streams)
            std::copy_n(entry.second.begin() + static_cast<std::ptrdiff_t>(start), p.block,
                        instance->buffer(entry.first).begin());
        for (int32_t pin : l.outputs)
            std::fill(instance->buffer(pin).begin(), instance->buffer(pin).end(), canary());
        std::vector<int32_t> cuts{0, p.block};
        for (size_t c = nextChange; c < p.changes.size() && p.changes[c].frame < start + p.block;
             ++c)
            cuts.push_back(static_cast<int32_t>(p.changes[c].frame - start));
        if (slicer != nullptr) {
            for (int32_t at = slicer->between(1, std::max(1, p.block / 3)); at < p.block;
                 at += slicer->chance(0.3) ? 1 : slicer->between(1, std::max(1, p.block / 4)))
                cuts.push_back(at);
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        for (size_t k = 0; k + 1 < cuts.size(); ++k) {
            const int32_t offset = cuts[k], count = cuts[k + 1] - cuts[k];
            while (nextChange < p.changes.size() && p.changes[nextChange].frame <= start + offset)
                applyChange(*instance, l, p.changes[nextChange++]);
            InputSnapshot inputs = snapshotInputs(*instance, l);
            instance->process(offset, count);
            const std::string where = "of the block at frame " + std::to_string(start) + " " + how;
            checkSlice(*instance, l, offset, count, where);
            checkInputs(*instance, l, inputs, where);
        }
        for (int32_t pin : l.outputs) {
            const auto &out = instance->buffer(pin);
            result[pin].insert(result[pin].end(), out.begin(), out.end());
        }
        checkRecord(*instance, "while processing");
    }
    if (instance->close() != 1)
        fail("the close request does not return 1");
    return result;
}

void processCase(const Exports &e, float rate, int32_t block, Random &r) {
    PinLayout l;
    {
        auto probe = makeInstance(e, rate, block);
        l = layoutOf(probe->pins());
        probe->open();
    }
    ProcessPlan plan = planProcess(l, rate, block, r);
    const std::string texts = randomText(r);
    Random slicer(r.bits());
    auto whole = runPlan(e, l, plan, texts, nullptr);
    auto sliced = runPlan(e, l, plan, texts, &slicer);
    for (int32_t pin : l.outputs) {
        const auto &a = whole.at(pin), &b = sliced.at(pin);
        for (size_t i = 0; i < a.size(); ++i)
            if (!sameBits(a[i], b[i]))
                fail(pinName(l, pin) + ": frame " + std::to_string(i) + " is " +
                     formatSample(a[i]) + " with whole blocks but " + formatSample(b[i]) +
                     " with the same blocks cut into slices");
    }
}

// Processes one block of `instance` in random slices with the usual checks.
void processChecked(Instance &instance, const PinLayout &l, Random &r, const std::string &who) {
    const int32_t block = instance.blockSize();
    for (int32_t pin : l.streamInputs)
        instance.setStream(pin, randomStreamValue(r, l.streamDefaults.at(pin)));
    for (int32_t pin : l.outputs)
        std::fill(instance.buffer(pin).begin(), instance.buffer(pin).end(), canary());
    for (int32_t offset = 0; offset < block;) {
        int32_t count = std::min(block - offset, r.between(1, block));
        InputSnapshot inputs = snapshotInputs(instance, l);
        instance.process(offset, count);
        checkSlice(instance, l, offset, count, who);
        checkInputs(instance, l, inputs, who);
        offset += count;
    }
}

void randomPinChange(Instance &instance, const PinLayout &l, Random &r) {
    std::vector<int32_t> candidates = l.listInputs;
    candidates.insert(candidates.end(), l.textInputs.begin(), l.textInputs.end());
    if (candidates.empty())
        return;
    int32_t pin =
        candidates[static_cast<size_t>(r.between(0, static_cast<int32_t>(candidates.size()) - 1))];
    Change c{0, pin, 0, 0, {}};
    if (l.pins[static_cast<size_t>(pin)].datatype == WL_TYPE_LIST)
        c.choice = randomChoice(r, l.choices.at(pin));
    else
        c.text = randomText(r);
    applyChange(instance, l, c);
}

void instancesInARowCase(const Exports &e, Random &r) {
    for (int n = 0; n < 150; ++n) {
        const int32_t block = r.between(1, 300);
        auto instance = makeInstance(e, 44100.0f, block);
        PinLayout l = layoutOf(instance->pins());
        openWithDefaults(*instance, l);
        randomPinChange(*instance, l, r);
        processChecked(*instance, l, r, "of instance " + std::to_string(n) + " made in a row");
        if (instance->close() != 1)
            fail("the close request of instance " + std::to_string(n) + " does not return 1");
    }
}

void instancesSideBySideCase(const Exports &e, Random &r) {
    std::vector<std::unique_ptr<Instance>> instances;
    std::vector<PinLayout> layouts;
    for (int n = 0; n < 24; ++n) {
        instances.push_back(makeInstance(e, 48000.0f, r.between(16, 512)));
        layouts.push_back(layoutOf(instances.back()->pins()));
        openWithDefaults(*instances.back(), layouts.back());
    }
    for (int round = 0; round < 12; ++round) {
        for (size_t n = 0; n < instances.size(); ++n) {
            if (r.chance(0.3))
                randomPinChange(*instances[n], layouts[n], r);
            processChecked(*instances[n], layouts[n], r,
                           "of instance " + std::to_string(n) + " of " +
                               std::to_string(instances.size()) + " side by side");
        }
    }
    // Closed in random order; the others must go on working meanwhile.
    while (!instances.empty()) {
        size_t n = static_cast<size_t>(r.between(0, static_cast<int32_t>(instances.size()) - 1));
        if (instances[n]->close() != 1)
            fail("a close request does not return 1");
        instances.erase(instances.begin() + static_cast<long>(n));
        layouts.erase(layouts.begin() + static_cast<long>(n));
        for (size_t k = 0; k < instances.size(); ++k)
            processChecked(*instances[k], layouts[k], r, "after another instance closed");
    }
}

void unknownRequestsCase(const Exports &e, Random &r) {
    std::vector<int32_t> codes{4, 5, 7, 9, 10, 11, 13, 14, 22, 100, -1, INT_MAX, INT_MIN};
    const std::set<int32_t> known{0, 1, 2, 3, 6, 8, 12};
    while (codes.size() < 20) {
        int32_t code = static_cast<int32_t>(r.bits());
        if (known.count(code) == 0)
            codes.push_back(code);
    }
    auto instance = makeInstance(e, 44100.0f, 128);
    PinLayout l = layoutOf(instance->pins());
    auto sendAll = [&](const char *when) {
        for (int32_t code : codes) {
            int32_t result = instance->dispatch(code, static_cast<int32_t>(r.bits()),
                                                static_cast<int32_t>(r.bits()), nullptr,
                                                static_cast<float>(r.between(-1000, 1000)));
            if (result != 0)
                fail("unknown dispatcher request " + std::to_string(code) + " " + when +
                     " returns " + std::to_string(result) + ", not 0");
            checkRecord(*instance,
                        std::string("after unknown request ") + std::to_string(code) + " " + when);
        }
    };
    sendAll("before open");
    openWithDefaults(*instance, l);
    sendAll("after open");
    processChecked(*instance, l, r, "after unknown requests");
}

void unknownEventsCase(const Exports &e, Random &r) {
    auto instance = makeInstance(e, 44100.0f, 128);
    PinLayout l = layoutOf(instance->pins());
    const int32_t described = static_cast<int32_t>(l.pins.size());
    // Before open no pin exists yet.
    for (int32_t pin = 0; pin < described; ++pin)
        instance->pinChanged(pin);
    openWithDefaults(*instance, l);
    processChecked(*instance, l, r, "after pin events before open");
    for (int32_t target :
         {described, kHostPins - 1, kHostPins, kHostPins + 1, 1000, -1, INT_MAX, INT_MIN}) {
        instance->pinChanged(target, r.chance(0.5) ? WL_STATUS_CHANGED : WL_STATUS_STREAM);
        processChecked(*instance, l, r,
                       "after a pin event for pin " + std::to_string(target) +
                           ", which is not there");
    }
    for (int32_t type : {1, 3, 4, 5, 20, 22, 99, -1, INT_MAX, INT_MIN}) {
        instance->sendEvent(type, static_cast<intptr_t>(r.between(-1000, 1000)),
                            static_cast<int32_t>(r.bits()),
                            static_cast<int16_t>(r.between(-1000, 1000)));
        processChecked(*instance, l, r, "after an event of unknown type " + std::to_string(type));
    }
    for (int k = 0; k < 8; ++k)
        instance->sendEvent(WL_EVENT_DATA, 0, static_cast<int32_t>(r.bits()),
                            static_cast<int16_t>(r.between(-32768, 32767)));
    instance->sendEvent(WL_EVENT_RUN_ROUTINE, 0);
    processChecked(*instance, l, r, "after data messages and a routine event without a routine");
}

struct ProcessCase {
    float rate;
    int32_t block;
};

// Low and high rates, fractional ones, block size 1, odd sizes and 4096.
const std::vector<ProcessCase> &processCases() {
    static const std::vector<ProcessCase> cases{
        {1000.0f, 1},     {1000.0f, 4096},  {8000.0f, 7},      {11025.5f, 333},   {22050.0f, 64},
        {32000.75f, 100}, {44100.0f, 1},    {44100.0f, 1024},  {44100.25f, 4096}, {48000.0f, 333},
        {88200.0f, 7},    {96000.0f, 1024}, {176400.0f, 4096}, {192000.0f, 1},    {192000.0f, 333},
    };
    return cases;
}

std::string processCaseName(const ProcessCase &c) {
    return "process/rate=" + str(c.rate) + "/block=" + std::to_string(c.block);
}

} // namespace

std::vector<std::string> validateCaseNames() {
    std::vector<std::string> names{"exports", "record", "pins"};
    for (const auto &c : processCases())
        names.push_back(processCaseName(c));
    names.insert(names.end(), {"instances/in-a-row", "instances/side-by-side",
                               "contract/unknown-requests", "contract/unknown-events"});
    return names;
}

uint32_t caseNumberFor(uint32_t randomStart, const std::string &caseName) {
    // FNV-1a: the same number on every platform and build.
    uint32_t h = 2166136261u ^ randomStart;
    for (unsigned char c : caseName) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

bool runValidateCase(const std::string &libraryPath, const std::string &caseName,
                     uint32_t caseNumber, std::string &failure, int &loadStatus) {
    loadStatus = kExitOk;
    auto library = loadOrReport(libraryPath, loadStatus);
    if (library == nullptr)
        return false;
    const Exports &e = library->exports();
    Random r(caseNumber);
    try {
        if (caseName == "exports") {
            exportsCase(e);
        } else if (caseName == "record") {
            recordCase(e);
        } else if (caseName == "pins") {
            pinsCase(e);
        } else if (caseName == "instances/in-a-row") {
            instancesInARowCase(e, r);
        } else if (caseName == "instances/side-by-side") {
            instancesSideBySideCase(e, r);
        } else if (caseName == "contract/unknown-requests") {
            unknownRequestsCase(e, r);
        } else if (caseName == "contract/unknown-events") {
            unknownEventsCase(e, r);
        } else {
            bool found = false;
            for (const auto &c : processCases()) {
                if (processCaseName(c) == caseName) {
                    processCase(e, c.rate, c.block, r);
                    found = true;
                }
            }
            if (!found) {
                failure = "no case named \"" + caseName + "\"";
                return false;
            }
        }
    } catch (const CaseFailure &f) {
        failure = f.text;
        return false;
    }
    return true;
}

} // namespace wlhost
