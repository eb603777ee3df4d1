// The driver's camera object made by d_Initialize and opened on a simulated
// camera, as the setup sequence leaves it; d_Finalize at the end, and no
// thread may outlive it.
#pragma once

#include <vector>

#include "driver/exports.h"
#include "exposure/aa_camera.h"
#include "host/driver/driver_fixture.h"

class ExposureTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        threadsBefore_ = emu::Snapshot().threadsRunning;
        sim = Attach(1, 17, "KS00017");
        ASSERT_EQ(1, d_Initialize(nullptr));
        camera = driverState.camera;
        ASSERT_NE(camera, nullptr);
        ASSERT_TRUE(camera->Open(17));
        sim->ClearWireLog();
    }

    void TearDown() override
    {
        d_Finalize();
        PumpMessages();
        EXPECT_EQ(emu::Snapshot().threadsRunning, threadsBefore_) << "exposure worker left running";
        DriverTest::TearDown();
    }

    // The first byte of every request since the wire log was last cleared.
    std::vector<int> Codes() const
    {
        std::vector<int> codes;
        for (const std::vector<uint8_t>& request : sim->CommandWrites())
            codes.push_back(request.empty() ? -1 : request[0]);
        return codes;
    }

    // Starts an exposure and lets the worker reach its wait, so that the
    // exposure time runs from the clock's present value.
    void Start(DWORD milliseconds, int openShutter)
    {
        EXPECT_EQ(1, d_StartExposure(milliseconds, openShutter));
        emu::Settle();
    }

    long ThreadsNow() const { return emu::Snapshot().threadsRunning - threadsBefore_; }

    std::shared_ptr<sim::SimCamera> sim;
    CAACamera* camera = nullptr;

private:
    long threadsBefore_ = 0;
};
