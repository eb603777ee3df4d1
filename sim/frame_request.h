// A request for a frame, ReadFrame (9 bytes) or ExposeAndReadFrame (12):
// the frame's first row counted from the bottom of the binned sensor, its
// row count, first column and column count (pad columns included), and for
// the exposing form the time and a flag byte. 16-bit fields little endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct FrameRequest {
    uint8_t code = 0;
    uint16_t firstRow = 0;
    uint16_t rowCount = 0;
    uint16_t firstColumn = 0;
    uint16_t columnCount = 0;
    uint16_t timeMs = 0;   // ExposeAndReadFrame only
    uint8_t frameFlag = 0; // ExposeAndReadFrame only

    bool operator==(const FrameRequest& other) const;
};

constexpr size_t kReadFrameSize = 9;
constexpr size_t kExposeAndReadFrameSize = 12;

// False when the request is shorter than its code asks for.
bool ParseFrameRequest(const std::vector<uint8_t>& request, FrameRequest* frame);

} // namespace sim
