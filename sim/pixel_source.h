// What the camera's sensor shows: every pixel a pure function of where it
// lies in the binned sensor and of the binning, so that a test can tell from
// a delivered value which pixel it was, and compute the frame to expect.
//
// Pixel values lie in 1..0xBEEC. In double-sample mode a pixel travels as the
// samples value - 1 and value + 2: their truncated average is the value,
// while taking one sample alone, rounding the average or summing in 16 bits
// gives something else. Pad columns and pixels outside the binned sensor
// carry values that no pixel has.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/camera_state.h"

namespace sim {

constexpr uint16_t kPadSample = 0xDEAD;
constexpr uint16_t kOutsideSample = 0xF00D;

// The binned sensor: width / binX by height / binY.
int BinnedWidth(const CameraState& state);
int BinnedHeight(const CameraState& state);
// Columns of padding that open every row: type 3 only, 2 in double-sample
// mode and 4 in single-sample mode.
int PadColumns(const CameraState& state);
int SamplesPerPixel(const CameraState& state);

// The pixel at a row counted from the top of the binned sensor and a binned
// column; kOutsideSample outside the sensor.
uint16_t PixelValue(const CameraState& state, int topRow, int column);

struct SamplePair {
    uint16_t first;
    uint16_t second;
};
// The two samples of a pixel in double-sample mode.
SamplePair PixelSamples(const CameraState& state, int topRow, int column);

// What a correct readout stores for the pixel: in double-sample mode the
// truncated average of its samples.
uint16_t ExpectedPixel(const CameraState& state, int topRow, int column);
// A whole frame as the host stores it: `height` rows from `y` (counted from
// the top) down, `width` pixels from `x` each, nothing between rows.
std::vector<uint16_t> ExpectedFrame(const CameraState& state, int x, int y, int width, int height);

} // namespace sim
