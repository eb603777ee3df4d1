// The exposure worker under the real kernel and window manager: a thread at
// the highest priority, its auto-reset event, message 2024 through a real
// peer window's queue. The camera object has its window and event but no
// device (Wine has no camera), which is all the exposure cycle needs.
#include "contract/harness.h"
#include "state/driver_state.h"
#include "driver/exports.h"
#include "driver/module_lifecycle.h"
#include "exposure/aa_camera.h"

namespace {

// Bounds every wait here, so that a broken worker fails the test rather
// than hanging it.
const DWORD kPatience = 5000;

struct DriverCamera {
    DriverCamera()
    {
        OnProcessAttach(GetModuleHandleA(nullptr));
        d_Initialize(nullptr);
        camera = driverState.camera;
        // Not connected: no device anywhere, but Open leaves the peer
        // window and the event behind.
        if (camera != nullptr)
            camera->Open(-1);
    }
    ~DriverCamera()
    {
        d_Finalize();
        OnProcessDetach();
    }
    bool Ready() const
    {
        return camera != nullptr && camera->peerWindow != nullptr && camera->exposureEvent != nullptr;
    }
    CAACamera* camera = nullptr;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Clock()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

bool EndOfExposureQueued()
{
    MSG msg;
    return PeekMessageA(&msg, nullptr, kEndOfExposureMessage, kEndOfExposureMessage, PM_NOREMOVE) != 0;
}

} // namespace

CONTRACT_TEST(Exposure, MessageEndsTheExposureAfterItsTime)
{
    DriverCamera driver;
    REQUIRE(driver.Ready());
    CAACamera* camera = driver.camera;
    LARGE_INTEGER started = Clock();
    CHECK_EQ(d_StartExposure(200, 1), 1);
    REQUIRE(camera->exposureThread != nullptr);
    CHECK_EQ(GetThreadPriority(camera->exposureThread), THREAD_PRIORITY_HIGHEST);
    CHECK_EQ(d_IsExposing(), 1);
    // The host's loop: wait for input, dispatch, poll.
    double timedOutAfter = -1.0;
    while (camera->exposing && Milliseconds(started, Clock()) < kPatience) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        Pump();
        if (timedOutAfter < 0.0 && !d_IsExposing())
            timedOutAfter = Milliseconds(started, Clock());
    }
    CHECK(!camera->exposing);
    CHECK(!camera->shutterOpen);
    CHECK(camera->exposureThread == nullptr);
    CHECK(timedOutAfter >= 199.0);
    CHECK(timedOutAfter < kPatience); // late only by what a loaded machine adds
}

CONTRACT_TEST(Exposure, InterruptWakesTheWorkerAndNoMessageFollows)
{
    DriverCamera driver;
    REQUIRE(driver.Ready());
    CHECK_EQ(d_StartExposure(60000, 1), 1);
    HANDLE thread = nullptr;
    CHECK(DuplicateHandle(GetCurrentProcess(), driver.camera->exposureThread, GetCurrentProcess(),
                          &thread, SYNCHRONIZE, FALSE, 0));
    LARGE_INTEGER called = Clock();
    CHECK_EQ(d_InterruptExposure(), 1);
    CHECK(Milliseconds(called, Clock()) < kPatience); // not the 60 s of the exposure
    if (thread != nullptr) {
        CHECK_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    CHECK(driver.camera->exposureThread == nullptr);
    CHECK(!driver.camera->shutterOpen);
    // The event was reset: the next exposure runs its time.
    CHECK_EQ(d_StartExposure(60000, 0), 1);
    Sleep(100);
    CHECK_EQ(d_IsExposing(), 1);
    CHECK_EQ(d_InterruptExposure(), 1);
    Sleep(100);
    CHECK(!EndOfExposureQueued());
    // d_Finalize during an exposure stops the worker as promptly.
    CHECK_EQ(d_StartExposure(60000, 0), 1);
    called = Clock();
    CHECK_EQ(d_Finalize(), 1);
    CHECK(Milliseconds(called, Clock()) < kPatience);
}
