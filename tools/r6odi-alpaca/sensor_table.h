// What the driver's exports do not tell of a camera: its sensor's part
// number and pixel pitch, looked up by the camera's name, and the largest
// value a pixel reaches. An option can give them for a model the table
// does not know.
#pragma once

#include <string>

namespace alpaca {

struct SensorFacts {
    std::string sensorName;  // "" when unknown, as the standard allows
    double pixelMicrons = 0.0; // 0 when unknown: PixelSizeX/Y answer NotImplemented
    int maxAdu = 65535;        // 16-bit samples
};

// The entry for a camera name as d_GetName gives it; unknown names give an
// empty sensor name and no pixel size.
SensorFacts LookUpSensor(const std::string& cameraName);

} // namespace alpaca
