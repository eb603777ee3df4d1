// The 60-byte CameraInfo block that a camera returns to GetInfo.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/camera_description.h"

namespace sim {

constexpr size_t kCameraInfoSize = 60;
constexpr size_t kCameraTextSize = 15;

typedef std::array<uint8_t, kCameraInfoSize> CameraInfoBlock;

// The block exactly as it travels after the status byte: numbers little
// endian, texts in 15-byte fields.
CameraInfoBlock CameraInfoBytes(const CameraDescription& camera);

} // namespace sim
