#include "rig.h"

#include <algorithm>
#include <cstdio>

#include "config/filter_list_elem.h"
#include "device/camera.h"
#include "driver_window.h"
#include "exposure/aa_camera.h"
#include "state/driver_state.h"

namespace alpaca {
namespace {

// How often the sensor temperature and the cooler's power are asked, real
// time: often enough for a client's cooling graph, rarely enough that the
// command channel stays free for exposures.
constexpr auto kReadingInterval = std::chrono::milliseconds(250);
// Rounds of message pumping that a removal notice gets before a failed
// readout counts as the camera's own fault.
constexpr int kRemovalPumps = 5;
constexpr int kNoTemperatureMillis = -274000;

std::string Text(INT_PTR pointer)
{
    const char* text = reinterpret_cast<const char*>(pointer);
    return text != nullptr ? std::string(text) : std::string();
}

int BinningCode(const r6host::CameraFacts& facts, int binX, int binY)
{
    for (size_t code = 0; code < facts.binningNames.size(); ++code) {
        int x, y;
        r6host::BinningFactors(facts.binningNames[code], &x, &y);
        if (x == binX && y == binY)
            return (int)code;
    }
    return -1;
}

std::vector<std::string> ReadoutModeNames()
{
    std::vector<std::string> names;
    char name[32];
    for (uint32_t mode = 0; driverState.camera != nullptr &&
                            r6odi::CameraReadModeName(driverState.camera, mode, (int)sizeof name - 1, name);
         ++mode)
        names.push_back(name);
    return names;
}

} // namespace

Rig::Rig(const r6host::DriverApi& api, const RigOptions& options)
    : api_(api), options_(options), progress_(stderr, false), control_(api, &progress_)
{
}

std::vector<std::string> Rig::FilterNames(int positions) const
{
    // Named in the camera's configuration file where it names them; the
    // standard's default names for the rest, including the positions the
    // driver fills with "Undefined" when the file names fewer.
    std::vector<std::string> names;
    CListElem* element = nullptr;
    bool more = driverState.camera != nullptr && driverState.camera->filters.First(&element);
    for (int position = 1; position <= positions; ++position) {
        std::string name = more ? static_cast<r6odi::CFilterListElem*>(element)->name : "";
        names.push_back(name.empty() || name == "Undefined" ? "Filter " + std::to_string(position) : name);
        more = more && driverState.camera->filters.Next(&element);
    }
    return names;
}

void Rig::Open()
{
    std::string error;
    if (!control_.Connect(options_.setup, &error)) {
        api_.Finalize();
        std::lock_guard<std::mutex> lock(mutex_);
        status_.connectError = error;
        return;
    }
    open_ = true;
    wasPresent_ = true;
    coolerEverOn_ = false;
    const r6host::CameraFacts& facts = control_.Facts();
    SensorFacts sensor = LookUpSensor(facts.name);
    if (!options_.sensorOverride.sensorName.empty())
        sensor.sensorName = options_.sensorOverride.sensorName;
    if (options_.sensorOverride.pixelMicrons > 0.0)
        sensor.pixelMicrons = options_.sensorOverride.pixelMicrons;
    std::vector<std::string> modes = ReadoutModeNames();
    std::vector<std::string> filters = FilterNames(facts.filterPositions);
    int position = facts.filterPositions > 0 ? (int)api_.FilterWheel(5, 0) : 0;

    std::lock_guard<std::mutex> lock(mutex_);
    Status fresh;
    fresh.cameraConnected = status_.cameraConnected;
    fresh.wheelConnected = status_.wheelConnected;
    fresh.connecting = status_.connecting;
    fresh.present = true;
    fresh.facts = facts;
    fresh.sensor = sensor;
    fresh.readoutModes = modes;
    fresh.filterNames = filters;
    fresh.position = position;
    fresh.plan.numX = facts.sensorWidth;
    fresh.plan.numY = facts.sensorHeight;
    fresh.plan.readoutMode = options_.setup.readMode;
    status_ = fresh;
}

Reply Rig::Connect(Device device)
{
    if (!open_)
        Open();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_)
        return Reply::Error(kDriverError, status_.connectError);
    if (device == Device::FilterWheel && status_.facts.filterPositions <= 0) {
        status_.connectError = "the camera " + status_.facts.name + " has no filter wheel";
        return Reply::Error(kDriverError, status_.connectError);
    }
    status_.connectError.clear();
    (device == Device::Camera ? status_.cameraConnected : status_.wheelConnected) = true;
    return Reply::Done();
}

