// A loaded driver module with one simulated camera on the bus, driven only
// through the exported interface; whatever a test leaves, d_Finalize and
// the module's unload must give back.
#pragma once

#include <memory>
#include <string>

#include "state/driver_state.h"
#include "exposure/aa_camera.h"
#include "host/driver/driver_fixture.h"
#include "host/exports/export_cases.h"

class ExportsTest : public DriverTest {
protected:
    void TearDown() override
    {
        d_Finalize();
        PumpMessages();
        DriverTest::TearDown();
    }

    static const conformance::ExportTable& Exports()
    {
#define R6ODI_EXPORT_ADDRESS(name) &::name,
        static const conformance::ExportTable table = {R6ODI_EXPORTS(R6ODI_EXPORT_ADDRESS)};
#undef R6ODI_EXPORT_ADDRESS
        return table;
    }

    // A camera of the given type and sensor on the bus, with five filters.
    void Plug(int type, uint16_t width, uint16_t height)
    {
        sim::CameraDescription d;
        d.type = type;
        d.id = 30 + static_cast<uint32_t>(type);
        d.flags = conformance::kFiveFilters;
        d.width = width;
        d.height = height;
        d.serial = "KE0003" + std::to_string(type);
        d.description = conformance::kCameraName;
        d.vendorId = 0x1278;
        d.productId = static_cast<uint16_t>(0x0500 + type);
        camera = bus.Attach(d);
        ASSERT_NE(camera, nullptr);
    }

    // What the host does to get a working camera: create the camera object
    // and set it up without the dialog. The read mode stands in the camera
    // object as the dialog would have left it from an earlier setup.
    void Connect(int readMode = 0)
    {
        ASSERT_EQ(d_Initialize(nullptr), 1);
        ASSERT_NE(driverState.camera, nullptr);
        driverState.camera->readMode = readMode;
        ASSERT_EQ(d_SetupCCD(1), 1);
        ASSERT_EQ(d_GetOK(), 1);
    }

    // The code of every command the camera received since the log was last
    // cleared, separated by blanks.
    std::string CommandsSent() const
    {
        std::string codes;
        for (const auto& write : camera->CommandWrites())
            codes += (codes.empty() ? "" : " ") + std::to_string(write.empty() ? -1 : write[0]);
        return codes;
    }

    sim::CameraState SimState() const
    {
        sim::CameraState copy;
        camera->WithState([&](sim::CameraState& state) {
            copy.description = state.description;
            copy.settings = state.settings;
        });
        return copy;
    }

    std::shared_ptr<sim::SimCamera> camera;
};
