// Writes a frame of known pixels and keywords through the capture host's
// FITS writer, for the test that reads it back with an independent reader.
// Pixel (row r from the top, column c) = (r * 7919 + c * 263) mod 65536,
// with the first pixel 0 and the last 65535. With --rice the file is
// tile-compressed.
#include <cstdio>
#include <string>

#include "fits_file.h"

int main(int argc, char** argv)
{
    bool rice = argc == 3 && std::string(argv[2]) == "--rice";
    if (argc != 2 && !rice) {
        std::fprintf(stderr, "usage: fits_pattern FILE [--rice]\n");
        return 2;
    }
    capture::Frame frame;
    frame.width = 301;
    frame.height = 203;
    for (int row = 0; row < frame.height; ++row)
        for (int column = 0; column < frame.width; ++column)
            frame.pixels.push_back((uint16_t)((row * 7919 + column * 263) & 0xFFFF));
    frame.pixels.front() = 0;
    frame.pixels.back() = 65535;
    capture::FrameInfo& info = frame.info;
    info.exposureSeconds = 300.0;
    info.light = true;
    info.startWallMs = 1796083200250.0;
    info.binX = 4;
    info.binY = 2;
    info.originX = 12;
    info.originY = 34;
    info.hasCcdTemperature = true;
    info.ccdTemperature = -15.25;
    info.hasSetTemperature = true;
    info.setTemperature = -15.0;
    info.filter = "OIII";
    info.instrument = "KX-694 Cooled";
    info.sensorRows = 300;
    capture::FitsWriteOptions options;
    options.rice = rice;
    options.replace = true;
    std::string error;
    if (capture::WriteFits(argv[1], frame, capture::HeaderFacts(), options, &error) != capture::FitsWrite::Done) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
