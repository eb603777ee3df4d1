// One frame as the host keeps it: the pixels exactly as d_ReadImage stored
// them (row 0 is the top row of the image) and what the files say of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace r6host {

// A window of the binned sensor in percent: x and y from its bottom-left
// corner (the driver's convention), width and height.
struct Subframe {
    double x = 0.0;
    double y = 0.0;
    double width = 100.0;
    double height = 100.0;
};

// What a frame is for in calibration: a bias is a dark of no length, a flat
// a light frame of an evenly lit field.
enum class FrameKind { Light, Dark, Bias, Flat };

struct FrameInfo {
    double exposureSeconds = 0.0;
    bool light = true;           // the shutter was open
    FrameKind kind = FrameKind::Light;
    double startWallMs = 0.0;    // UTC start of the exposure, ms since 1970
    int binX = 1;
    int binY = 1;
    int originX = 0;             // binned pixels from the sensor's left edge
    int originY = 0;             // binned pixels from the sensor's top row
    int sensorRows = 0;          // binned rows of the whole sensor (0: unknown)
    bool hasCcdTemperature = false;
    double ccdTemperature = 0.0; // C, at the start of the exposure
    bool hasEndTemperature = false;
    double endTemperature = 0.0; // C, when the exposure ended
    bool hasSetTemperature = false;
    double setTemperature = 0.0;
    std::string filter;          // empty: no filter wheel
    std::string instrument;      // the camera's name
};

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint16_t> pixels;
    FrameInfo info;
};

struct FrameStats {
    double mean = 0.0;
    uint16_t minimum = 0;
    uint16_t maximum = 0;
};

FrameStats Measure(const Frame& frame);

} // namespace r6host
