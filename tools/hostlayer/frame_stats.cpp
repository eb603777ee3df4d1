#include <algorithm>

#include "frame.h"

namespace r6host {

FrameStats Measure(const Frame& frame)
{
    FrameStats stats;
    if (frame.pixels.empty())
        return stats;
    // A 64-bit sum of 16-bit values is exact for any frame size, so the mean
    // does not drift on large sensors as a running float mean would.
    uint64_t sum = 0;
    uint16_t low = 0xFFFF;
    uint16_t high = 0;
    for (uint16_t value : frame.pixels) {
        sum += value;
        low = std::min(low, value);
        high = std::max(high, value);
    }
    stats.mean = (double)sum / (double)frame.pixels.size();
    stats.minimum = low;
    stats.maximum = high;
    return stats;
}

} // namespace r6host
