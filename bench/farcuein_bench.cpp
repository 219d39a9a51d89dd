// The module's process routines on 1024-sample blocks, both modes, steady and
// per-sample changing inputs, beside memcpy of one block in the same run.
// After Google Benchmark's own lines it prints ns per sample and the ratios to
// memcpy and to the reference loop (the fastest repetition of each, with
// --benchmark_repetitions=N).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/farcuein_bench_setup.h"

namespace {

using wlbench::BenchInstance;
using wlbench::Inputs;
using wlbench::kBlock;

void memcpyBlock(benchmark::State &state) {
    std::vector<float> from(kBlock, 1.0f), to(kBlock, 0.0f);
    for (auto _ : state) {
        benchmark::DoNotOptimize(from.data());
        std::memcpy(to.data(), from.data(), sizeof(float) * kBlock);
        benchmark::ClobberMemory();
    }
}

void processBlocks(benchmark::State &state, ProcessEntry routine, uint16_t mode, Inputs inputs) {
    BenchInstance instance(mode, inputs);
    void *object = instance.object();
    if (routine == nullptr)
        routine = instance.record()->process;
    for (auto _ : state) {
        routine(object, 0, kBlock);
        benchmark::ClobberMemory();
    }
}

// Collects every run and prints the ratio table once all have finished.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            // With repetitions, the fastest: other work on the machine only adds time.
            double ns =
                run.real_accumulated_time * 1e9 / static_cast<double>(run.iterations) / kBlock;
            const std::string name = run.run_name.function_name;
            auto known = perSample_.find(name);
            if (known == perSample_.end()) {
                perSample_[name] = ns;
                order_.push_back(name);
            } else if (ns < known->second) {
                known->second = ns;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        // memcpy, then reference/..., then shipped/..., whatever order they ran in.
        std::sort(order_.begin(), order_.end());
        double copy = perSample_["memcpy"];
        std::printf("\n%-34s %12s %10s %12s\n", "routine/mode/inputs", "ns/sample", "x memcpy",
                    "x reference");
        for (const std::string &name : order_) {
            double ns = perSample_[name];
            size_t slash = name.find('/');
            auto found = slash == std::string::npos
                             ? perSample_.end()
                             : perSample_.find("reference" + name.substr(slash));
            std::printf("%-34s %12.4f %10.2f", name.c_str(), ns, copy > 0 ? ns / copy : 0.0);
            if (found != perSample_.end() && found->second > 0)
                std::printf(" %12.2f", ns / found->second);
            std::printf("\n");
        }
    }

  private:
    std::map<std::string, double> perSample_;
    std::vector<std::string> order_;
};

struct Routine {
    const char *name;
    ProcessEntry entry; // null: whatever open installed
};

} // namespace

int main(int argc, char **argv) {
    benchmark::RegisterBenchmark("memcpy", memcpyBlock)->Unit(benchmark::kNanosecond);
    // The reference first: the self-timing program divides by its figures.
    const Routine routines[] = {
        {"reference", &wl::FarcueInModule::processSamplesReference},
        {"shipped", nullptr},
    };
    for (const Routine &routine : routines) {
        for (uint16_t mode : {uint16_t{0}, uint16_t{1}}) {
            for (Inputs inputs : {Inputs::Steady, Inputs::Changing}) {
                std::string name = std::string(routine.name) +
                                   (mode == 0 ? "/pulsed" : "/continuous") +
                                   (inputs == Inputs::Steady ? "/steady" : "/changing");
                benchmark::RegisterBenchmark(name.c_str(), processBlocks, routine.entry, mode,
                                             inputs)
                    ->Unit(benchmark::kNanosecond);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
