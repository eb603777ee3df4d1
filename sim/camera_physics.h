// How a simulated camera behaves physically: its cooler and the analogue
// quantities it measures. Values, not code, so that a test sets up a camera
// that cools faster, sits in a hot room or runs on a weak supply.
#pragma once

namespace sim {

struct CameraPhysics {
    // Cooling.
    double ambientCelsius = 20.0;   // where the sensor sits with the cooler off
    double coolingReach = 35.0;     // how far below ambient the cooler can hold it
    double slewPerSecond = 0.1;     // how fast the sensor follows, C per second
    double heatSinkRise = 8.0;      // heat-sink warming over ambient at full duty

    // Electrical readings.
    double supplyVolts = 12.0;      // value number 2
    double auxiliaryVolts = 5.0;    // value number 3, sent in thousandths
};

} // namespace sim
