// What a session takes, in order: for every binning its darks, then for
// every filter and binning its lights; each frame with the name of its file.
#pragma once

#include <string>
#include <vector>

#include "camera_control.h"
#include "frame.h"

namespace capture {

using namespace r6host;

struct SessionSettings {
    int darks = 2;                  // per binning
    int lights = 2;                 // per filter and binning
    double lightSeconds = 60.0;
    double darkSeconds = 60.0;
    std::vector<int> filters{1, 2, 3};
    std::vector<int> binnings{0, 1};
    Subframe subframe;
};

struct PlannedFrame {
    ExposureRequest request;
    std::string fileName;
};

// Filters are left out on a camera without a wheel.
std::vector<PlannedFrame> PlanSession(const SessionSettings& settings, const CameraFacts& facts,
                                      const std::vector<std::string>& filterNames);

// The name of a filter position: the given name, else "Position N".
std::string FilterName(int position, const std::vector<std::string>& names);
// "light_R_2x2_007.fits": type, filter, binning, number; only letters,
// digits, '-' and '_' from the filter's name.
std::string FrameFileName(const ExposureRequest& request, const std::string& binning, int number);

// One line per frame written, and the table that ends a run.
struct SummaryRow {
    std::string file;
    bool light = true;
    double seconds = 0.0;
    std::string filter;
    std::string binning;
    double celsius = 0.0;
    FrameStats stats;
};
std::string SummaryTable(const std::vector<SummaryRow>& rows);

} // namespace capture
