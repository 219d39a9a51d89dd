#include <cmath>
#include <cstdio>
#include <cstring>

#include "wlhost/cli.h"
#include "wlhost/commands.h"
#include "wlhost/platform.h"
#include "wlhost/plot.h"
#include "wlhost/wav_writer.h"

namespace wlhost {

namespace {

struct RunOptions {
    std::string path;
    double rate = 44100.0;
    long block = 1024;
    std::vector<std::string> pins;
    double seconds = -1; // not given
    bool realtime = false;
    bool json = false;
    std::string wav;
    std::string plot;
};

// The plot keeps one point per change; a signal that changes on nearly
// every sample for a long run stops being recorded here.
constexpr size_t kMaxPlotSteps = 4000000;

bool parseRunOptions(const Args &args, RunOptions &o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size()) {
                reportError(a, "needs a value");
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--rate") {
            if (!value(v))
                return false;
            if (!parseDouble(v, o.rate) || !(o.rate > 0) || o.rate > 1e7) {
                reportError("--rate " + v, "not a sample rate in Hz");
                return false;
            }
        } else if (a == "--block") {
            if (!value(v))
                return false;
            if (!parseInt(v, o.block) || o.block < 1 || o.block > (1 << 20)) {
                reportError("--block " + v, "not a block size (1 to 1048576)");
                return false;
            }
        } else if (a == "--pin") {
            if (!value(v))
                return false;
            if (v.find('=') == std::string::npos) {
                reportError("--pin " + v, "expected NAME=VALUE");
                return false;
            }
            o.pins.push_back(v);
        } else if (a == "--seconds") {
            if (!value(v))
                return false;
            if (!parseDouble(v, o.seconds) || o.seconds < 0 || o.seconds > 1e6) {
                reportError("--seconds " + v, "not a duration in seconds");
                return false;
            }
        } else if (a == "--realtime") {
            o.realtime = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--wav") {
            if (!value(o.wav))
                return false;
        } else if (a == "--plot") {
            if (!value(o.plot))
                return false;
        } else if (!a.empty() && a[0] == '-') {
            reportError(a, "unknown option for run");
            return false;
        } else if (o.path.empty()) {
            o.path = a;
        } else {
            reportError(a, "run takes one library");
            return false;
        }
    }
    if (o.path.empty()) {
        reportError("run", "no library given");
        return false;
    }
    return true;
}

std::string jsonNumber(float value) {
    return std::isfinite(value) ? formatSample(value) : jsonString(formatSample(value));
}

bool sameSample(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct OutputPin {
    int32_t index = 0;
    std::string name;
    bool seen = false;
    float last = 0;
    PlotSeries plot;
};

std::string pinList(const Instance &instance) {
    std::string names;
    for (const auto &d : instance.pins()) {
        if (d.direction != WL_DIR_INPUT || d.name == nullptr)
            continue;
        names += (names.empty() ? "" : ", ") + std::string("\"") + d.name + "\"";
    }
    return names;
}

} // namespace

