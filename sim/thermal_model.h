// The cooler and the sensor it cools, on the virtual clock. The sensor
// follows its target at a limited rate: ambient while the cooler has never
// been given a set point, else the set point, but never colder than the
// cooler's reach below ambient and never warmer than ambient (the cooler
// cannot heat). Between two updates the target is constant
// (it changes only with a command), so the path does not depend on how
// often the model is updated.
#pragma once

#include <cstdint>

#include "sim/camera_physics.h"

namespace sim {

struct ThermalState {
    bool coolerOn = false;        // a set point has been received
    double setPointCelsius = 0.0;
    double ccdCelsius = 0.0;
    uint64_t updatedAt = 0;       // virtual milliseconds of the last update
};

// The state of a camera switched on at `now`: sensor at ambient, cooler off.
ThermalState ThermalAtPowerOn(const CameraPhysics& physics, uint64_t now);
// Moves the sensor along to `now`. A clock set back counts as no time.
void AdvanceThermal(const CameraPhysics& physics, ThermalState* state, uint64_t now);
// Where the sensor is heading.
double ThermalTarget(const CameraPhysics& physics, const ThermalState& state);
// How hard the cooler works, 0..1: how far below ambient the sensor is held,
// as a part of the cooler's reach.
double CoolerDuty(const CameraPhysics& physics, const ThermalState& state);
// The second temperature: the heat sink, warmed by the cooler's work.
double HeatSinkCelsius(const CameraPhysics& physics, const ThermalState& state);

} // namespace sim
