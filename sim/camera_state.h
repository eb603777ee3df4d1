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

// The exposure the sensor is integrating: from StartExposure until the
// frame is read out, split into the time the shutter was open (light) and
// closed (dark). Times are virtual milliseconds.
struct ExposureRecord {
    bool started = false;      // StartExposure since the last readout
    uint64_t startedAt = 0;
    uint64_t lightMs = 0;      // open-shutter time up to shutterSince
    uint64_t darkMs = 0;       // closed-shutter time up to shutterSince
    uint64_t shutterSince = 0; // the start or the last shutter command since
};

// What a frame had integrated when it was read out. A frame requested with
// no exposure started since the last readout is a bias frame: not exposed.
struct FrameExposure {
    bool exposed = false;
    uint64_t lightMs = 0;
    uint64_t darkMs = 0;
    // A light frame saw the sky for some time; a dark frame never did.
    bool IsLight() const { return exposed && lightMs > 0; }
    bool IsDark() const { return exposed && lightMs == 0; }
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
    FrameExposure lastFrameExposure; // what the last frame had integrated
};

struct CameraState {
    CameraDescription description;
    CameraSettings settings;
    CameraActivity activity;
    ThermalState thermal;
    ExposureRecord exposure;
    // The virtual time of the request being handled, read before the
    // camera took its lock.
    uint64_t now = 0;
    // Bytes the image pipe serves next, in order.
    ImageQueue imageData;
};

} // namespace sim
