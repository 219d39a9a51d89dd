// ModuleBase and Pin, driven through the InstanceRecord entries by the
// stand-in host, as the real host would drive them.
#include "framework/module_base.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <vector>

#include "wlhost/standin_host.h"

namespace {

struct PinShape {
    int32_t datatype;
    int32_t flags;
};

// A module whose pins and reactions a test chooses, and which records what
// the framework asks of it.
class ProbeModule : public wl::ModuleBase {
  public:
    using ModuleBase::ModuleBase;
    ~ProbeModule() override { ++destroyed; }

    bool describePin(int32_t index, PinDescriptor *d) override {
        describeCalls.push_back(index);
        if (index < 0 || index >= static_cast<int32_t>(shapes.size()))
            return false;
        d->datatype = shapes[static_cast<size_t>(index)].datatype;
        d->flags = shapes[static_cast<size_t>(index)].flags;
        d->direction = WL_DIR_INPUT;
        d->name = "probe";
        return true;
    }
    void onPinStatusChange(wl::Pin &pin) override {
        changes.push_back({pin.index, pin.status});
        if (throwOnChange)
            throw std::runtime_error("module fault");
    }
    void onRequest8() override { ++request8; }
    void onRequest12(int32_t index, void *ptr) override {
        request12Index = index;
        request12Ptr = ptr;
    }
    void onDataMessage(int32_t timestamp, int32_t value, int16_t value2) override {
        data = {timestamp, value, value2};
    }

    static void HOST_CALL otherRoutine(void *, int32_t, int32_t) {}
    static void routine(wl::ModuleBase &m) { ++static_cast<ProbeModule &>(m).routineRuns; }
    static void unregisteredRoutine(wl::ModuleBase &m) {
        ++static_cast<ProbeModule &>(m).routineRuns;
    }
    using ModuleBase::registerRoutine;

    static std::vector<PinShape> shapes;
    static int destroyed;
    bool throwOnChange = false;
    std::vector<int32_t> describeCalls;
    std::vector<std::pair<int32_t, int32_t>> changes;
    int request8 = 0;
    int32_t request12Index = 0;
    void *request12Ptr = nullptr;
    std::vector<int32_t> data;
    int routineRuns = 0;
};
std::vector<PinShape> ProbeModule::shapes;
int ProbeModule::destroyed = 0;

InstanceRecord *HOST_CALL makeProbe(int32_t, int32_t, HostCallback callback, intptr_t hostValue) {
    return (new ProbeModule(callback, hostValue))->record();
}

const wlhost::Exports kProbeExports{nullptr, &makeProbe};

class ModuleBaseTest : public ::testing::Test {
  protected:
    void make(int32_t hostPins, std::vector<PinShape> shapes = {}, bool withCallback = true) {
        ProbeModule::shapes = std::move(shapes);
        host = std::make_unique<wlhost::Instance>(kProbeExports, hostPins);
        ASSERT_TRUE(host->create(0, 1, withCallback));
    }
    ProbeModule &module() { return *static_cast<ProbeModule *>(
                                static_cast<wl::ModuleBase *>(host->record()->object)); }
    int countRequests(int32_t request) const {
        int n = 0;
        for (const auto &r : host->requests)
            n += r.request == request;
        return n;
    }
    std::unique_ptr<wlhost::Instance> host;
};

TEST_F(ModuleBaseTest, FreshInstanceRecordAndDefaults) {
    make(4);
    const InstanceRecord &r = *host->record();
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&r);
    EXPECT_EQ(bytes[0], 0x4C);
    EXPECT_EQ(bytes[1], 0x50);
    EXPECT_EQ(bytes[2], 0x4C);
    EXPECT_EQ(bytes[3], 0x57);
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.hostValue, reinterpret_cast<intptr_t>(host.get()));
    EXPECT_EQ(r.object, static_cast<wl::ModuleBase *>(&module()));
    EXPECT_EQ(r.reserved0, 0);
    for (int32_t word : r.reserved)
        EXPECT_EQ(word, 0);
    EXPECT_FLOAT_EQ(module().getSampleRate(), 44100.0f);
    EXPECT_EQ(module().getBlockSize(), 1024);
    EXPECT_EQ(module().pinCount(), 0);
    host->process(0, 16); // before open: the entry does nothing
    EXPECT_TRUE(host->requests.empty());
}

