// The driver against the simulated camera's own behaviour: settings the
// camera keeps or refuses, and its sensor cooling down on the virtual clock.
#include "camera_fixture.h"

namespace {

using r6odi::CCamera;

class SessionTest : public CameraTest {
protected:
    CCamera* Connect(uint16_t flags, int type = 1)
    {
        sim::CameraDescription d;
        d.type = type;
        d.id = 17;
        d.flags = flags;
        d.serial = "KS00017";
        d.description = "CAM-100";
        camera = bus.Attach(d);
        CCamera* c = OpenCamera(17);
        EXPECT_TRUE(c->IsConnected());
        return c;
    }
    std::shared_ptr<sim::SimCamera> camera;
};

TEST_F(SessionTest, SettingsReachTheCamera)
{
    CCamera* c = Connect(0x0021); // five filters, preflash
    ASSERT_TRUE(r6odi::CameraSetBinning(c, 2, 3));
    ASSERT_TRUE(c->SetReadMode(1));
    ASSERT_TRUE(c->SetWindowHeating(true));
    ASSERT_TRUE(c->SetPreflash(1.5, 4));
    ASSERT_TRUE(r6odi::CameraSetFilter(c, 4));
    ASSERT_TRUE(r6odi::CameraStartExposure(c));
    ASSERT_TRUE(c->OpenShutter());
    sim::CameraSettings s = camera->Settings();
    EXPECT_EQ(s.binX, 2);
    EXPECT_EQ(s.binY, 3);
    EXPECT_FALSE(s.doubleSample);
    EXPECT_TRUE(s.windowHeating);
    EXPECT_EQ(s.preflashMs, 1500);
    EXPECT_EQ(s.preflashClears, 4);
    EXPECT_EQ(s.filterPosition, 4);
    EXPECT_TRUE(s.shutterOpen);
    EXPECT_EQ(camera->Activity().exposures, 1);
    ASSERT_TRUE(c->CloseShutter());
    EXPECT_FALSE(camera->Settings().shutterOpen);
}

TEST_F(SessionTest, CameraRefusesWhatItCannotDo)
{
    CCamera* c = Connect(0x0001); // five filters, no preflash
    EXPECT_FALSE(r6odi::CameraSetBinning(c, 5, 1));
    EXPECT_STREQ(c->lastError, "Instruction failed: Invalid parameter");
    EXPECT_EQ(c->hwBinX, 1);
    EXPECT_FALSE(r6odi::CameraSetFilter(c, 5));
    EXPECT_STREQ(c->lastError, "Instruction failed: Invalid parameter");
    EXPECT_FALSE(c->SetPreflash(1.0, 2));
    EXPECT_STREQ(c->lastError, "Instruction failed: Unknown instruction");
    EXPECT_TRUE(r6odi::CameraSetFilter(c, 0));
}

TEST_F(SessionTest, SensorCoolsTowardTheSetPointAndTheCoolerShowsIt)
{
    CCamera* c = Connect(0);
    float start = 0.0f;
    ASSERT_TRUE(c->GetValue(0, &start));
    EXPECT_NEAR(start, 20.0, 0.05);
    float u = 0.0f;
    ASSERT_TRUE(c->GetPower(&u));
    EXPECT_EQ(u, -1.0f); // the cooler has never been set

    ASSERT_TRUE(c->SetTemperature(-10.0f));
    emu::Advance(60000);
    float later = 0.0f;
    ASSERT_TRUE(c->GetValue(0, &later));
    EXPECT_LT(later, start - 1.0f);
    EXPECT_GT(later, -10.0f);
    emu::Advance(600000);
    ASSERT_TRUE(c->GetValue(0, &later));
    EXPECT_NEAR(later, -10.0, 0.05);
    ASSERT_TRUE(c->GetPower(&u));
    EXPECT_GT(u, 0.5f);
    EXPECT_LT(u, 1.0f);

    // Timer 1 brings the same utilisation into the object.
    emu::Advance(10000);
    PumpMessages();
    EXPECT_EQ(c->utilization, u);
    float viaIndex = 0.0f;
    ASSERT_TRUE(r6odi::CameraGetValue(c, 11, &viaIndex));
    EXPECT_EQ(viaIndex, u);
}

TEST_F(SessionTest, SensorCannotGoBelowWhatTheCoolerReaches)
{
    CCamera* c = Connect(0, 3);
    ASSERT_TRUE(c->SetTemperature(-60.0f));
    emu::Advance(3600000);
    float t = 0.0f;
    ASSERT_TRUE(c->GetValue(0, &t));
    EXPECT_NEAR(t, 20.0 - 35.0, 0.1);
    float sink = 0.0f;
    ASSERT_TRUE(c->GetValue(2, &sink));
    EXPECT_GT(sink, 20.0f);
    float volts = 0.0f;
    ASSERT_TRUE(c->GetValue(10, &volts));
    EXPECT_NEAR(volts, 12.0, 0.01);
}

} // namespace
