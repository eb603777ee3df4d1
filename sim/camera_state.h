// What a simulated camera knows and remembers between requests. Command
// handlers read and change it; it survives detach and re-attach, as a camera
// that is unplugged and plugged in again keeps its description.
#pragma once

#include <cstdint>
#include <deque>

#include "sim/camera_description.h"

namespace sim {

struct CameraState {
    CameraDescription description;
    // Bytes the image pipe serves next, in order.
    std::deque<uint8_t> imageData;
};

} // namespace sim
