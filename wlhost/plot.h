// Draws output signals against time into a PNG with gnuplot.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace wlhost {

struct PlotSeries {
    std::string name;
    // (time in seconds, value from then on): the signal's steps.
    std::vector<std::pair<double, float>> steps;
};

// False with the reason in `error`, e.g. when gnuplot is not installed.
bool drawPlot(const std::string &pngPath, const std::string &title,
              const std::vector<PlotSeries> &series, double endTime, std::string &error);

} // namespace wlhost
