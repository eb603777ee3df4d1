// The module loaded and unloaded in a loop, as a host that opens and closes
// its camera driver all night does: each round loads it, runs a session of
// its own kind (none at all, a setup alone, a whole exposure and readout,
// an exposure left running, a camera unplugged, the setup dialog) and
// unloads it; after every round everything is back to where it started.
// And a host that unloads the module without d_Finalize, in any state, and
// keeps running its message loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/driver_state.h"
#include "driver/exports.h"
#include "exposure/aa_camera.h"
#include "driver/module_lifecycle.h"
#include "platform/emul/control.h"
#include "platform/emul/dialog_control.h"
#include "sim/bus_installation.h"
#include "sim/sim_bus.h"

namespace {

constexpr int kRounds = 60;

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

// One session between a load and an unload; `round` picks its kind.
void Session(int round, sim::SimBus& bus, const std::shared_ptr<sim::SimCamera>& camera)
{
    switch (round % 6) {
    case 0:
        return; // loaded and unloaded, nothing called
    case 1:
        d_Initialize(nullptr);
        d_SetupCCD(1);
        EXPECT_EQ(d_GetOK(), 1);
        break;
    case 2: {
        d_Initialize(nullptr);
        d_SetupCCD(1);
        d_Subframe(0, 0, 50000, 50000, 1);
        d_StartExposure(1500, 1);
        emu::Advance(1500);
        Pump();
        d_StartDownload();
        std::vector<uint16_t> frame(static_cast<size_t>(d_GetWidth(0)) * d_GetHeight(0));
        EXPECT_EQ(d_ReadImage(frame.data()), 1) << driverState.camera->lastError;
        break;
    }
    case 3:
        // The host quits in the middle of an exposure.
        d_Initialize(nullptr);
        d_SetupCCD(1);
        d_StartExposure(60000, 1);
        emu::Advance(20000);
        Pump();
        break;
    case 4:
        // The cable goes and comes back while the driver is loaded.
        d_Initialize(nullptr);
        d_SetupCCD(1);
        bus.Detach(camera);
        Pump();
        EXPECT_EQ(d_GetOK(), 0);
        bus.Attach(camera);
        Pump();
        EXPECT_EQ(d_GetOK(), 1);
        break;
    default:
        d_Initialize(nullptr);
        emu::SetDialogUser([](HWND dialog) { emu::Click(dialog, IDOK); });
        d_SetupCCD(0);
        emu::SetDialogUser({});
        EXPECT_EQ(d_GetOK(), 1);
        break;
    }
    d_Finalize();
    Pump();
}

TEST(LoadUnload, EveryRoundGivesBackWhatItTook)
{
    sim::SimBus bus;
    sim::BusInstallation installation(bus);
    sim::CameraDescription d;
    d.type = 2;
    d.id = 51;
    d.width = 200;
    d.height = 150;
    d.serial = "KLOOP1";
    d.vendorId = 0x1278;
    d.productId = 0x0502;
    std::shared_ptr<sim::SimCamera> camera = bus.Attach(d);
    ASSERT_NE(camera, nullptr);
    emu::TakeMisuseReports();
    const emu::Counts start = emu::Snapshot();
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        HINSTANCE module = emu::LoadModule(DllMain, "/opt/host/drivers/d_r6odi.dll");
        ASSERT_NE(module, nullptr);
        ASSERT_NE(driverState.peerClassAtom, 0) << "the peer window class registers again";
        Session(round, bus, camera);
        emu::FreeModule(module);
        const emu::Counts now = emu::Snapshot();
        ASSERT_EQ(now.handles, start.handles);
        ASSERT_EQ(now.windows, start.windows);
        ASSERT_EQ(now.classes, start.classes);
        ASSERT_EQ(now.timers, start.timers);
        ASSERT_EQ(now.registrations, start.registrations);
        ASSERT_EQ(now.heapBlocks, start.heapBlocks);
        ASSERT_EQ(now.globalBlocks, start.globalBlocks);
        ASSERT_EQ(now.criticalSections, start.criticalSections);
        ASSERT_EQ(now.threadsRunning, start.threadsRunning);
        ASSERT_EQ(now.deviceInfoSets, start.deviceInfoSets);
        ASSERT_EQ(now.timerPeriods, start.timerPeriods);
        const std::vector<std::string> misuse = emu::TakeMisuseReports();
        ASSERT_TRUE(misuse.empty()) << misuse.front();
        ASSERT_FALSE(camera->Settings().shutterOpen) << "an exposure left its shutter open";
        // Each round's camera is free again for the next: no claim is left.
        for (int e = 0; e < sim::kEndpointCount; ++e)
            ASSERT_EQ(camera->OpenFiles(static_cast<sim::Endpoint>(e)), 0);
    }
}