TEST_F(ModuleBaseTest, DispatcherRequests) {
    make(4, {{WL_TYPE_INT32, 0}});
    EXPECT_EQ(host->dispatch(WL_REQ_SET_SAMPLE_RATE, 0, 0, nullptr, 500.0f), 0);
    EXPECT_FLOAT_EQ(module().getSampleRate(), 500.0f);
    EXPECT_EQ(host->dispatch(WL_REQ_SET_BLOCK_SIZE, 0, 256), 0);
    EXPECT_EQ(module().getBlockSize(), 256);

    PinDescriptor d{};
    EXPECT_EQ(host->dispatch(WL_REQ_DESCRIBE_PIN, 0, 0, &d), 1);
    EXPECT_EQ(d.datatype, WL_TYPE_INT32);
    EXPECT_EQ(host->dispatch(WL_REQ_DESCRIBE_PIN, 1, 0, &d), 0);

    int marker = 0;
    EXPECT_EQ(host->dispatch(WL_REQ_REQUEST8), 0);
    EXPECT_EQ(host->dispatch(WL_REQ_REQUEST12, 9, 0, &marker), 0);
    EXPECT_EQ(module().request8, 1);
    EXPECT_EQ(module().request12Index, 9);
    EXPECT_EQ(module().request12Ptr, &marker);

    for (int32_t request : {4, 5, 7, 9, 10, 11, 13, -1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(host->dispatch(request, 1, 2, &marker, 3.0f), 0) << request;
    EXPECT_FLOAT_EQ(module().getSampleRate(), 500.0f);
    EXPECT_EQ(module().getBlockSize(), 256);
    EXPECT_EQ(module().pinCount(), 0);
    EXPECT_TRUE(host->requests.empty());
}

TEST_F(ModuleBaseTest, CloseReturnsOneAndDestroys) {
    make(4);
    int before = ProbeModule::destroyed;
    EXPECT_EQ(host->close(), 1);
    EXPECT_EQ(ProbeModule::destroyed, before + 1);
}

TEST_F(ModuleBaseTest, ProcessRoutineChangeNotifiesOnce) {
    make(4);
    module().setProcessRoutine(&wl::ModuleBase::processNothing);
    EXPECT_EQ(countRequests(WL_HOST_PROCESS_CHANGED), 0);
    module().setProcessRoutine(&ProbeModule::otherRoutine);
    EXPECT_EQ(countRequests(WL_HOST_PROCESS_CHANGED), 1);
    EXPECT_EQ(host->record()->process, &ProbeModule::otherRoutine);
    module().setProcessRoutine(&ProbeModule::otherRoutine);
    EXPECT_EQ(countRequests(WL_HOST_PROCESS_CHANGED), 1);
}

TEST_F(ModuleBaseTest, PinStatusEvents) {
    make(3, {{WL_TYPE_INT32, 0}, {WL_TYPE_LIST, 0}});
    host->pinChanged(0, 1); // before open: no pins yet
    EXPECT_TRUE(module().changes.empty());
    host->open();

    host->pinChanged(1, WL_STATUS_CHANGED);
    ASSERT_EQ(module().changes.size(), 1u);
    EXPECT_EQ(module().changes[0], std::make_pair(1, 1));
    EXPECT_EQ(module().pin(1).status, 0);
    host->pinChanged(0, 2);
    EXPECT_EQ(module().pin(0).status, 2);

    // Pin 2 is kept by the host but never described, so never initialised.
    for (intptr_t target : {intptr_t{-1}, intptr_t{2}, intptr_t{3}, intptr_t{INT32_MAX}})
        host->sendEvent(WL_EVENT_PIN_STATUS, target, 1);
    EXPECT_EQ(module().changes.size(), 2u);

    host->sendEvent(WL_EVENT_DATA, 0, 77, 5);
    EXPECT_EQ(module().data, (std::vector<int32_t>{host->clock(), 77, 5}));
    host->sendEvent(99, 0, 1); // unknown type: ignored
    EXPECT_EQ(module().changes.size(), 2u);
}

TEST_F(ModuleBaseTest, RoutineEventsRunOnlyRegisteredRoutines) {
    make(1);
    ASSERT_TRUE(module().registerRoutine(&ProbeModule::routine));
    host->sendEvent(WL_EVENT_RUN_ROUTINE, reinterpret_cast<intptr_t>(&ProbeModule::routine));
    EXPECT_EQ(module().routineRuns, 1);
    host->sendEvent(WL_EVENT_RUN_ROUTINE,
                    reinterpret_cast<intptr_t>(&ProbeModule::unregisteredRoutine));
    host->sendEvent(WL_EVENT_RUN_ROUTINE, 0);
    host->sendEvent(WL_EVENT_RUN_ROUTINE, 12345);
    EXPECT_EQ(module().routineRuns, 1);
}

struct CreatePinsCase {
    const char *what;
    int32_t hostPins;
    std::vector<PinShape> shapes;
    std::vector<int32_t> describeCalls;
    int32_t initialised;
};

TEST_F(ModuleBaseTest, CreatePinsTable) {
    const CreatePinsCase cases[] = {
        {"repeating stream fills the host's extra pins", 5,
         {{WL_TYPE_INT32, 0}, {WL_TYPE_LIST, 0}, {WL_TYPE_STREAM, WL_PIN_REPEATS}},
         {0, 1, 2, 3, 2}, 5},
        {"as many pins as the host keeps: no repeats", 2,
         {{WL_TYPE_INT32, 0}, {WL_TYPE_STREAM, WL_PIN_REPEATS}}, {0, 1, 2, 1}, 2},
        {"no repeat flag: extra host pins stay uninitialised", 4,
         {{WL_TYPE_INT32, 0}}, {0, 1, 0}, 1},
        {"host keeps no pins", 0, {{WL_TYPE_INT32, 0}}, {0, -1}, 0},
        {"module describes no pins", 3, {}, {0, -1}, 0},
        {"negative pin count counts as none", -5, {{WL_TYPE_INT32, 0}}, {0, -1}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        make(c.hostPins, c.shapes);
        host->open();
        EXPECT_EQ(module().describeCalls, c.describeCalls);
        EXPECT_EQ(module().initialisedPinCount(), c.initialised);
        host->close();
    }
}

TEST_F(ModuleBaseTest, RepeatedStreamPinsGetTheirOwnBuffers) {
    make(5, {{WL_TYPE_INT32, 0}, {WL_TYPE_LIST, 0}, {WL_TYPE_STREAM, WL_PIN_REPEATS}});
    host->open();
    for (int32_t j : {2, 3, 4}) {
        const wl::Pin &p = module().pin(j);
        EXPECT_EQ(p.datatype, WL_TYPE_STREAM);
        EXPECT_EQ(p.variable, &p.storage);
        EXPECT_EQ(p.storage.address, host->buffer(j).data());
    }
    std::vector<int32_t> bufferAsks;
    for (const auto &r : host->requests)
        if (r.request == WL_HOST_PIN_BUFFER)
            bufferAsks.push_back(r.index);
    EXPECT_EQ(bufferAsks, (std::vector<int32_t>{2, 3, 4}));
    // Storage-backed list and 32-bit pins start at zero in their own storage.
    EXPECT_EQ(module().pin(0).variable, &module().pin(0).storage);
    EXPECT_EQ(module().pin(1).storage.u16, 0);
}

TEST_F(ModuleBaseTest, SecondOpenReplacesThePins) {
    make(3, {{WL_TYPE_INT32, 0}, {WL_TYPE_BYTE, 0}});
    host->open();
    host->open(); // LeakSanitizer reports the first array if it leaks
    EXPECT_EQ(module().initialisedPinCount(), 2);
    host->pinChanged(1, 2);
    EXPECT_EQ(module().pin(1).status, 2);
}

TEST_F(ModuleBaseTest, UnallocatablePinArrayLeavesNoPins) {
    make(INT32_MAX, {{WL_TYPE_INT32, 0}});
    host->open();
    EXPECT_EQ(module().pinCount(), 0);
    host->pinChanged(0, 1);
    EXPECT_TRUE(module().changes.empty());
    host->processBlock();
    EXPECT_EQ(host->close(), 1);
}

TEST_F(ModuleBaseTest, NullCallbackYieldsZeroes) {
    make(4, {{WL_TYPE_STREAM, 0}}, /*withCallback=*/false);
    EXPECT_EQ(module().sampleClock(), 0);
    EXPECT_EQ(module().callHost(WL_HOST_PIN_COUNT, 0, 0, nullptr, 0.0f), 0);
    module().setProcessRoutine(&ProbeModule::otherRoutine);
    host->open();
    EXPECT_EQ(module().pinCount(), 0);
    EXPECT_TRUE(host->requests.empty());
}

TEST_F(ModuleBaseTest, ExceptionsStopAtTheEntries) {
    make(2, {{WL_TYPE_INT32, 0}});
    host->open();
    module().throwOnChange = true;
    host->pinChanged(0, 1); // must not unwind into the host
    EXPECT_EQ(module().changes.size(), 1u);
}

} // namespace
