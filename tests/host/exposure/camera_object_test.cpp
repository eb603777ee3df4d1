// The camera object's life: Open and re-Open, d_GetOK through its states,
// and the one way in which it is freed.
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
    sim::CameraDescription d = sim->Description();
    d.id = 18;
    d.serial = "KS00018";
    d.width = 1024;
    d.height = 768;
    bus.Attach(d);
    camera->frameX = 5;
    camera->frameY = 6;
    camera->requestedId = 18;
    camera->CloseDevice();
    ASSERT_TRUE(camera->Open(18));
    EXPECT_EQ(0, camera->frameX);
    EXPECT_EQ(0, camera->frameY);
    EXPECT_EQ(1024, camera->frameWidth);
    EXPECT_EQ(768, camera->frameHeight);
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

} // namespace
