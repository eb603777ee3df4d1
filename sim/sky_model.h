// The night sky that a simulated camera can show instead of its position
// pattern: a star field seen through the camera's filter, the sky
// background, the flat field of the optics, dark current that grows with the
// sensor's temperature and the exposure time, hot pixels, the bias level and
// read noise. Everything is data and a deterministic function of it, so the
// same exposure gives the same frame, bit for bit, on every run.
//
// Charge is summed before it is read, as a CCD bins: a binned pixel holds
// the signal of the unbinned pixels it covers, the bias and read noise once.
// With the noise switched off a binned or cut-out frame is thus exactly the
// sum of, or a piece of, the unbinned one.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

struct SkyModel {
    bool enabled = false; // off: the camera sends its position pattern

    uint32_t seed = 20261208;  // the star field and the pixel-to-pixel pattern
    int starCount = 900;       // over the whole unbinned sensor
    double brightestStar = 60000.0; // electrons per second, whole star, clear filter
    double faintestStar = 150.0;
    double starSigma = 1.4;    // point spread, unbinned pixels
    double skyRate = 3.0;      // background, electrons per second and pixel, clear filter

    double biasLevel = 1000.0;         // ADU
    double darkRateAtZero = 0.3;       // electrons per second and pixel at 0 C
    double darkDoublingCelsius = 6.3;  // dark current doubles every this many degrees
    double hotPixelShare = 0.0004;     // of the pixels, with hotPixelFactor times the dark current
    double hotPixelFactor = 60.0;
    double readNoise = 8.0;            // electrons rms, once per pixel read
    bool shotNoise = true;             // photon and dark-current noise
    double gain = 1.0;                 // electrons per ADU

    double vignetting = 0.25;          // light lost in the corners by the flat field
    double pixelResponseSpread = 0.01; // pixel-to-pixel sensitivity, rms

    // A lit flat panel covers the telescope: instead of stars and sky the
    // sensor sees an even light, through the filter and the flat field.
    bool flatPanelLit = false;
    double flatPanelRate = 2000.0;     // electrons per second and pixel, clear filter

    // Transmission of each filter position; positions beyond the list pass
    // the last entry. Position 0 is the clear filter.
    std::vector<double> filterThroughput = {1.0, 0.42, 0.48, 0.36, 0.07, 0.30, 0.30};
};

// One exposure, as the camera knows it when the frame is read.
struct SkyExposure {
    double seconds = 0.0;      // integration: dark current gathers all along
    double lightSeconds = 0.0; // of which the shutter was open to the sky
    double ccdCelsius = 0.0;   // the sensor's temperature during the exposure
    int filter = 0;
    uint32_t serial = 0;      // which exposure this is: the noise of each differs
};

// Where a frame lies: binning factors, and a window of the binned sensor
// whose first row is counted from the top.
struct SkyWindow {
    int sensorWidth = 0;  // unbinned
    int sensorHeight = 0;
    int binX = 1;
    int binY = 1;
    int topRow = 0;
    int firstColumn = 0;
    int rows = 0;
    int columns = 0;
};

// The window's pixels in ADU, row by row from its top row; every value lies
// in 1..65533 (the camera's double-sample coding needs room on both sides).
// Pixels outside the binned sensor are 0.
std::vector<uint16_t> RenderSky(const SkyModel& sky, const SkyExposure& exposure,
                                const SkyWindow& window);

// The electrons one unbinned pixel collects, without noise or bias.
double UnbinnedSignal(const SkyModel& sky, const SkyExposure& exposure, int sensorWidth,
                      int sensorHeight, int x, int y);

// The stars in unbinned sensor coordinates (x to the right, y down from the
// top row), electrons per second through the clear filter.
struct SkyStar {
    double x;
    double y;
    double rate;
};
std::vector<SkyStar> StarField(const SkyModel& sky, int sensorWidth, int sensorHeight);

} // namespace sim
