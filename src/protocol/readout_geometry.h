// The shape of one readout: where the requested rectangle lands on the
// binned sensor once it has been fitted into the sensor and the crop, and
// how many bytes the camera sends for it.
//
// All sizes are 64-bit: a 65535 x 65535 sensor read in double-sample mode
// moves more bytes than 32 bits can count, and such a frame must be refused
// rather than wrap around into a small buffer.
#pragma once

#include <cstdint>

#include "protocol/readout_request.h"

namespace r6odi {

class CCamera;

// The part of the binned sensor the crop allows, in binned pixels.
struct ReadoutRegion {
    int64_t left;
    int64_t top;
    int64_t width;
    int64_t height;
};

struct FrameGeometry {
    // The binned sensor.
    int64_t binnedWidth;
    int64_t binnedHeight;
    // The fitted frame, in binned pixels; y counts from the top.
    int64_t x;
    int64_t y;
    int64_t width;
    int64_t height;
    // The frame's first row counted from the bottom edge of the binned
    // sensor, as the camera counts its rows.
    int64_t firstRow;
    // Leading pixels of every row that carry no image (type 3 only).
    uint32_t padColumns;
    // 16-bit samples per pixel: 2 in double-sample mode.
    uint32_t samplesPerPixel;
    // Where the first sample starts in the transfer: type 3 cameras in
    // double-sample mode send one byte ahead of the samples.
    uint32_t sampleOffset;
    uint64_t rowBytes;      // bytes of one row as the camera sends it
    uint64_t transferBytes; // the whole transfer: rowBytes x height
    uint64_t pixelBytes;    // what the destination receives: width x height x 2
};

// Whether the crop restricts the readout: all four fields set, none below
// 0. The image size the camera reports follows the same test.
bool HasCrop(const CCamera& camera);

// A sensor extent divided by a binning factor; 0 for a factor below 1,
// which leaves no pixel to read.
int64_t BinnedExtent(uint16_t sensorPixels, int32_t factor);

// The crop divided down to binned pixels and kept on the binned sensor; the
// whole binned sensor when any crop field is negative. The binned sensor
// must have at least one pixel each way.
ReadoutRegion RegionOf(const CCamera& camera, int64_t binnedWidth, int64_t binnedHeight);

// The region of the binned sensor, with the binning now in force, in which
// every frame of the host lies: the crop, or the whole binned sensor. Empty
// (0 x 0) when the binning leaves no pixel.
ReadoutRegion HostRegion(const CCamera& camera);

// Fits a frame into the region: its start onto the region, its far edges
// inside it. A frame that fits is left as it is, so a frame fitted here is
// read exactly as it stands. False when no column or no row is left.
bool FitIntoRegion(const ReadoutRegion& region, int64_t* x, int64_t* y, int64_t* width, int64_t* height);

// The request fitted into the camera's binned sensor and crop, with the
// sizes of its transfer. False when nothing is left to read: no column or
// no row, before or after the clamps.
bool FitFrame(const CCamera& camera, const ReadoutRequest& request, FrameGeometry* frame);

} // namespace r6odi
