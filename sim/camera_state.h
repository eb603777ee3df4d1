// What a simulated camera knows and remembers between requests. Command
// handlers read and change it; it survives detach and re-attach, as a camera
// that is unplugged and plugged in again keeps its description.
#pragma once

#include <cstdint>

#include "sim/camera_description.h"
#include "sim/frame_request.h"
#include "sim/image_queue.h"
#include "sim/thermal_model.h"

namespace sim {

// What the driver has set, as the camera holds it.
struct CameraSettings {
    int binX = 1;
    int binY = 1;
    // Two samples per pixel (read mode 0). A camera powers up in it, which is
    // also what the driver assumes of a camera it has just opened.
    bool doubleSample = true;
    bool shutterOpen = false;
    int filterPosition = 0;
    bool windowHeating = false;
    uint16_t preflashMs = 0;
    uint8_t preflashClears = 0;
    uint16_t setPointCount = 0; // meaningful once thermal.coolerOn
};

// What the camera has been asked to do, counted.
struct CameraActivity {
    int exposures = 0;           // StartExposure requests
    uint64_t lastExposureAt = 0; // virtual milliseconds of the last one
    int shutterOpens = 0;
    int shutterCloses = 0;
    int frames = 0;              // ReadFrame and ExposeAndReadFrame requests served
    FrameRequest lastFrame;
    uint64_t lastFrameAt = 0;
};

struct CameraState {
    CameraDescription description;
    CameraSettings settings;
    CameraActivity activity;
    ThermalState thermal;
    // The virtual time of the request being handled, read before the
    // camera took its lock.
    uint64_t now = 0;
    // Bytes the image pipe serves next, in order.
    ImageQueue imageData;
};

} // namespace sim
