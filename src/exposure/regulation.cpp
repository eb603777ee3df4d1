// The cooling regulation: every 10 s the set point moves towards the wanted
// temperature by at most maxTempStep, so that the sensor is never cooled or
// warmed faster than the user allowed.
#include "exposure/aa_camera.h"

#include "state/driver_state.h"

namespace {

// Sensor temperature, the value the camera reports for index 3 (asked and
// not used), and the cooler utilisation timer 1 keeps.
constexpr uint32_t kCcdTemperature = 0;
constexpr uint32_t kAuxiliaryValue = 3;
constexpr uint32_t kUtilization = 11;

} // namespace

void CAACamera::RegulationTick()
{
    if (!IsConnected()) {
        // A ramp after a reconnection starts again from the measured
        // temperature; until then nothing is shown.
        ccdTemperature = kNoTemperature;
        smoothedUtilization = 0.0f;
        rampedSetPoint = kNoTemperature;
        return;
    }
    float reading = 0.0f;
    GetValue(kAuxiliaryValue, &reading);
    if (GetValue(kCcdTemperature, &reading))
        ccdTemperature = reading;
    // GetPower stores -1.0 when it has no measurement; smoothed in, it would
    // drag the shown utilisation below zero.
    if (GetValue(kUtilization, &reading) && reading >= 0.0f)
        smoothedUtilization = (reading + smoothedUtilization) * 0.5f;
    if (targetTemperature == kNoTemperature || ccdTemperature == kNoTemperature)
        return;
    MoveSetPoint();
    SetTemperature(rampedSetPoint);
}

void CAACamera::MoveSetPoint()
{
    if (rampedSetPoint == kNoTemperature) {
        rampedSetPoint = ccdTemperature;
        return;
    }
    float maxStep = driverState.maxTempStep;
    if (rampedSetPoint > targetTemperature) {
        float distance = rampedSetPoint - targetTemperature;
        rampedSetPoint -= maxStep < distance ? maxStep : distance;
    } else if (rampedSetPoint < targetTemperature) {
        float distance = targetTemperature - rampedSetPoint;
        rampedSetPoint += maxStep < distance ? maxStep : distance;
    }
}