Reply Rig::Disconnect(Device device)
{
    bool close;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        (device == Device::Camera ? status_.cameraConnected : status_.wheelConnected) = false;
        close = !status_.cameraConnected && !status_.wheelConnected;
    }
    if (device == Device::Camera)
        AbortExposure();
    if (close)
        Close();
    return Reply::Done();
}

void Rig::Close()
{
    if (!open_)
        return;
    AbortExposure();
    api_.Finalize();
    open_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    status_.present = false;
    status_.cameraConnected = false;
    status_.wheelConnected = false;
}

Reply Rig::StartExposure(const ExposurePlan& plan)
{
    auto refuse = [this](int number, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.state = kIdle;
        return Reply::Error(number, text);
    };
    if (!open_ || !api_.GetOK())
        return refuse(kDriverError, "the camera is not there (unplugged?); the driver takes it up again "
                                    "as soon as it is plugged in");
    const r6host::CameraFacts& facts = control_.Facts();
    if (driverState.camera != nullptr && driverState.camera->readMode != plan.readoutMode) {
        // The read mode goes to the camera in the driver's setup, as its
        // dialog's OK would send it.
        driverState.camera->readMode = plan.readoutMode;
        api_.SetupCCD(1);
        if (!api_.GetOK())
            return refuse(kDriverError, "the camera did not come back after its read mode was set");
    }
    int code = BinningCode(facts, plan.binX, plan.binY);
    if (code < 0)
        return refuse(kInvalidValue, "the driver has no binning " + std::to_string(plan.binX) + " x " +
                                         std::to_string(plan.binY));
    DriverWindow window = EnclosingWindow(facts.sensorWidth / plan.binX, facts.sensorHeight / plan.binY,
                                          plan.startX, plan.startY, plan.numX, plan.numY);
    api_.Subframe(window.x, window.y, window.width, window.height, code);
    if (api_.GetWidth(0) != window.frameWidth || api_.GetHeight(0) != window.frameHeight)
        return refuse(kInvalidValue, "the camera did not take binning " + facts.binningNames[(size_t)code]);
    running_ = plan;
    frameX_ = window.frameX;
    frameY_ = window.frameY;
    frameWidth_ = window.frameWidth;
    frameHeight_ = window.frameHeight;
    stopWanted_ = false;
    exposureMs_ = (uint32_t)(plan.seconds * 1000.0 + 0.5);
    exposureStartMs_ = r6host::ClockMs();
    api_.StartExposure(exposureMs_, plan.light ? 1 : 0);
    r6host::ExposureBegun(++exposureCount_, exposureMs_);
    std::lock_guard<std::mutex> lock(mutex_);
    status_.state = kExposing;
    status_.percent = 0;
    status_.exposureError.clear();
    return Reply::Done();
}

void Rig::StopExposure()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_.state == kExposing)
        stopWanted_ = true;
}

void Rig::AbortExposure()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (status_.state != kExposing)
            return;
        status_.state = kIdle;
        status_.percent = 0;
    }
    api_.InterruptExposure();
}

bool Rig::CameraStillThere()
{
    // A removal reaches the driver as a window message: the messages
    // already waiting are let in before a failure is blamed on the camera.
    for (int round = 0; round < kRemovalPumps && api_.GetOK(); ++round)
        r6host::Idle();
    return api_.GetOK() != 0;
}

void Rig::FailExposure(const std::string& reason)
{
    std::lock_guard<std::mutex> lock(mutex_);
    status_.state = kError;
    status_.percent = 0;
    status_.exposureError = reason;
}

