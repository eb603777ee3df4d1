#include "sim/sensor_counts.h"

#include <cmath>

namespace sim {
namespace {

// The constants are those of the camera's firmware, single precision.
constexpr float kFineTemperatureStep = 0.008789183f;
constexpr float kCoarseTemperatureStep = 0.07031347f;
constexpr float kTemperatureOffset = 85.79743f;
constexpr float kFineSetPointSlope = 113.776215f;
constexpr float kFineSetPointIntercept = 9761.707f;
constexpr float kCoarseSetPointSlope = 14.222027f;
constexpr float kCoarseSetPointIntercept = 1220.2134f;

bool Coarse(int cameraType)
{
    return cameraType == 3;
}

uint16_t Saturated(double count)
{
    double rounded = std::floor(count + 0.5);
    if (!(rounded > 0.0)) // also catches NaN
        return 0;
    if (rounded > 65535.0)
        return 65535;
    return (uint16_t)rounded;
}

} // namespace

uint16_t TemperatureCount(int cameraType, double celsius)
{
    double step = Coarse(cameraType) ? kCoarseTemperatureStep : kFineTemperatureStep;
    return Saturated((celsius + (double)kTemperatureOffset) / step);
}

uint16_t VoltageCount(int cameraType, double volts)
{
    double scale = Coarse(cameraType) ? 2048.0 : 16384.0;
    return Saturated(volts * scale / 18.125);
}

uint16_t ThousandthsCount(double value)
{
    return Saturated(value * 1000.0);
}

double SetPointCelsius(int cameraType, uint16_t count)
{
    if (Coarse(cameraType))
        return ((double)count - (double)kCoarseSetPointIntercept) / (double)kCoarseSetPointSlope;
    return ((double)count - (double)kFineSetPointIntercept) / (double)kFineSetPointSlope;
}

} // namespace sim
