// What a session takes, in order: biases and darks for every binning, flats
// for every filter and binning, then the lights; each frame with the name
// of its file. The plan can be written to a small text file and read back,
// so that a night is set up in advance and repeated.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "camera_control.h"
#include "frame.h"

namespace capture {

using namespace r6host;

struct SessionSettings {
    int biases = 2;                 // per binning
    int darks = 2;                  // per binning
    int flats = 2;                  // per filter and binning
    int lights = 2;                 // per filter and binning
    double lightSeconds = 60.0;
    double darkSeconds = 60.0;
    std::vector<int> filters{1, 2, 3};
    std::vector<int> binnings{0, 1};
    Subframe subframe;
};

// Frames of one kind, time, filter and binning. A flat's time may be left
// to the exposure search (NaN).
struct FrameGroup {
    FrameKind kind = FrameKind::Light;
    int count = 1;
    double seconds = 0.0;
    int filter = 0; // 0: none, or a camera without a wheel
    int binningCode = 0;
};

// Everything a plan file holds.
struct SessionPlan {
    double target = -10.0;
    double tolerance = 0.5;
    double settleSeconds = 60.0;
    double flatLevel = 32768.0;
    Subframe subframe;
    std::vector<std::string> filterNames{"L", "R", "G", "B", "Ha", "OIII", "SII"};
    std::vector<FrameGroup> groups;
};

struct PlannedFrame {
    ExposureRequest request;
    std::string fileName;
    int group = 0; // index into the plan's groups
};

// The default order; filters are left out on a camera without a wheel.
std::vector<FrameGroup> SessionGroups(const SessionSettings& settings, const CameraFacts& facts);
// The frames of the groups, numbered from 1, with their file names
// (`extension` ".fits" or ".fits.fz").
std::vector<PlannedFrame> PlanFrames(const std::vector<FrameGroup>& groups, const CameraFacts& facts,
                                     const Subframe& subframe, const std::vector<std::string>& filterNames,
                                     const std::string& extension = ".fits");
std::vector<PlannedFrame> PlanSession(const SessionSettings& settings, const CameraFacts& facts,
                                      const std::vector<std::string>& filterNames);

// The plan file's text, and back. ParsePlan returns "" or the message
// naming the line ("line 7: ...").
std::string PlanText(const SessionPlan& plan);
std::string ParsePlan(const std::string& text, SessionPlan* plan);

// The name of a filter position: the given name, else "Position N".
std::string FilterName(int position, const std::vector<std::string>& names);
// "light_R_2x2_007.fits": kind, filter, binning, number; only letters,
// digits, '-' and '_' from the filter's name.
std::string FrameFileName(const ExposureRequest& request, const std::string& binning, int number,
                          const std::string& extension = ".fits");

// One line per frame written, and the table that ends a run.
struct SummaryRow {
    std::string file;
    FrameKind kind = FrameKind::Light;
    double seconds = 0.0;
    std::string filter;
    std::string binning;
    double celsius = NAN; // NaN: no reading
    FrameStats stats;
};
std::string SummaryTable(const std::vector<SummaryRow>& rows);

} // namespace capture