void Rig::FinishExposure(uint64_t endMs)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.state = kReading;
        status_.percent = 100;
    }
    api_.StartDownload();
    std::vector<uint16_t> frame((size_t)frameWidth_ * (size_t)frameHeight_);
    bool read = api_.ReadImage(frame.data()) != 0;
    api_.EndDownload(0);
    if (!read) {
        FailExposure(CameraStillThere() ? "the camera's readout failed; start the exposure again"
                                        : "the camera was unplugged during the readout; the driver takes it up "
                                          "again as soon as it is plugged in");
        return;
    }
    auto image = std::make_shared<const Image>(
        running_.numX, running_.numY,
        CutRows(frame, frameWidth_, running_.startX - frameX_, running_.startY - frameY_, running_.numX,
                running_.numY));
    std::lock_guard<std::mutex> lock(mutex_);
    status_.image = std::move(image);
    status_.imageReady = true;
    status_.state = kIdle;
    status_.hasLastExposure = true;
    status_.lastSeconds = (double)(endMs - exposureStartMs_) / 1000.0;
    status_.lastStartWallMs = r6host::WallMsAt(exposureStartMs_);
}

void Rig::ApplyCooling()
{
    float target = kNoTemperature;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (status_.coolerOn && status_.hasSetPoint) {
            if (!coolerEverOn_)
                ambientCelsius_ = status_.hasReading ? status_.ccdCelsius : status_.setPoint;
            coolerEverOn_ = true;
            target = (float)status_.setPoint;
        } else if (coolerEverOn_) {
            // The protocol has no "cooler off": the set point ramps back to
            // where the sensor stood before cooling, so the cooler winds down
            // without a thermal shock.
            target = (float)ambientCelsius_;
        }
    }
    driverState.setTemperature = target;
    if (driverState.camera != nullptr)
        driverState.camera->targetTemperature = target;
}

void Rig::MoveFilter(int position)
{
    bool moved = api_.FilterWheel(4, position + 1) != 0;
    int now = moved ? position : (int)api_.FilterWheel(5, 0);
    std::lock_guard<std::mutex> lock(mutex_);
    status_.position = now;
    status_.moveError = moved ? std::string()
                              : "the filter wheel did not move to position " + std::to_string(position) +
                                    (api_.GetOK() ? ": the camera refused it" : ": the camera is not there");
}

void Rig::RefreshReadings()
{
    auto now = std::chrono::steady_clock::now();
    if (now - lastReading_ < kReadingInterval)
        return;
    lastReading_ = now;
    int millis = api_.GetTemperature();
    int percent = r6host::CoolerPercent(Text(api_.GetInfo()));
    std::lock_guard<std::mutex> lock(mutex_);
    status_.hasReading = millis != kNoTemperatureMillis;
    status_.ccdCelsius = millis / 1000.0;
    status_.coolerPercent = percent < 0 ? 0 : percent;
}

void Rig::Step()
{
    // The pump below lets message 2024 close the shutter first thing: an
    // exposure that ends in it ended now, not after the pause that follows.
    uint64_t pumpedAt = r6host::ClockMs();
    r6host::Idle();
    std::string news = r6host::TakeWorldNews();
    if (!news.empty())
        std::fprintf(stderr, "r6odi-alpaca: %s\n", news.c_str());
    if (!open_)
        return;
    bool present = api_.GetOK() != 0;
    if (present && !wasPresent_) {
        // The driver took the camera up again by itself; a setup run sends
        // the read mode, window heating and preflash anew, as a camera that
        // lost power has forgotten them.
        api_.SetupCCD(1);
        present = api_.GetOK() != 0;
    }
    wasPresent_ = present;
    CameraState state;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.present = present;
        state = status_.state;
    }
    if (state == kExposing) {
        if (!present) {
            api_.InterruptExposure();
            FailExposure("the camera was unplugged during the exposure; the driver takes it up again as soon "
                         "as it is plugged in, then start the exposure again");
            return;
        }
        if (stopWanted_)
            api_.StartDownload();
        if (!api_.IsExposing()) {
            // The worker ends only once the time is up; it may have ended
            // after the pump, the shutter then closing in FinishExposure.
            FinishExposure(stopWanted_ ? r6host::ClockMs() : std::max(pumpedAt, exposureStartMs_ + exposureMs_));
            return;
        }
        uint64_t elapsed = r6host::ClockMs() - exposureStartMs_;
        std::lock_guard<std::mutex> lock(mutex_);
        status_.percent = exposureMs_ == 0 ? 100 : (int)std::min<uint64_t>(100, elapsed * 100 / exposureMs_);
    }
    if (present)
        RefreshReadings();
}

} // namespace alpaca
