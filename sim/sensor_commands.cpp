// The commands of the sensor readings and the cooler.
#include "sim/command_handlers.h"
#include "sim/reply_bytes.h"
#include "sim/reply_status.h"
#include "sim/sensor_counts.h"
#include "sim/thermal_model.h"

namespace sim {
namespace {

// The count of one value number; false for a number the camera lacks.
bool ValueCount(const CameraState& state, uint8_t number, uint16_t* count)
{
    const CameraPhysics& physics = state.description.physics;
    int type = state.description.type;
    switch (number) {
    case 0:
        *count = TemperatureCount(type, state.thermal.ccdCelsius);
        return true;
    case 1:
        *count = TemperatureCount(type, HeatSinkCelsius(physics, state.thermal));
        return true;
    case 2:
        *count = VoltageCount(type, physics.supplyVolts);
        return true;
    case 3:
        *count = ThousandthsCount(physics.auxiliaryVolts);
        return true;
    default:
        return false;
    }
}

} // namespace

Bytes AnswerGetValue(CameraState& state, const Bytes& request)
{
    if (request.size() < 2)
        return Refusal(request[0], kStatusInvalidParameter);
    uint16_t count = 0;
    if (!ValueCount(state, request[1], &count))
        return Refusal(request[0], kStatusInvalidIndex);
    return Success(request[0], WordBytes(count));
}

Bytes AnswerSetTemperature(CameraState& state, const Bytes& request)
{
    if (request.size() < 3)
        return Refusal(request[0], kStatusInvalidParameter);
    uint16_t count = (uint16_t)(request[1] | request[2] << 8);
    state.settings.setPointCount = count;
    state.thermal.coolerOn = true;
    state.thermal.setPointCelsius = SetPointCelsius(state.description.type, count);
    return Success(request[0]);
}

Bytes AnswerGetPower(CameraState& state, const Bytes& request)
{
    if (!state.thermal.coolerOn)
        return Success(request[0], {0, 0, 0, 0});
    double duty = CoolerDuty(state.description.physics, state.thermal);
    uint16_t working = ThousandthsCount(duty);
    Bytes answer = WordBytes(working);
    Bytes idle = WordBytes((uint16_t)(1000 - working));
    answer.insert(answer.end(), idle.begin(), idle.end());
    return Success(request[0], answer);
}

} // namespace sim
