// The bytes a camera sends on its image pipe for a frame request: rowCount
// rows, the row at firstRow (counted from the bottom of the binned sensor)
// first; each row columnCount pixels, the first PadColumns of them padding;
// each pixel SamplesPerPixel 16-bit samples, most significant byte first.
// A type 3 camera in double-sample mode sends one 0x00 byte ahead of the
// samples and keeps the length, so the last byte of the last sample is not
// sent. Rows and columns outside the binned sensor are served too, with
// kOutsideSample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/camera_state.h"
#include "sim/frame_request.h"

namespace sim {

// Larger than any sensor of the family delivers; a request for more (a
// driver that wrapped a negative size, say) gets no data rather than
// exhausting memory.
constexpr size_t kLargestTransfer = (size_t)128 << 20;

// rowCount × columnCount × 2 × SamplesPerPixel.
size_t TransferSize(const CameraState& state, const FrameRequest& frame);
// Empty when the transfer would exceed kLargestTransfer.
std::vector<uint8_t> FrameTransfer(const CameraState& state, const FrameRequest& frame);

} // namespace sim
