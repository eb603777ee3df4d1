// Alpaca's subframe (StartX, StartY, NumX, NumY in binned pixels, y from the
// top) put into the driver's terms: d_Subframe takes its window in 1/100000
// of the binned sensor with y from the bottom and truncates every product,
// so most rectangles cannot be asked exactly. The window chosen here gives
// the smallest frame that encloses the rectangle; the image is then cut
// out of it, so the client gets exactly what it asked.
#pragma once

namespace alpaca {

struct DriverWindow {
    // d_Subframe's arguments.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    // The frame the driver makes of them, y from the top row.
    int frameX = 0;
    int frameY = 0;
    int frameWidth = 0;
    int frameHeight = 0;
};

// The rectangle must lie inside the binned sensor (binnedWidth x
// binnedHeight) and hold a pixel; StartExposure checks that first.
DriverWindow EnclosingWindow(int binnedWidth, int binnedHeight, int startX, int startY, int numX, int numY);

} // namespace alpaca
