// A simulated camera as data: what it says about itself in its CameraInfo
// block, what it can do and how it behaves physically, and the USB identity
// from which its device path is formed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/camera_physics.h"
#include "sim/sky_model.h"

namespace sim {

// The binning factors a camera accepts unless its description says less.
constexpr uint8_t kBinningFactors[4] = {1, 2, 3, 4};

struct CameraDescription {
    int type = 1; // 1, 2 or 3: the interface class it appears under

    // CameraInfo fields, as the camera sends them.
    uint32_t id = 0;
    uint16_t flags = 0;
    uint16_t width = 768;
    uint16_t height = 512;
    uint16_t reportedValue1 = 0;
    uint16_t reportedValue2 = 0;
    // 15-byte fields on the wire: shorter texts are padded with NUL bytes,
    // longer ones cut to 15 bytes (then without a terminator).
    std::string description;
    std::string infoText2;
    std::string infoText3;
    uint8_t lastByte = 0; // the block's final byte, which carries no field

    // Binning factors SetBinningX and SetBinningY accept; anything else is
    // an invalid parameter.
    std::vector<uint8_t> binningFactors = std::vector<uint8_t>(kBinningFactors, kBinningFactors + 4);
    CameraPhysics physics;
    // What the sensor sees; off, the frames carry the position pattern of
    // pixel_source.h that readout tests check bit for bit.
    SkyModel sky;

    // USB identity; the serial is the instance part of the path, kept in
    // the letter case given.
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string serial;
};

} // namespace sim
