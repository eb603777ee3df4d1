// What surrounds the driver: on Linux the simulated cameras, the emulated
// Win32 layer and its clock; on Windows the real system. The capture code
// above it is the same on both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver_api.h"

namespace r6host {

// The settings the driver's setup dialog offers, as its OK stores them.
struct SetupValues {
    int cameraId = -1;               // -1: the first free camera
    int readMode = 0;                // 0 "Low Noise", 1 "Standard"
    bool windowHeating = false;
    double preflashSeconds = 0.0;
    int clearCount = 1;
    double maxStepPerMinute = 3.0;   // set-point change, C per minute
    bool hasSetTemperature = false;  // false: no regulation
    double setTemperature = 0.0;
};

struct WorldOptions {
    double speed = 1.0;        // virtual seconds per real second (simulation)
    int unplugFrame = 0;       // unplug the camera during this frame (1-based; 0 never)
    double unplugSeconds = 20; // and plug it in again after this many seconds
    int unplugEvery = 0;       // then again every this many frames (0: once)
    bool showDialog = false;   // Windows: let the user set up in the driver's dialog
};

struct CameraEntry {
    std::string label;
    int id = -1;
};

// Brings up what the driver needs and loads it. False with the reason.
bool StartWorld(const WorldOptions& options, DriverApi* api, std::string* error);
// Unloads the driver. False with the reason when it left anything behind.
bool StopWorld(std::string* error);

// Whether the setup values can be handed to the driver without its dialog.
bool SetupValuesReachable();
// Gives the values to the driver's setup and lets it open the camera.
void ApplySetup(const DriverApi& api, const SetupValues& values);
// The cameras the driver offers in its setup list; false when this build
// cannot see the list.
bool ListCameras(const DriverApi& api, std::vector<CameraEntry>* cameras);

// The clock the driver's exposures and regulation run on, milliseconds.
uint64_t ClockMs();
// Milliseconds since 1970 (UTC) that correspond to ClockMs() now, for the
// times written into the files.
double WallMsAt(uint64_t clockMs);
// Lets the driver's windows receive their messages (timers, end of
// exposure, device arrival and removal), then waits a moment.
void Idle();
// A frame's exposure has begun (for the simulated unplug).
void ExposureBegun(int frameNumber, uint32_t milliseconds);
// Lights (or darkens) the flat panel in front of the telescope for flat
// frames. False when this world cannot switch one: the user then lights
// the panel, or points at the twilight sky, before the flats.
bool SetFlatPanel(bool lit);
// While held, the host's own work (statistics, writing files) takes no time
// on the camera's clock, so that successive frames' start times lie as far
// apart as the camera's own work puts them. Nothing on a real clock.
void HoldClock(bool held);
// What the world did that the user should know of (an unplug, a replug);
// empty when nothing.
std::string TakeWorldNews();

} // namespace r6host
