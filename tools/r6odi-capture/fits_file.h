// FITS output: one frame as a primary image of unsigned 16-bit pixels
// (BITPIX 16 with BZERO 32768 and BSCALE 1, the standard way), rows from
// the bottom of the image up (ROWORDER 'BOTTOM-UP'), which is how astronomy
// programs lay a FITS image out, and the keywords capture programs write.
//
// The file is written under a temporary name in the same folder and renamed
// once complete, so that a crash, a full disk or an unplugged camera never
// leaves a file that looks finished but is not.
#pragma once

#include <string>

#include "frame.h"

namespace capture {

using namespace r6host;

// False with the reason in `error`; then neither the file nor its
// temporary is left behind.
bool WriteFits(const std::string& path, const Frame& frame, std::string* error);

// Reads a two-dimensional 16-bit image back into the host's row order (top
// row first), as written by WriteFits or by another capture program.
bool ReadFits(const std::string& path, Frame* frame, std::string* error);

// "2026-12-08T21:14:03.250": the form DATE-OBS takes, UTC.
std::string FitsDate(double wallMs);

} // namespace capture
