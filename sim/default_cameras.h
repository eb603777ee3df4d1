// The cameras that the embedded default bus carries: one of each type and a
// second type-1 camera, so that every class is populated and one class
// holds two ids.
#pragma once

#include <memory>
#include <vector>

#include "sim/camera_description.h"
#include "sim/sim_bus.h"

namespace sim {

std::vector<CameraDescription> DefaultCameras();

// Attaches every camera of the list, in order; null entries for refusals.
std::vector<std::shared_ptr<SimCamera>> AttachCameras(SimBus& bus,
                                                      const std::vector<CameraDescription>& cameras);

} // namespace sim
