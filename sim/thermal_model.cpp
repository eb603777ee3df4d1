#include "sim/thermal_model.h"

#include <algorithm>
#include <cmath>

namespace sim {

ThermalState ThermalAtPowerOn(const CameraPhysics& physics, uint64_t now)
{
    ThermalState state;
    state.ccdCelsius = physics.ambientCelsius;
    state.updatedAt = now;
    return state;
}

double ThermalTarget(const CameraPhysics& physics, const ThermalState& state)
{
    if (!state.coolerOn)
        return physics.ambientCelsius;
    double coldest = physics.ambientCelsius - std::max(physics.coolingReach, 0.0);
    return std::clamp(state.setPointCelsius, coldest, physics.ambientCelsius);
}

void AdvanceThermal(const CameraPhysics& physics, ThermalState* state, uint64_t now)
{
    if (now <= state->updatedAt) {
        state->updatedAt = now;
        return;
    }
    double seconds = (double)(now - state->updatedAt) / 1000.0;
    state->updatedAt = now;
    double target = ThermalTarget(physics, *state);
    double step = physics.slewPerSecond * seconds;
    double gap = target - state->ccdCelsius;
    if (std::fabs(gap) <= step)
        state->ccdCelsius = target;
    else
        state->ccdCelsius += gap > 0 ? step : -step;
}

double CoolerDuty(const CameraPhysics& physics, const ThermalState& state)
{
    if (!state.coolerOn || physics.coolingReach <= 0.0)
        return 0.0;
    double below = physics.ambientCelsius - state.ccdCelsius;
    return std::clamp(below / physics.coolingReach, 0.0, 1.0);
}

double HeatSinkCelsius(const CameraPhysics& physics, const ThermalState& state)
{
    return physics.ambientCelsius + CoolerDuty(physics, state) * physics.heatSinkRise;
}

} // namespace sim
