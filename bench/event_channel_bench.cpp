// Cost of one test, set and reset of the channel, beside a plain atomic load
// measured in the same run. After the table it prints each one's ratio to
// that load, and the test's against its goal (5 ns, at most 3 times a load).
// Built twice: against the channel library (a plain call per operation) and,
// as event_channel_bench_lto, with link-time optimisation.
#include "channel/event_channel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

namespace ch = wl::channel;

std::string benchName() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    char user[32];
    std::snprintf(user, sizeof user, "bench%llx", static_cast<unsigned long long>(now));
    char name[ch::kNameCapacity];
    ch::makeChannelName(user, name);
    return name;
}

// The baseline: what a test has to do at least, load one shared word.
void atomicLoad(benchmark::State &state) {
    std::atomic<uint32_t> word{0};
    std::atomic<uint32_t> *p = &word;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(p->load(std::memory_order_acquire));
    }
}

template <bool (*Operation)(ch::ChannelHandle)>
void channelCall(benchmark::State &state) {
    const std::string name = benchName();
    ch::ChannelHandle handle = ch::createOrJoin(name.c_str());
    if (handle == nullptr) {
        state.SkipWithError("createOrJoin failed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(Operation(handle));
    ch::close(handle);
}

BENCHMARK(atomicLoad);
BENCHMARK(channelCall<ch::test>)->Name("test");
BENCHMARK(channelCall<ch::set>)->Name("set");
BENCHMARK(channelCall<ch::reset>)->Name("reset");

// Keeps each benchmark's fastest repetition, wall and CPU time per call, for
// the summary (with --benchmark_repetitions=N).
class Reporter : public benchmark::ConsoleReporter {
  public:
    struct Figures {
        double wall = 1e300, cpu = 1e300;
    };
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const double toNs = benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                benchmark::GetTimeUnitMultiplier(run.time_unit);
            Figures &f = figures[run.run_name.function_name];
            f.wall = std::min(f.wall, run.GetAdjustedRealTime() * toNs);
            f.cpu = std::min(f.cpu, run.GetAdjustedCPUTime() * toNs);
        }
    }
    std::map<std::string, Figures> figures;
};

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto base = reporter.figures.find("atomicLoad");
    if (base == reporter.figures.end() || base->second.wall <= 0 || base->second.cpu <= 0)
        return 0;
    std::printf("\nfastest repetition, per call; ratio to the atomic load of this run\n");
    std::printf("  %-12s %10s %7s %10s %7s\n", "", "wall ns", "ratio", "cpu ns", "ratio");
    for (const auto &[name, f] : reporter.figures)
        std::printf("  %-12s %10.3f %6.2fx %10.3f %6.2fx\n", name.c_str(), f.wall,
                    f.wall / base->second.wall, f.cpu, f.cpu / base->second.cpu);
    const auto test = reporter.figures.find("test");
    if (test != reporter.figures.end()) {
        // CPU time: on a shared machine the wall figures carry other work.
        const bool met = test->second.cpu <= 5.0 && test->second.cpu <= 3.0 * base->second.cpu;
        std::printf("test goal (<= 5 ns and <= 3x the load, cpu): %s\n", met ? "met" : "NOT met");
    }
    return 0;
}
