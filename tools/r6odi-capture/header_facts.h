// What a FITS file says beyond the frame itself: the optics and the
// observation (from the options), the pixel size, the camera's setup, the
// program that wrote it, so that processing programs can scale, match and
// sort the frames.
#pragma once

#include <cmath>
#include <string>

namespace capture {

// The program's version comes from the build, from the one place that
// sets it for the DLL's and the programs' version resources too.
#if !defined(R6ODI_VERSION)
#error "R6ODI_VERSION is given by the build"
#endif

struct HeaderFacts {
    double pixelWidthUm = 0.0;  // unbinned; 0: unknown
    double pixelHeightUm = 0.0;
    double focalLengthMm = 0.0; // 0: not given
    double apertureMm = 0.0;
    std::string object;
    std::string telescope;
    std::string observer;
    // The setup the host handed to the driver; unknown when the driver's
    // dialog set it (Windows).
    bool setupKnown = false;
    int readMode = 0; // 0 "Low Noise", 1 "Standard"
    double preflashSeconds = 0.0;
    bool windowHeating = false;
    double writtenWallMs = NAN; // DATE, on the clock DATE-OBS uses; NaN: the system's
};

// The pixel size of the simulated camera models by name; false for others.
bool ModelPixelSize(const std::string& model, double* widthUm, double* heightUm);

} // namespace capture
