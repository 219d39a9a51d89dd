// A self-timing version of farcuein_bench for builds without Google
// Benchmark (the 32-bit ones): each figure is the fastest of several timed
// batches of 1024-sample blocks, printed as ns per sample with the ratios to
// memcpy of one block and to the reference loop, all measured in this run.
// The batches of all figures take turns, so a busy machine slows them alike.
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

struct Routine {
    const char *name;
    ProcessEntry entry; // null: whatever open installed
};

struct Figure {
    std::string name;
    const Routine *routine; // null: memcpy
    uint16_t mode;
    Inputs inputs;
    double best = 1e300; // ns per sample
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

    const Routine routines[] = {
        {"reference", &wl::FarcueInModule::processSamplesReference},
        {"shipped", nullptr},
    };
    std::vector<Figure> figures{Figure{"memcpy", nullptr, 0, Inputs::Steady}};
    for (const Routine &routine : routines) {
        for (uint16_t mode : {uint16_t{0}, uint16_t{1}}) {
            for (Inputs inputs : {Inputs::Steady, Inputs::Changing}) {
                std::string name = std::string(routine.name) +
                                   (mode == 0 ? "/pulsed" : "/continuous") +
                                   (inputs == Inputs::Steady ? "/steady" : "/changing");
                if (only.empty() || name == only)
                    figures.push_back(Figure{name, &routine, mode, inputs});
            }
        }
    }

    using Clock = std::chrono::steady_clock;
    auto time = [blocks](auto &&block) {
        auto start = Clock::now();
        for (long b = 0; b < blocks; ++b)
            block();
        std::chrono::duration<double, std::nano> took = Clock::now() - start;
        return took.count() / static_cast<double>(blocks) / kBlock;
    };
    std::vector<float> from(kBlock, 1.0f), to(kBlock, 0.0f);
    for (int batch = 0; batch < 9; ++batch) {
        for (Figure &figure : figures) {
            double ns;
            if (figure.routine == nullptr) {
                ns = time([&] {
                    from[0] = g_sink;
                    std::memcpy(to.data(), from.data(), sizeof(float) * kBlock);
                    g_sink = to[kBlock - 1];
                });
            } else {
                // A fresh instance for each batch: its buffers then sit where
                // every other figure's did, so none gains or loses by where
                // its buffers fall relative to each other.
                BenchInstance instance(figure.mode, figure.inputs);
                ProcessEntry entry = figure.routine->entry != nullptr ? figure.routine->entry
                                                                      : instance.record()->process;
                void *object = instance.object();
                ns = time([&] { entry(object, 0, kBlock); });
            }
            if (ns < figure.best)
                figure.best = ns;
        }
    }

    const double copy = figures.front().best;
    std::printf("%-34s %12s %10s %12s\n", "routine/mode/inputs", "ns/sample", "x memcpy",
                "x reference");
    for (const Figure &figure : figures) {
        std::printf("%-34s %12.4f %10.2f", figure.name.c_str(), figure.best, figure.best / copy);
        const size_t slash = figure.name.find('/');
        if (slash != std::string::npos) {
            const std::string reference = "reference" + figure.name.substr(slash);
            for (const Figure &other : figures)
                if (other.name == reference)
                    std::printf(" %12.2f", figure.best / other.best);
        }
        std::printf("\n");
    }
    return 0;
}
