// What a camera can do, read from its description the way the camera's own
// firmware reads its flags.
#pragma once

#include <cstdint>

#include "sim/camera_description.h"

namespace sim {

// Filter positions: flags bits 0 and 1 both set give bits 8..11; bit 0
// alone 5; bit 1 alone 6; neither 0.
int FilterCount(uint16_t flags);
// Flags bit 5: the camera takes SetPreflash.
bool AcceptsPreflash(uint16_t flags);
bool SupportsBinning(const CameraDescription& camera, int factor);

} // namespace sim
