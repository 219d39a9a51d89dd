#include "wlhost/plot.h"

#include <cmath>
#include <cstdio>

#include "wlhost/platform.h"

namespace wlhost {

namespace {

// gnuplot's single-quoted strings double a quote and keep everything else.
std::string quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

} // namespace

bool drawPlot(const std::string &pngPath, const std::string &title,
              const std::vector<PlotSeries> &series, double endTime, std::string &error) {
    std::string script = platform::makeTempFile(".gp");
    if (script.empty()) {
        error = "cannot make a temporary file for the plot script";
        return false;
    }
    FILE *f = std::fopen(script.c_str(), "w");
    if (f == nullptr) {
        error = "cannot write " + script;
        platform::removeFile(script);
        return false;
    }
    std::fprintf(f, "set terminal pngcairo size 1200,450 noenhanced\n");
    std::fprintf(f, "set output %s\n", quoted(pngPath).c_str());
    std::fprintf(f, "set title %s\n", quoted(title).c_str());
    std::fprintf(f, "set xlabel 'time (s)'\nset ylabel 'value'\nset grid\n");
    std::fprintf(f, "set key outside right top\nset offsets 0, 0, graph 0.1, graph 0.1\n");
    std::fprintf(f, "set xrange [0:%.9g]\n", endTime > 0 ? endTime : 1.0);
    for (size_t k = 0; k < series.size(); ++k) {
        std::fprintf(f, "$d%zu << EOD\n", k);
        float last = 0;
        for (const auto &step : series[k].steps) {
            // Non-finite values cannot be drawn; they leave a gap.
            if (std::isfinite(step.second))
                std::fprintf(f, "%.9g %.9g\n", step.first, static_cast<double>(step.second));
            else
                std::fprintf(f, "%.9g NaN\n", step.first);
            last = step.second;
        }
        if (!series[k].steps.empty() && std::isfinite(last))
            std::fprintf(f, "%.9g %.9g\n", endTime, static_cast<double>(last));
        std::fprintf(f, "EOD\n");
    }
    std::fprintf(f, "plot ");
    for (size_t k = 0; k < series.size(); ++k)
        std::fprintf(f, "%s$d%zu using 1:2 with steps linewidth 2 title %s", k > 0 ? ", " : "", k,
                     quoted(series[k].name).c_str());
    std::fprintf(f, "\n");
    bool written = std::fclose(f) == 0;
    if (!written) {
        error = "cannot write " + script;
        platform::removeFile(script);
        return false;
    }
    auto result = platform::runChild({"gnuplot", script}, 120);
    platform::removeFile(script);
    if (result.kind == platform::ChildResult::Kind::NotStarted) {
        error = "gnuplot cannot be started (Debian package gnuplot-nox)";
        return false;
    }
    if (result.kind != platform::ChildResult::Kind::Exited || result.exitCode != 0) {
        error = "gnuplot failed: " + result.output;
        while (!error.empty() && (error.back() == '\n' || error.back() == '\r'))
            error.pop_back();
        return false;
    }
    return true;
}

} // namespace wlhost
