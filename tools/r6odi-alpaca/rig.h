// The camera and its filter wheel behind the two Alpaca devices: one
// physical link, held open while either device is connected, and what the
// clients see of it.
//
// Every method that calls the driver runs on the driver thread. The HTTP
// threads read and change `Status` under Lock() only; the driver thread
// keeps it current (state, readings, the last image), so a poll never
// waits for a readout or a filter move.
//
// Exposure states (CameraState):
//
//   Idle --StartExposure--> Waiting --driver started--> Exposing
//     ^                                                  |  StopExposure: ends now, still read
//     |                                                  v
//     +------ frame read, ImageReady ------------- Reading
//     |
//     +-- AbortExposure (from Waiting or Exposing): no frame
//   Exposing/Reading --camera lost or readout failed--> Error (ImageReady answers
//   with the reason) --StartExposure--> Waiting ...
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera_control.h"
#include "driver_api.h"
#include "host_world.h"
#include "image.h"
#include "request.h"
#include "sensor_table.h"

namespace alpaca {

enum CameraState { kIdle = 0, kWaiting = 1, kExposing = 2, kReading = 3, kDownload = 4, kError = 5 };
enum class Device { Camera, FilterWheel };

// What a client set for the next exposure; binned pixels, y from the top.
struct ExposurePlan {
    double seconds = 0.0;
    bool light = true;
    int binX = 1;
    int binY = 1;
    int startX = 0;
    int startY = 0;
    int numX = 0;
    int numY = 0;
    int readoutMode = 0;
};

struct Status {
    // The link and what the camera is.
    bool cameraConnected = false;
    bool wheelConnected = false;
    bool connecting = false;        // an asynchronous Connect is under way
    std::string connectError;       // why the last Connect failed
    bool present = false;           // the driver has the camera open now
    r6host::CameraFacts facts;
    SensorFacts sensor;
    std::vector<std::string> readoutModes;
    std::vector<std::string> filterNames;

    // The client's settings for the next exposure (no check on set: the
    // standard checks them at StartExposure).
    ExposurePlan plan;

    // The exposure.
    CameraState state = kIdle;
    int percent = 0;
    bool imageReady = false;
    std::string exposureError;      // why the last exposure gave no frame
    bool hasLastExposure = false;
    double lastSeconds = 0.0;       // measured on the camera's clock
    double lastStartWallMs = 0.0;
    std::shared_ptr<const Image> image;

    // Cooling: what the client wants, and what the camera reads.
    bool coolerOn = false;
    bool hasSetPoint = false;
    double setPoint = 0.0;
    bool hasReading = false;
    double ccdCelsius = 0.0;
    int coolerPercent = 0;

    // The wheel: 0-based, -1 while it moves.
    int position = 0;
    std::string moveError;
};

struct RigOptions {
    r6host::SetupValues setup;      // camera id, read mode and ramp as the setup dialog holds them
    SensorFacts sensorOverride;     // non-empty fields replace the table's
};

class Rig {
public:
    Rig(const r6host::DriverApi& api, const RigOptions& options);

    std::mutex& Lock() { return mutex_; }
    Status& State() { return status_; }

    // Driver thread. Connect opens the camera when neither device holds it;
    // Disconnect closes it when the other device does not hold it either.
    Reply Connect(Device device);
    Reply Disconnect(Device device);
    // Starts the exposure the plan describes (already checked against the
    // sensor); the state is Waiting when it is called.
    Reply StartExposure(const ExposurePlan& plan);
    void StopExposure();
    void AbortExposure();
    // Hands the wanted temperature (or none) to the driver's regulation.
    void ApplyCooling();
    void MoveFilter(int position);
    // Between jobs: follows the exposure, the readings and an unplugged
    // camera coming back; pumps the driver's messages.
    void Step();
    // Closes the camera whatever holds it, before the driver is unloaded.
    void Close();

private:
    void Open();
    // `endMs`: when the integration ended, on the camera's clock.
    void FinishExposure(uint64_t endMs);
    void FailExposure(const std::string& reason);
    void RefreshReadings();
    bool CameraStillThere();
    std::vector<std::string> FilterNames(int positions) const;

    const r6host::DriverApi& api_;
    RigOptions options_;
    r6host::Progress progress_;
    r6host::CameraControl control_;
    std::mutex mutex_;
    Status status_;

    // Driver thread only.
    bool open_ = false;
    bool wasPresent_ = false;
    bool stopWanted_ = false;
    bool coolerEverOn_ = false;
    int exposureCount_ = 0;
    uint64_t exposureStartMs_ = 0;
    uint32_t exposureMs_ = 0;
    ExposurePlan running_;
    int frameX_ = 0;   // the driver's frame of the running exposure
    int frameY_ = 0;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    double ambientCelsius_ = 0.0; // where the sensor stood when the cooler was first switched on
    std::chrono::steady_clock::time_point lastReading_;
};

} // namespace alpaca