int runCommand(const Args &args) {
    RunOptions o;
    if (!parseRunOptions(args, o)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    int status = kExitOk;
    auto library = loadOrReport(o.path, status);
    if (library == nullptr)
        return status;

    const int32_t block = static_cast<int32_t>(o.block);
    Instance instance(library->exports(), 64, block);
    if (!instance.create(0, 1)) {
        reportError(o.path, "makeModule(0, 1) gave no instance");
        return kExitInstance;
    }
    // The host's order: rate and block size, the pins, open, then the pin
    // values and a status event for each input.
    instance.setSampleRate(static_cast<float>(o.rate));
    instance.setBlockSize(block);
    const auto &pins = instance.bindPins();
    std::vector<OutputPin> outputs;
    for (size_t i = 0; i < pins.size(); ++i) {
        const PinDescriptor &d = pins[i];
        int32_t index = static_cast<int32_t>(i);
        if (d.direction == WL_DIR_OUTPUT && d.datatype == WL_TYPE_STREAM) {
            OutputPin out;
            out.index = index;
            out.name = d.name != nullptr ? d.name : "pin " + std::to_string(i);
            out.plot.name = out.name;
            outputs.push_back(out);
        } else if (d.direction == WL_DIR_INPUT && d.defaultValue != nullptr) {
            std::string why;
            // A default the host cannot read leaves the pin at zero, as the
            // host would.
            applyPinText(instance, index, d.defaultValue, why);
        }
    }
    for (const auto &assignment : o.pins) {
        size_t equals = assignment.find('=');
        std::string name = assignment.substr(0, equals);
        std::string text = assignment.substr(equals + 1);
        int pin = instance.findPin(name);
        if (pin < 0) {
            reportError("--pin \"" + assignment + "\"",
                        "no pin named \"" + name + "\" (inputs: " + pinList(instance) + ")");
            return kExitInstance;
        }
        if (pins[static_cast<size_t>(pin)].direction != WL_DIR_INPUT) {
            reportError("--pin \"" + assignment + "\"", "\"" + name + "\" is not an input");
            return kExitInstance;
        }
        std::string why;
        if (!applyPinText(instance, pin, text, why)) {
            reportError("--pin \"" + assignment + "\"", why);
            return kExitInstance;
        }
    }
    if (outputs.empty()) {
        reportError(o.path, "module 0 has no sample-stream output to show");
        return kExitInstance;
    }

    std::unique_ptr<WavWriter> wav;
    if (!o.wav.empty()) {
        std::string error;
        wav = openWavWriter(o.wav, static_cast<int>(outputs.size()),
                            static_cast<int>(std::lround(o.rate)), error);
        if (wav == nullptr) {
            reportError(o.wav, error);
            return kExitOutput;
        }
    }

    instance.open();
    for (size_t i = 0; i < pins.size(); ++i)
        if (pins[i].direction == WL_DIR_INPUT)
            instance.pinChanged(static_cast<int32_t>(i));

    platform::installStopHandler();
    const double seconds = o.seconds >= 0 ? o.seconds : (o.realtime ? -1 : 1.0);
    const long long totalFrames =
        seconds >= 0 ? static_cast<long long>(std::llround(seconds * o.rate)) : -1;
    std::fprintf(stderr, "wlhost: running %s at %s Hz, block %d, %s%s\n", o.path.c_str(),
                 formatSample(static_cast<float>(o.rate)).c_str(), static_cast<int>(block),
                 seconds >= 0 ? (formatSample(static_cast<float>(seconds)) + " s").c_str()
                              : "until Ctrl-C",
                 o.realtime ? ", real time" : "");

    std::vector<float> interleaved;
    long long done = 0;
    const double start = platform::monotonicSeconds();
    bool plotFull = false;
    while ((totalFrames < 0 || done < totalFrames) && !platform::stopRequested()) {
        if (o.realtime)
            platform::sleepUntil(start + static_cast<double>(done) / o.rate);
        if (platform::stopRequested())
            break;
        int32_t count = block;
        if (totalFrames >= 0 && totalFrames - done < count)
            count = static_cast<int32_t>(totalFrames - done);
        instance.process(0, count);
        bool printed = false;
        for (auto &out : outputs) {
            const float *samples = instance.buffer(out.index).data();
            for (int32_t i = 0; i < count; ++i) {
                float v = samples[i];
                if (out.seen && sameSample(v, out.last))
                    continue;
                long long frame = done + i;
                double t = static_cast<double>(frame) / o.rate;
                if (o.json) {
                    std::printf("{\"time\":%.6f,\"sample\":%lld,\"pin\":%s,\"index\":%d,"
                                "\"from\":%s,\"to\":%s}\n",
                                t, frame, jsonString(out.name).c_str(), static_cast<int>(out.index),
                                out.seen ? jsonNumber(out.last).c_str() : "null",
                                jsonNumber(v).c_str());
                } else if (out.seen) {
                    std::printf("%.6f s  %s  %s -> %s\n", t, out.name.c_str(),
                                formatSample(out.last).c_str(), formatSample(v).c_str());
                } else {
                    std::printf("%.6f s  %s  %s\n", t, out.name.c_str(), formatSample(v).c_str());
                }
                printed = true;
                if (!o.plot.empty()) {
                    if (out.plot.steps.size() < kMaxPlotSteps)
                        out.plot.steps.emplace_back(t, v);
                    else
                        plotFull = true;
                }
                out.seen = true;
                out.last = v;
            }
        }
        // Lines go out as they happen, for whoever reads them live.
        if (printed)
            std::fflush(stdout);
        if (wav != nullptr) {
            interleaved.resize(static_cast<size_t>(count) * outputs.size());
            for (size_t k = 0; k < outputs.size(); ++k) {
                const float *samples = instance.buffer(outputs[k].index).data();
                for (int32_t i = 0; i < count; ++i)
                    interleaved[static_cast<size_t>(i) * outputs.size() + k] = samples[i];
            }
            if (!wav->write(interleaved.data(), count)) {
                reportError(o.wav, "write failed");
                return kExitOutput;
            }
        }
        done += count;
    }
    instance.close();
    const double endTime = static_cast<double>(done) / o.rate;
    std::fprintf(stderr, "wlhost: processed %lld samples (%.6f s)\n", done, endTime);

    int result = kExitOk;
    if (wav != nullptr) {
        std::string error;
        if (!wav->finish(error)) {
            reportError(o.wav, error);
            result = kExitOutput;
        } else {
            std::fprintf(stderr, "wlhost: wrote %s\n", o.wav.c_str());
        }
    }
    if (!o.plot.empty()) {
        if (plotFull)
            std::fprintf(stderr, "wlhost: the plot shows only the first %zu changes\n",
                         kMaxPlotSteps);
        std::vector<PlotSeries> series;
        for (const auto &out : outputs)
            series.push_back(out.plot);
        std::string error;
        std::string title = o.path + " at " + formatSample(static_cast<float>(o.rate)) + " Hz";
        if (!drawPlot(o.plot, title, series, endTime, error)) {
            reportError(o.plot, error);
            result = kExitOutput;
        } else {
            std::fprintf(stderr, "wlhost: wrote %s\n", o.plot.c_str());
        }
    }
    return result;
}

} // namespace wlhost
