// A loaded driver module on a simulated bus, with the accounting checked at
// the end: whatever a test makes the driver take, the driver gives back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "state/driver_state.h"
#include "driver/module_lifecycle.h"
#include "platform/emul/control.h"
#include "sim/bus_installation.h"
#include "sim/sim_bus.h"

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        emu::TakeMisuseReports();
        before_ = emu::Snapshot();
        installation_ = std::make_unique<sim::BusInstallation>(bus);
        module = emu::LoadModule(DllMain, "/opt/host/drivers/d_r6odi.dll");
        ASSERT_NE(module, nullptr);
    }

    void TearDown() override
    {
        emu::FreeModule(module);
        installation_.reset();
        emu::Counts after = emu::Snapshot();
        EXPECT_EQ(after.handles, before_.handles) << "handles left open";
        EXPECT_EQ(after.windows, before_.windows) << "windows left";
        EXPECT_EQ(after.classes, before_.classes) << "classes left registered";
        EXPECT_EQ(after.timers, before_.timers) << "timers left armed";
        EXPECT_EQ(after.registrations, before_.registrations) << "device registrations left";
        EXPECT_EQ(after.deviceInfoSets, before_.deviceInfoSets) << "SetupAPI sets left";
        EXPECT_EQ(after.heapBlocks, before_.heapBlocks) << "heap blocks left";
        EXPECT_EQ(after.criticalSections, before_.criticalSections);
        EXPECT_EQ(after.pendingIo, before_.pendingIo) << "reads left in flight";
        EXPECT_EQ(after.timerPeriods, before_.timerPeriods) << "system timer periods left raised";
        std::vector<std::string> misuse = emu::TakeMisuseReports();
        EXPECT_TRUE(misuse.empty()) << misuse.front();
    }

    // A camera of the given type and id, attached now.
    std::shared_ptr<sim::SimCamera> Attach(int type, uint32_t id, const std::string& serial,
                                           const std::string& description = "KX-TEST")
    {
        sim::CameraDescription d;
        d.type = type;
        d.id = id;
        d.serial = serial;
        d.description = description;
        d.vendorId = 0x1278;
        d.productId = static_cast<uint16_t>(0x0500 + type);
        return bus.Attach(d);
    }

    long HandlesNow() const { return emu::Snapshot().handles; }
    long HandlesAtStart() const { return before_.handles; }

    sim::SimBus bus;
    HINSTANCE module = nullptr;

private:
    emu::Counts before_;
    std::unique_ptr<sim::BusInstallation> installation_;
};

// Delivers what the host's message loop would: device notifications, posted
// messages and due timers of this thread's windows.
inline int PumpMessages()
{
    int dispatched = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
        ++dispatched;
    }
    return dispatched;
}

// A command that the camera accepts with a bare success status, so that a
// test can look at the exact request bytes without depending on what the
// camera would do with them.
inline void AcceptCommand(sim::SimCamera& camera, uint8_t code)
{
    camera.DefineCommand(code, [](sim::CameraState&, const sim::Bytes&) { return sim::Bytes{0x80}; });
}

typedef std::vector<std::vector<uint8_t>> Writes;
