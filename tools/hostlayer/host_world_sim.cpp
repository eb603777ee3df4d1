// Linux: the driver over the emulated Win32 layer, talking to the default
// simulated cameras, each showing the night sky. The clock follows real
// time, sped up by the asked factor, so timers, exposures and the cooler
// all run faster together.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "driver/module_lifecycle.h"
#include "host_world.h"
#include "platform/emul/control.h"
#include "sim/bus_installation.h"
#include "sim/default_cameras.h"
#include "sim/sim_bus.h"

namespace r6host {
namespace {

struct SimWorld {
    WorldOptions options;
    sim::SimBus bus;
    std::unique_ptr<sim::BusInstallation> installation;
    HINSTANCE module = nullptr;
    std::chrono::system_clock::time_point wallBase;
    uint64_t clockBase = 0;
    // The simulated unplug: when to pull the camera, when to put it back.
    bool unplugDone = false;
    uint64_t unplugAt = UINT64_MAX;
    uint64_t replugAt = UINT64_MAX;
    std::shared_ptr<sim::SimCamera> unplugged;
    std::string news;
};

SimWorld* world = nullptr;

// The camera whose command pipe the driver holds open.
std::shared_ptr<sim::SimCamera> CameraInUse()
{
    for (const auto& camera : world->bus.Cameras())
        if (camera->OpenFiles(sim::Endpoint::Command) > 0)
            return camera;
    return nullptr;
}

void RunUnplugSchedule()
{
    uint64_t now = emu::Now();
    if (now >= world->unplugAt) {
        world->unplugAt = UINT64_MAX;
        world->unplugged = CameraInUse();
        if (world->unplugged && world->bus.Detach(world->unplugged)) {
            world->replugAt = now + (uint64_t)(world->options.unplugSeconds * 1000.0);
            world->news = "simulation: camera " + std::to_string(world->unplugged->Description().id) +
                          " unplugged";
        }
    }
    if (now >= world->replugAt) {
        world->replugAt = UINT64_MAX;
        world->bus.Attach(world->unplugged);
        world->news = "simulation: camera " + std::to_string(world->unplugged->Description().id) +
                      " plugged in again";
        world->unplugged.reset();
    }
}

} // namespace

bool StartWorld(const WorldOptions& options, DriverApi* api, std::string* error)
{
    world = new SimWorld;
    world->options = options;
    emu::UseRealTime(true);
    emu::SetRealTimeSpeed(options.speed);
    world->installation = std::make_unique<sim::BusInstallation>(world->bus);
    for (sim::CameraDescription camera : sim::DefaultCameras()) {
        camera.sky.enabled = std::getenv("R6ODI_SIM_PATTERN") == nullptr; // pattern: pixels tests can compute
        world->bus.Attach(camera);
    }
    world->clockBase = emu::Now();
    world->wallBase = std::chrono::system_clock::now();
    world->module = emu::LoadModule(DllMain, "d_r6odi.dll");
    if (world->module == nullptr) {
        *error = "the driver module did not load";
        return false;
    }
    return BindDriver(api, error);
}

bool StopWorld(std::string* error)
{
    if (world == nullptr)
        return true;
    if (world->module != nullptr)
        emu::FreeModule(world->module);
    world->installation.reset();
    delete world;
    world = nullptr;
    emu::Counts left = emu::Snapshot();
    bool clean = left.handles == 0 && left.windows == 0 && left.classes == 0 && left.heapBlocks == 0 &&
                 left.timers == 0 && left.registrations == 0;
    if (!clean)
        *error = "the driver left " + std::to_string(left.handles) + " handle(s), " +
                 std::to_string(left.windows) + " window(s), " + std::to_string(left.classes) +
                 " class(es), " + std::to_string(left.timers) + " timer(s), " +
                 std::to_string(left.registrations) + " registration(s), " +
                 std::to_string(left.heapBlocks) + " heap block(s)";
    return clean;
}

uint64_t ClockMs()
{
    return emu::Now();
}

double WallMsAt(uint64_t clockMs)
{
    double base = (double)std::chrono::duration_cast<std::chrono::milliseconds>(
                      world->wallBase.time_since_epoch())
                      .count();
    return base + (double)(clockMs - world->clockBase);
}

void Idle()
{
    // The schedule first: a removal it causes is then delivered at once.
    RunUnplugSchedule();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void ExposureBegun(int frameNumber, uint32_t milliseconds)
{
    if (world->unplugDone || frameNumber != world->options.unplugFrame)
        return;
    world->unplugDone = world->options.unplugEvery <= 0;
    world->options.unplugFrame += world->options.unplugEvery;
    world->unplugAt = emu::Now() + milliseconds / 2;
}

bool SetFlatPanel(bool lit)
{
    for (const auto& camera : world->bus.Cameras())
        camera->WithState([lit](sim::CameraState& state) { state.description.sky.flatPanelLit = lit; });
    return true;
}

void HoldClock(bool held)
{
    emu::UseRealTime(!held);
}

std::string TakeWorldNews()
{
    std::string news;
    news.swap(world->news);
    return news;
}

} // namespace r6host
