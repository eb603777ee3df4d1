// The observing routine on one camera, through the driver's exports only:
// connecting with the setup values, reading what the camera is, following
// the cooler's ramp, and taking frames. A camera that disappears in the
// middle of a frame is waited for (the driver reconnects by itself) and the
// frame is taken again from the start.
#pragma once

#include <string>
#include <vector>

#include "driver_api.h"
#include "frame.h"
#include "host_world.h"
#include "progress.h"

namespace r6host {

struct CameraFacts {
    std::string name;
    int sensorWidth = 0;
    int sensorHeight = 0;
    int filterPositions = 0;
    std::string wheelName;
    std::vector<std::string> binningNames; // by code
};

struct ExposureRequest {
    double seconds = 1.0;
    bool light = true;
    // Bias and Flat name the frame for messages and files; otherwise
    // `light` decides between Light and Dark.
    FrameKind kind = FrameKind::Light;
    int binningCode = 0;
    Subframe subframe;
    int filter = 0;            // 1-based position; 0 leaves the wheel alone
    std::string filterName;    // for the file
    int frameNumber = 1;       // within the run, for messages
    int frameCount = 1;
};

// What "cooled" means: the sensor within `tolerance` of `target`, without
// leaving it, for `settleSeconds`; given up after `limitSeconds`.
struct CoolingGoal {
    double target = -10.0;
    double tolerance = 0.5;
    double settleSeconds = 0.0;
    double limitSeconds = 1800.0;
};

struct CoolingReading {
    bool valid = false;
    double celsius = 0.0;
    int coolerPercent = 0;
};

class CameraControl {
public:
    CameraControl(const DriverApi& api, Progress* progress) : api_(api), progress_(progress) {}

    // Hands the values to the driver's setup and opens the camera. False
    // with the reason when no camera could be opened.
    bool Connect(const SetupValues& values, std::string* error);
    const CameraFacts& Facts() const { return facts_; }
    CoolingReading Reading() const;
    // The driver's own status text (temperature and cooler power).
    std::string StatusText() const;
    // Follows the ramp until the sensor is within `tolerance` of `target`,
    // at most `limitSeconds`.
    bool Cool(double target, double tolerance, double limitSeconds, std::string* error);
    // The same, and the sensor must then stay within the tolerance for the
    // goal's settling time: a sensor that just crossed into the band still
    // overshoots while the regulation catches it.
    bool Cool(const CoolingGoal& goal, std::string* error);
    // Once a goal has been reached: when the sensor has left the band since,
    // waits (and settles) again, so that no frame starts outside it. True at
    // once when no goal was reached or the sensor is within it.
    bool KeepTemperature(std::string* error);
    // Takes one frame; retakes it after an unplug.
    bool Expose(const ExposureRequest& request, Frame* frame, std::string* error);

    // How long to wait for a camera that went away, seconds on the
    // driver's clock.
    void SetReconnectLimit(double seconds) { reconnectLimit_ = seconds; }

private:
    // Refused: the camera turned a setting down, taking the frame again
    // cannot help; Failed: worth another try.
    enum class Attempt { Done, Unplugged, Failed, Refused };
    Attempt TryExpose(const ExposureRequest& request, Frame* frame, std::string* error);
    bool SelectFrame(const ExposureRequest& request, Frame* frame, std::string* error);
    bool AwaitReconnect(const ExposureRequest& request, std::string* error);
    bool StillConnected();
    void IdleAndReport();

    const DriverApi& api_;
    Progress* progress_;
    CameraFacts facts_;
    SetupValues values_;
    double reconnectLimit_ = 600.0;
    // Set once Cool has reached its target: a camera that comes back after
    // an unplug has warmed up and is cooled again before the retake.
    bool holdsTemperature_ = false;
    CoolingGoal goal_;
};

// What `request` takes, with `light` deciding unless it is a bias or flat.
FrameKind KindOf(const ExposureRequest& request);
// "light", "dark", "bias", "flat".
const char* KindName(FrameKind kind);

// "H x V" of a binning name into its factors; 1 x 1 for anything else.
void BinningFactors(const std::string& name, int* binX, int* binY);
// The cooler's power in percent from the driver's status text
// ("T: -9.5°C 47%"); -1 when the text has none.
int CoolerPercent(const std::string& infoText);

} // namespace r6host
