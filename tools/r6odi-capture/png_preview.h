// A quick look at a frame: an 8-bit grey PNG with the stretch astronomers
// use to see faint detail (shadows clipped just below the sky background,
// a midtones transfer that lifts the background to a quarter of full
// scale), top row first as the frame is seen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame.h"

namespace capture {

using namespace r6host;

struct StretchCurve {
    double shadows = 0.0;  // ADU mapped to black
    double highlights = 65535.0;
    double midtones = 0.5; // midtones balance, 0..1
};

StretchCurve AutoStretch(const Frame& frame);
std::vector<uint8_t> ApplyStretch(const Frame& frame, const StretchCurve& curve);
// Written under a temporary name and renamed, like the FITS files.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& grey,
              std::string* error);

} // namespace capture
