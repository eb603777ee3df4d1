#include "flat_exposure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "arguments.h"

namespace capture {
namespace {

// Above this the brightest part of a flat may clip: no longer linear.
constexpr double kSaturated = 60000.0;
// Less signal than this above the bias is noise, not a measure of light.
constexpr double kNoLight = 20.0;

} // namespace

double MedianOf(const Frame& frame)
{
    if (frame.pixels.empty())
        return 0.0;
    std::vector<uint32_t> counts(65536, 0);
    for (uint16_t pixel : frame.pixels)
        ++counts[pixel];
    size_t half = (frame.pixels.size() + 1) / 2;
    size_t seen = 0;
    for (size_t value = 0; value < counts.size(); ++value) {
        seen += counts[value];
        if (seen >= half)
            return (double)value;
    }
    return 65535.0;
}

double NextFlatSeconds(double seconds, double median, double bias, double level)
{
    double next;
    if (median >= kSaturated)
        next = seconds / 4.0;
    else if (median - bias < kNoLight)
        next = seconds * 8.0;
    else
        next = seconds * (level - bias) / (median - bias);
    // The driver takes whole milliseconds: the time recorded is the time used.
    return std::clamp(std::round(next * 1000.0) / 1000.0, kShortestFlat, kLongestExposure);
}

bool FlatLevelReached(double median, double bias, double level)
{
    return std::fabs(median - level) <= 0.1 * std::max(level - bias, 1.0);
}

bool FindFlatExposure(CameraControl& control, Progress& progress, const ExposureRequest& request, double level,
                      double firstSeconds, double* seconds, std::string* error)
{
    char line[200];
    Frame frame;
    ExposureRequest trial = request;
    trial.kind = FrameKind::Bias;
    trial.light = false;
    trial.filter = 0; // the bias needs no filter: the wheel stays
    trial.filterName.clear();
    trial.seconds = 0.0;
    if (!control.Expose(trial, &frame, error))
        return false;
    double bias = MedianOf(frame);
    trial = request;
    trial.kind = FrameKind::Flat;
    trial.light = true;
    trial.seconds = std::clamp(firstSeconds, kShortestFlat, kLongestExposure);
    for (int round = 1; round <= kFlatTrials; ++round) {
        if (!control.Expose(trial, &frame, error))
            return false;
        double median = MedianOf(frame);
        std::snprintf(line, sizeof line, "Flat exposure: trial %d at %.3f s, median %.0f ADU (bias %.0f, wanted %.0f)",
                      round, trial.seconds, median, bias, level);
        progress.Line(line);
        if (FlatLevelReached(median, bias, level)) {
            *seconds = trial.seconds;
            return true;
        }
        double next = NextFlatSeconds(trial.seconds, median, bias, level);
        if (next == trial.seconds) {
            std::snprintf(line, sizeof line,
                          "no flat exposure from %g to %g s gives a median of %.0f ADU: at %.3f s it is %.0f ADU "
                          "(is the panel lit?)",
                          kShortestFlat, kLongestExposure, level, trial.seconds, median);
            *error = line;
            return false;
        }
        trial.seconds = next;
    }
    std::snprintf(line, sizeof line, "the flat exposure search did not settle within %d trials (last: %.3f s)",
                  kFlatTrials, trial.seconds);
    *error = line;
    return false;
}

} // namespace capture