// The driver in a state a host may leave it in when it unloads the module.
struct Unloaded {
    const char* state;
    void (*bringAbout)(sim::SimBus& bus, const std::shared_ptr<sim::SimCamera>& camera);
};

const Unloaded kUnloadStates[] = {
    {"idle", [](sim::SimBus&, const std::shared_ptr<sim::SimCamera>&) {}},
    {"cooling", [](sim::SimBus&, const std::shared_ptr<sim::SimCamera>&) { emu::Advance(25000); }},
    {"exposing", [](sim::SimBus&, const std::shared_ptr<sim::SimCamera>&) { d_StartExposure(5000, 1); }},
    // d_GetOK is 0: a host may take that for "nothing to finalize".
    {"unplugged", [](sim::SimBus& bus, const std::shared_ptr<sim::SimCamera>& camera) {
         bus.Detach(camera);
         Pump();
     }},
};

TEST(LoadUnload, UnloadWithoutFinalizeLeavesTheHostRunning)
{
    for (const Unloaded& u : kUnloadStates) {
        SCOPED_TRACE(u.state);
        sim::SimBus bus;
        sim::BusInstallation installation(bus);
        sim::CameraDescription d;
        d.type = 1;
        d.id = 52;
        d.serial = "KGONE1";
        std::shared_ptr<sim::SimCamera> camera = bus.Attach(d);
        emu::TakeMisuseReports();
        const emu::Counts start = emu::Snapshot();
        HINSTANCE module = emu::LoadModule(DllMain, "/opt/host/drivers/d_r6odi.dll");
        d_Initialize(nullptr);
        driverState.setTemperature = -10.0f;
        d_SetupCCD(1);
        ASSERT_EQ(d_GetOK(), 1);
        u.bringAbout(bus, camera);
        emu::FreeModule(module);
        // The host's message loop runs on for 30 s: timers, the end of the
        // exposure and the cable coming back all reach the peer window.
        for (int ms = 0; ms < 30000; ms += 100) {
            emu::Advance(100);
            Pump();
            if (ms == 15000 && !camera->Attached())
                bus.Attach(camera);
        }
        const std::vector<std::string> misuse = emu::TakeMisuseReports();
        ASSERT_TRUE(misuse.empty()) << misuse.front();
        EXPECT_FALSE(camera->Settings().shutterOpen);
        EXPECT_EQ(emu::Snapshot().threadsRunning, start.threadsRunning);
        // Loaded again, the module is the one still in memory; finalized
        // and unloaded, it gives everything back.
        EXPECT_EQ(emu::LoadModule(DllMain, "/opt/host/drivers/d_r6odi.dll"), module);
        EXPECT_EQ(d_GetOK(), 1);
        d_Finalize();
        emu::FreeModule(module);
        const emu::Counts end = emu::Snapshot();
        EXPECT_EQ(end.handles, start.handles);
        EXPECT_EQ(end.windows, start.windows);
        EXPECT_EQ(end.classes, start.classes);
        EXPECT_EQ(end.timers, start.timers);
        EXPECT_EQ(end.registrations, start.registrations);
        EXPECT_EQ(end.heapBlocks, start.heapBlocks);
        EXPECT_EQ(end.timerPeriods, start.timerPeriods);
        EXPECT_TRUE(emu::TakeMisuseReports().empty());
        char path[MAX_PATH];
        EXPECT_EQ(GetModuleFileNameA(module, path, sizeof path), 0u) << "the module is still loaded";
    }
}

} // namespace
