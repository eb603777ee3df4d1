// The camera object's life: construction values, Open and re-Open,
// d_GetOK through its states, and the one way in which it is freed.
#include <type_traits>

#include "exposure_fixture.h"

namespace {

// DestroyCamera runs only CCamera's Release, which would leave the worker
// and its event behind: it must not accept the driver's camera.
template <class T, class = void>
struct PlainDestroyAccepts : std::false_type {};
template <class T>
struct PlainDestroyAccepts<T, std::void_t<decltype(r6odi::DestroyCamera(std::declval<T*>()))>>
    : std::true_type {};
static_assert(PlainDestroyAccepts<r6odi::CCamera>::value, "plain cameras go with DestroyCamera");
static_assert(!PlainDestroyAccepts<CAACamera>::value, "the driver's camera must not");

TEST_F(ExposureTest, ConstructionValues)
{
    d_Finalize();
    ASSERT_EQ(1, d_Initialize(reinterpret_cast<HWND>(0x1234)));
    CAACamera* c = driverState.camera;
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(reinterpret_cast<HWND>(0x1234), driverState.hostWindow);
    EXPECT_EQ(nullptr, c->exposureThread);
    EXPECT_EQ(nullptr, c->exposureEvent);
    EXPECT_EQ(0u, c->exposureMs);
    EXPECT_EQ(0, c->frameX);
    EXPECT_EQ(0, c->frameY);
    EXPECT_EQ(768, c->frameWidth);
    EXPECT_EQ(512, c->frameHeight);
    EXPECT_EQ(0, c->readMode);
    EXPECT_EQ(0.0f, c->preflashTime);
    EXPECT_EQ(4, c->clearCount);
    EXPECT_EQ(kNoTemperature, c->ccdTemperature);
    EXPECT_EQ(0.0f, c->smoothedUtilization);
    EXPECT_EQ(kNoTemperature, c->targetTemperature);
    EXPECT_EQ(kNoTemperature, c->rampedSetPoint);
    EXPECT_FALSE(c->exposing);
    EXPECT_FALSE(c->shutterOpen);
    EXPECT_FALSE(c->windowHeating);
    EXPECT_EQ(nullptr, c->peerWindow) << "not connected before the setup";
}

TEST_F(ExposureTest, GetOkFollowsTheObjectAndItsConnection)
{
    EXPECT_EQ(1, d_GetOK());
    bus.Detach(sim);
    PumpMessages();
    EXPECT_EQ(0, d_GetOK()) << "device removed";
    d_Finalize();
    EXPECT_EQ(0, d_GetOK()) << "no object";
    d_Initialize(nullptr);
    EXPECT_EQ(0, d_GetOK()) << "object not connected yet";
}

TEST_F(ExposureTest, OpenMakesTheWholeSensorTheReadoutWindow)
{
    struct Sensor {
        int id;
        uint16_t width;
        uint16_t height;
    };
    const Sensor sensors[] = {{18, 1024, 768}, {19, 3072, 2048}};
    for (const Sensor& s : sensors) {
        SCOPED_TRACE(s.id);
        sim::CameraDescription d = sim->Description();
        d.id = s.id;
        d.serial = "KS000" + std::to_string(s.id);
        d.width = s.width;
        d.height = s.height;
        bus.Attach(d);
        d_Finalize();
        d_Initialize(nullptr);
        driverState.camera->frameX = 5;
        driverState.camera->frameY = 6;
        ASSERT_TRUE(driverState.camera->Open(s.id));
        EXPECT_EQ(0, driverState.camera->frameX);
        EXPECT_EQ(0, driverState.camera->frameY);
        EXPECT_EQ(s.width, driverState.camera->frameWidth);
        EXPECT_EQ(s.height, driverState.camera->frameHeight);
    }
}

TEST_F(ExposureTest, OpenAgainEndsTheExposureAndReplacesTheEvent)
{
    long handlesIdle = HandlesNow();
    HANDLE oldEvent = camera->exposureEvent;
    Start(60000, 1);
    ASSERT_TRUE(camera->Open(17));
    EXPECT_EQ((std::vector<int>{4, 12, 13}), Codes());
    EXPECT_FALSE(camera->exposing);
    EXPECT_EQ(nullptr, camera->exposureThread);
    EXPECT_EQ(0, ThreadsNow());
    EXPECT_NE(nullptr, camera->exposureEvent);
    EXPECT_NE(oldEvent, camera->exposureEvent);
    EXPECT_EQ(handlesIdle, HandlesNow()) << "the old event closed, one new one";
    EXPECT_EQ(1, d_GetOK());

    // The new event stops a worker as the old one did.
    Start(60000, 0);
    d_InterruptExposure();
    EXPECT_EQ(0, ThreadsNow());
}

TEST_F(ExposureTest, InitializeAgainGivesBackTheEarlierCamera)
{
    Start(60000, 1);
    ASSERT_EQ(1, d_Initialize(nullptr));
    EXPECT_NE(nullptr, driverState.camera);
    EXPECT_EQ(0, ThreadsNow());
    EXPECT_EQ(0, sim->OpenFiles(sim::Endpoint::Command));
    // The device's claim went too: a new camera object can open it.
    EXPECT_TRUE(driverState.camera->Open(17));
}

TEST_F(ExposureTest, OwnMessagesAreHandledWithResultZero)
{
    LRESULT result = 77;
    EXPECT_TRUE(camera->HandleMessage(kEndOfExposureMessage, 0, 0, &result));
    EXPECT_EQ(0, result);
    result = 77;
    EXPECT_TRUE(camera->HandleMessage(WM_TIMER, kRegulationTimer, 0, &result));
    EXPECT_EQ(0, result);
    result = 77;
    EXPECT_FALSE(camera->HandleMessage(WM_TIMER, r6odi::kUtilizationTimer, 0, &result));
    EXPECT_EQ(77, result);
}

} // namespace
