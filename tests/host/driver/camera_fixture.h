// A driver module on a simulated bus with plain camera objects made the way
// the driver makes them, destroyed (and so released) at the end of a test.
#pragma once

#include "device/camera.h"
#include "driver_fixture.h"
#include "hostsupport/memory.h"

class CameraTest : public DriverTest {
protected:
    void TearDown() override
    {
        for (r6odi::CCamera* camera : cameras_)
            r6odi::DestroyCamera(camera);
        cameras_.clear();
        DriverTest::TearDown();
    }

    r6odi::CCamera* NewCamera()
    {
        r6odi::CCamera* camera = hostsupport::New<r6odi::CCamera>();
        cameras_.push_back(camera);
        return camera;
    }

    // A camera object opened for `id`; the test asserts whether it connected.
    r6odi::CCamera* OpenCamera(int32_t id = -1)
    {
        r6odi::CCamera* camera = NewCamera();
        camera->Open(id);
        return camera;
    }

private:
    std::vector<r6odi::CCamera*> cameras_;
};
