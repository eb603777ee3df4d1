// The driver's camera object from d_Initialize, opened on a simulated camera
// as the setup sequence leaves it; d_Finalize at the end, and no thread may
// outlive it.
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
        ASSERT_TRUE(camera != nullptr && camera->Open(17));
        sim->ClearWireLog();
    }

    void TearDown() override
    {
        d_Finalize();
        PumpMessages();
        EXPECT_EQ(0, ThreadsNow()) << "exposure worker left running";
        DriverTest::TearDown();
    }

    // The command code of every request since the wire log was cleared.
    std::vector<int> Codes() const
    {
        std::vector<int> codes;
        for (const std::vector<uint8_t>& request : sim->CommandWrites())
            codes.push_back(request.empty() ? -1 : request[0]);
        return codes;
    }

    // Lets the worker reach its wait, so that its time runs from now.
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
