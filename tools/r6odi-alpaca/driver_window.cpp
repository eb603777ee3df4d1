#include "driver_window.h"

#include <cstdint>

namespace alpaca {
namespace {

constexpr int64_t kWhole = 100000;

// The binned pixels that `units` of a side of `size` pixels make, as the
// driver truncates them.
int64_t Pixels(int64_t units, int64_t size)
{
    return units * size / kWhole;
}

int64_t UnitsAtMost(int64_t pixels, int64_t size)
{
    return pixels * kWhole / size;
}

int64_t UnitsAtLeast(int64_t pixels, int64_t size)
{
    return (pixels * kWhole + size - 1) / size;
}

} // namespace

DriverWindow EnclosingWindow(int binnedWidth, int binnedHeight, int startX, int startY, int numX, int numY)
{
    DriverWindow w;
    const int64_t bw = binnedWidth;
    const int64_t bh = binnedHeight;
    // Across: the left edge at or before StartX, then a width that reaches
    // at least to the rectangle's right edge.
    w.x = (int)UnitsAtMost(startX, bw);
    w.frameX = (int)Pixels(w.x, bw);
    w.width = (int)UnitsAtLeast(startX + numX - w.frameX, bw);
    w.frameWidth = (int)Pixels(w.width, bw);
    if (w.frameX + w.frameWidth > binnedWidth)
        w.frameWidth = binnedWidth - w.frameX;
    // Down: the driver's y is the distance of the frame's bottom edge from
    // the sensor's; at most the rectangle's, so the bottom is enclosed, and
    // a height that reaches up past the rectangle's top row.
    w.y = (int)UnitsAtMost(bh - startY - numY, bh);
    const int64_t bottomGap = Pixels(w.y, bh);
    w.height = (int)UnitsAtLeast(bh - bottomGap - startY, bh);
    w.frameHeight = (int)Pixels(w.height, bh);
    w.frameY = (int)(bh - w.frameHeight - bottomGap);
    return w;
}

} // namespace alpaca
