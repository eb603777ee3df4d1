// The exposure time of flat frames, found as capture programs find it: a
// bias to know the offset, then a few trial frames of the lit field, each
// time scaled so that the median lands near the wanted level.
#pragma once

#include <string>

#include "camera_control.h"
#include "frame.h"

namespace capture {

using namespace r6host;

constexpr double kShortestFlat = 0.001; // s
constexpr int kFlatTrials = 6;

// The median pixel value.
double MedianOf(const Frame& frame);

// The next trial's time after `seconds` gave `median` over a bias of
// `bias`: scaled in proportion for a frame with light in its range, cut to
// a quarter for a saturated one, eight times longer for one with almost
// none; never beyond the exposure limits.
double NextFlatSeconds(double seconds, double median, double bias, double level);
// Whether a median counts as at the level: within 10 % of its height above
// the bias.
bool FlatLevelReached(double median, double bias, double level);

// Takes the trial frames (none of them is kept) with the filter and binning
// of `request`, starting at `firstSeconds`. False with the reason when no
// time within the limits gives the level.
bool FindFlatExposure(CameraControl& control, Progress& progress, const ExposureRequest& request, double level,
                      double firstSeconds, double* seconds, std::string* error);

} // namespace capture
