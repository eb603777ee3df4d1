// Readings from the camera's raw counts, the set point's count, and the
// cooler utilisation that timer 1 keeps fresh.
#include <cmath>

#include "camera_fixture.h"
#include "protocol/sensor_readings.h"

namespace {

using r6odi::CCamera;

class ReadingsTest : public CameraTest {
protected:
    // A camera of the type whose GetValue answers `count` for every value
    // number and whose GetPower answers a and b.
    CCamera* Connect(int type)
    {
        sim = Attach(type, 5, "KS00005");
        sim->DefineCommand(15, [this](sim::CameraState&, const sim::Bytes&) {
            return sim::Bytes{0x80, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
        });
        sim->DefineCommand(17, [this](sim::CameraState&, const sim::Bytes&) {
            return sim::Bytes{0x80, static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(b),
                              static_cast<uint8_t>(b >> 8)};
        });
        AcceptCommand(*sim, 16);
        CCamera* camera = OpenCamera();
        EXPECT_TRUE(camera->IsConnected());
        sim->ClearWireLog();
        return camera;
    }
    float Read(CCamera* camera, uint32_t index, uint16_t raw)
    {
        count = raw;
        float reading = -999.0f;
        EXPECT_TRUE(camera->GetValue(index, &reading)) << index;
        return reading;
    }

    std::shared_ptr<sim::SimCamera> sim;
    uint16_t count = 0;
    uint16_t a = 0;
    uint16_t b = 0;
};

TEST_F(ReadingsTest, TemperaturesOfTypesOneAndTwo)
{
    CCamera* camera = Connect(1);
    EXPECT_EQ(Read(camera, 0, 0), -85.79743f);
    EXPECT_NEAR(Read(camera, 0, 65535), 490.2, 0.05);
    EXPECT_NEAR(Read(camera, 0, 1220), -75.07, 0.01);
    EXPECT_NEAR(Read(camera, 2, 1220), -75.07, 0.01);
    EXPECT_EQ(sim->CommandWrites(), (Writes{{15, 0}, {15, 0}, {15, 0}, {15, 1}}));
}

TEST_F(ReadingsTest, TemperatureOfTypeThreeIsEightTimesCoarser)
{
    CCamera* camera = Connect(3);
    EXPECT_NEAR(Read(camera, 0, 1220), -0.015, 0.001);
    // The exact float of the double computation, not a float computation.
    EXPECT_EQ(Read(camera, 0, 1220), static_cast<float>(1220 * 0.0703134685754776 - 85.79743194580078));
}

TEST_F(ReadingsTest, SetPointReadsBackAsItself)
{
    for (int type : {1, 3}) {
        CCamera* camera = Connect(type);
        ASSERT_TRUE(camera->SetTemperature(0.0f));
        std::vector<uint8_t> sent = sim->CommandWrites().back();
        uint16_t setCount = static_cast<uint16_t>(sent[1] | sent[2] << 8);
        EXPECT_NEAR(Read(camera, 0, setCount), 0.0, type == 1 ? 0.01 : 0.04) << type;
        camera->Release();
        bus.Detach(sim);
    }
}

TEST_F(ReadingsTest, SetPointCountsOnTheWire)
{
    CCamera* camera = Connect(3);
    EXPECT_TRUE(camera->SetTemperature(0.0f));
    EXPECT_TRUE(camera->SetTemperature(-20.0f));
    EXPECT_TRUE(camera->SetTemperature(-85.79743f));
    EXPECT_EQ(sim->CommandWrites(), (Writes{{16, 0xC4, 0x04}, {16, 0xA8, 0x03}, {16, 0x00, 0x00}}));
}

TEST_F(ReadingsTest, SetPointOutsideTheCountRangeIsClampedNotWrapped)
{
    CCamera* camera = Connect(1);
    EXPECT_TRUE(camera->SetTemperature(-100.0f));
    EXPECT_TRUE(camera->SetTemperature(-273.0f));
    EXPECT_TRUE(camera->SetTemperature(600.0f));
    EXPECT_TRUE(camera->SetTemperature(std::nanf("")));
    EXPECT_EQ(sim->CommandWrites(),
              (Writes{{16, 0x00, 0x00}, {16, 0x00, 0x00}, {16, 0xFF, 0xFF}, {16, 0x00, 0x00}}));
}

TEST_F(ReadingsTest, VoltageAndThousandths)
{
    CCamera* type3 = Connect(3);
    EXPECT_EQ(Read(type3, 10, 2048), 18.125f);
    type3->Release();
    bus.Detach(sim);
    CCamera* type1 = Connect(1);
    EXPECT_EQ(Read(type1, 10, 16384), 18.125f);
    EXPECT_EQ(Read(type1, 20, 1500), 1.5f);
    EXPECT_EQ(sim->CommandWrites(), (Writes{{15, 2}, {15, 3}}));
}

TEST_F(ReadingsTest, IndicesOneAndThreeAskButDeliverZero)
{
    CCamera* camera = Connect(1);
    EXPECT_EQ(Read(camera, 1, 4000), 0.0f);
    EXPECT_EQ(Read(camera, 3, 4000), 0.0f);
    EXPECT_EQ(sim->CommandWrites(), (Writes{{15, 1}, {15, 1}}));
}

TEST_F(ReadingsTest, StoredUtilizationNeedsNoTraffic)
{
    CCamera* camera = Connect(1);
    camera->utilization = 0.25f;
    float reading = 0.0f;
    EXPECT_TRUE(camera->GetValue(11, &reading));
    EXPECT_EQ(reading, 0.25f);
    EXPECT_TRUE(sim->WireRecords().empty());

    camera->status &= ~CCamera::kConnected;
    reading = 7.0f;
    EXPECT_FALSE(camera->GetValue(11, &reading));
    EXPECT_EQ(reading, 0.0f);
    EXPECT_STREQ(camera->lastError, "CCD camera not connected to USB");
    // Through the guard, a disconnected camera leaves the reading alone.
    reading = 7.0f;
    EXPECT_FALSE(r6odi::CameraGetValue(camera, 11, &reading));
    EXPECT_EQ(reading, 7.0f);
    EXPECT_FALSE(camera->GetValue(0, &reading));
    EXPECT_EQ(reading, 7.0f);
    camera->status |= CCamera::kConnected;
}

TEST_F(ReadingsTest, UnknownIndexFailsBeforeTheConnectedTest)
{
    CCamera* camera = Connect(1);
    float reading = 7.0f;
    for (uint32_t index : {4u, 9u, 12u, 19u, 21u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(camera->GetValue(index, &reading));
        EXPECT_STREQ(camera->lastError, "Unsupported value index");
    }
    camera->status &= ~CCamera::kConnected;
    EXPECT_FALSE(camera->GetValue(12, &reading));
    EXPECT_STREQ(camera->lastError, "Unsupported value index");
    EXPECT_EQ(reading, 7.0f);
    EXPECT_TRUE(sim->WireRecords().empty());
    camera->status |= CCamera::kConnected;
}

TEST_F(ReadingsTest, FailedReadingLeavesTheValueAlone)
{
    CCamera* camera = Connect(1);
    float reading = 7.0f;
    sim->InjectReplyFault(sim::ReplyFault::Status(0x81));
    EXPECT_FALSE(camera->GetValue(0, &reading));
    EXPECT_STREQ(camera->lastError, "Instruction failed: Invalid index");
    sim->InjectReplyFault(sim::ReplyFault::CutTo(2));
    EXPECT_FALSE(camera->GetValue(0, &reading));
    EXPECT_EQ(reading, 7.0f);
}

TEST_F(ReadingsTest, UtilizationFromThePowerCounts)
{
    CCamera* camera = Connect(1);
    struct Case {
        uint16_t a, b;
        float expected;
    } cases[] = {{300, 100, 0.75f}, {0, 0, -1.0f}, {5, 0, 1.0f}, {0, 5, 0.0f}, {65535, 65535, 0.5f}};
    for (const Case& c : cases) {
        a = c.a;
        b = c.b;
        float u = 9.0f;
        EXPECT_TRUE(camera->GetPower(&u));
        EXPECT_EQ(u, c.expected) << c.a << "/" << c.b;
    }
    sim->InjectReplyFault(sim::ReplyFault::Status(0x83));
    float u = 9.0f;
    EXPECT_FALSE(camera->GetPower(&u));
    EXPECT_EQ(u, -1.0f);
    EXPECT_EQ(sim->CommandWrites().size(), 6u);
    EXPECT_EQ(sim->CommandWrites()[0], (std::vector<uint8_t>{17}));
}

TEST_F(ReadingsTest, TimerOneRefreshesTheUtilizationEveryTenSeconds)
{
    CCamera* camera = Connect(1);
    a = 1;
    b = 3;
    emu::Advance(9999);
    PumpMessages();
    EXPECT_TRUE(sim->WireRecords().empty());
    EXPECT_EQ(camera->utilization, 0.0f);
    emu::Advance(1);
    PumpMessages();
    EXPECT_EQ(camera->utilization, 0.25f);
    EXPECT_EQ(sim->CommandWrites(), (Writes{{17}}));
    a = 3;
    emu::Advance(10000);
    PumpMessages();
    EXPECT_EQ(camera->utilization, 0.5f);
    // Closed devices stop the timer.
    camera->CloseDevice();
    emu::Advance(30000);
    PumpMessages();
    EXPECT_EQ(sim->CommandWrites().size(), 2u);
}

TEST(RoundToHundredthsTest, HalvesRoundAwayFromZero)
{
    EXPECT_EQ(r6odi::RoundToHundredths(12.345f), 12.35);
    EXPECT_EQ(r6odi::RoundToHundredths(-12.345f), -12.35);
    EXPECT_EQ(r6odi::RoundToHundredths(0.0f), 0.0);
    EXPECT_EQ(r6odi::RoundToHundredths(-0.004f), 0.0);
    EXPECT_EQ(r6odi::RoundToHundredths(2.5f), 2.5);
    EXPECT_EQ(r6odi::RoundToHundredths(-10.0f), -10.0);
    EXPECT_EQ(r6odi::RoundToHundredths(65.535f), 65.54);
    // Nothing to round, and nothing that may reach an integer conversion.
    EXPECT_TRUE(std::isnan(r6odi::RoundToHundredths(std::nanf(""))));
    EXPECT_EQ(r6odi::RoundToHundredths(3e38f), static_cast<double>(3e38f));
}

} // namespace
