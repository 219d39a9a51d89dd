// A self-timing version of farcuein_bench for builds without Google
// Benchmark (the 32-bit ones): each figure is the fastest of several timed
// batches of 1024-sample blocks, printed as ns per sample with the ratios to
// memcpy of one block and to the reference loop, all measured in this run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/farcuein_bench_setup.h"

namespace {

using wlbench::BenchInstance;
using wlbench::Inputs;
using wlbench::kBlock;

// Keeps the compiler from dropping or merging the timed work.
volatile float g_sink = 0.0f;

template <class Work> double nsPerSample(Work &&work, long blocksPerBatch) {
    using Clock = std::chrono::steady_clock;
    double best = 1e300;
    for (int batch = 0; batch < 7; ++batch) {
        auto start = Clock::now();
        for (long b = 0; b < blocksPerBatch; ++b)
            work();
        std::chrono::duration<double, std::nano> took = Clock::now() - start;
        double ns = took.count() / static_cast<double>(blocksPerBatch) / kBlock;
        if (ns < best)
            best = ns;
    }
    return best;
}

struct Routine {
    const char *name;
    ProcessEntry entry; // null: whatever open installed
};

} // namespace

int main(int argc, char **argv) {
    // Blocks per timed batch; lower it where the program runs slowly. A second
    // argument times only the routine/mode/inputs of that name (and memcpy),
    // for counting instructions under a profiler.
    long blocks = argc > 1 ? std::atol(argv[1]) : 20000;
    if (blocks < 1)
        blocks = 1;
    const std::string only = argc > 2 ? argv[2] : "";

    std::vector<float> from(kBlock, 1.0f), to(kBlock, 0.0f);
    double copy = nsPerSample(
        [&] {
            from[0] = g_sink;
            std::memcpy(to.data(), from.data(), sizeof(float) * kBlock);
            g_sink = to[kBlock - 1];
        },
        blocks);

    // The reference first: the self-timing program divides by its figures.
    const Routine routines[] = {
        {"reference", &wl::FarcueInModule::processSamplesReference},
        {"shipped", nullptr},
    };
    std::printf("%-34s %12s %10s %12s\n", "routine/mode/inputs", "ns/sample", "x memcpy",
                "x reference");
    std::printf("%-34s %12.4f %10.2f\n", "memcpy", copy, 1.0);
    std::vector<double> reference;
    for (const Routine &routine : routines) {
        size_t column = 0;
        for (uint16_t mode : {uint16_t{0}, uint16_t{1}}) {
            for (Inputs inputs : {Inputs::Steady, Inputs::Changing}) {
                std::string name = std::string(routine.name) +
                                   (mode == 0 ? "/pulsed" : "/continuous") +
                                   (inputs == Inputs::Steady ? "/steady" : "/changing");
                if (!only.empty() && name != only) {
                    ++column;
                    continue;
                }
                BenchInstance instance(mode, inputs);
                ProcessEntry entry =
                    routine.entry != nullptr ? routine.entry : instance.record()->process;
                void *object = instance.object();
                double ns = nsPerSample([&] { entry(object, 0, kBlock); }, blocks);
                std::printf("%-34s %12.4f %10.2f", name.c_str(), ns, ns / copy);
                if (std::string(routine.name) == "reference")
                    reference.push_back(ns);
                else if (column < reference.size())
                    std::printf(" %12.2f", ns / reference[column]);
                std::printf("\n");
                ++column;
            }
        }
    }
    return 0;
}
