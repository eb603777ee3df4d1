// The raw 16-bit counts in which a camera reports what it measures and
// takes its set point. Type 3 cameras count on a scale eight times coarser
// than types 1 and 2. Counts are rounded to the nearest step and held to
// 0..65535, as an analogue-to-digital converter saturates.
#pragma once

#include <cstdint>

namespace sim {

// Temperature as a count: the inverse of count × step − 85.79743.
uint16_t TemperatureCount(int cameraType, double celsius);
// Supply voltage as a count of 18.125 / 16384 V (18.125 / 2048 V for type 3).
uint16_t VoltageCount(int cameraType, double volts);
// A value sent in thousandths.
uint16_t ThousandthsCount(double value);
// The set point that a SetTemperature count asks for.
double SetPointCelsius(int cameraType, uint16_t count);

} // namespace sim
