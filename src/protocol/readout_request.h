#pragma once

#include <cstdint>

namespace r6odi {

// What one readout is asked for. A negative exposure time reads the frame
// that has already been exposed; zero or more exposes for that many seconds
// and then reads.
struct ReadoutRequest {
    double exposureTime;
    uint8_t frameFlag;
    int32_t x;      // binned pixels from the left
    int32_t y;      // binned rows from the top, as the host stores the image
    int32_t width;  // binned pixels
    int32_t height; // binned rows
    uint32_t bufferSize; // bytes available at buffer
    uint16_t* buffer;
};

} // namespace r6odi
