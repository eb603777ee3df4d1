// FITS output: one frame as an image of unsigned 16-bit pixels (BITPIX 16
// with BZERO 32768 and BSCALE 1, the standard way), rows from the bottom of
// the image up (ROWORDER 'BOTTOM-UP'), which is how astronomy programs lay a
// FITS image out, and the keywords capture and processing programs use.
//
// The file is written under a temporary name in the same folder, flushed to
// the disk, and only then given its name, so that a crash, a power cut, a
// full disk or an unplugged camera never leaves a file that looks finished
// but is not.
#pragma once

#include <string>

#include "frame.h"
#include "header_facts.h"

namespace capture {

using namespace r6host;

struct FitsWriteOptions {
    bool rice = false;    // tile-compressed (Rice, lossless for 16-bit data): NAME.fits.fz
    bool replace = false; // a file of the same name may be replaced
    bool durable = true;  // on the disk before the name appears; off only to
                          // measure the write into the page cache
};

enum class FitsWrite { Done, Exists, Failed };

// Writes the frame. Exists: a file of the name is there (perhaps only since
// a moment ago) and `replace` is off. Neither the file nor its temporary is
// left behind unless Done.
FitsWrite WriteFits(const std::string& path, const Frame& frame, const HeaderFacts& facts,
                    const FitsWriteOptions& options, std::string* error);
// With no facts beyond the frame's, uncompressed, replacing.
bool WriteFits(const std::string& path, const Frame& frame, std::string* error);

// Reads a two-dimensional 16-bit image back into the host's row order (top
// row first), as written by WriteFits (compressed or not) or by another
// capture program.
bool ReadFits(const std::string& path, Frame* frame, std::string* error);

// "2026-12-08T21:14:03.250": the form DATE-OBS takes, UTC.
std::string FitsDate(double wallMs);

// The FITS data of the frame: rows bottom-up, each pixel minus 32768 as a
// big-endian signed 16-bit number. `rows` rows from FITS row `firstRow` go
// to `out` (width * rows * 2 bytes).
void EncodeRows(const Frame& frame, int firstRow, int rows, unsigned char* out);

} // namespace capture
