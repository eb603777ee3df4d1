// The cooler on the virtual clock, seen through GetValue and GetPower, and
// the counts in which the camera reports and takes temperatures.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/sensor_counts.h"
#include "sim/thermal_model.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

constexpr double kFineStep = 0.008789182640612125;
constexpr double kOffset = 85.79743194580078;

const Bytes kSetZero = {16, 0x22, 0x26};       // 9762: 0.0026 C on types 1 and 2
const Bytes kSetMinusForty = {16, 0x5B, 0x14}; // 5211
const Bytes kSetThirty = {16, 0x77, 0x33};     // 13175

constexpr uint64_t kSecond = 1000;

class ThermalTest : public ::testing::Test {
protected:
    void Use(const sim::CameraDescription& description)
    {
        peer = std::make_unique<simtest::Peer>(description);
        ASSERT_TRUE(peer->Ready());
    }

    void SetUp() override { Use(simtest::Camera(1, 10017, "KS00017")); }

    uint16_t Value(uint8_t number)
    {
        Bytes reply = peer->Exchange({15, number}, 3);
        EXPECT_EQ(3u, reply.size());
        EXPECT_EQ(0x80, reply[0]);
        return reply.size() == 3 ? (uint16_t)(reply[1] | reply[2] << 8) : 0;
    }

    Bytes Power() { return peer->Exchange({17}, 5); }
    void Send(const Bytes& request) { ASSERT_EQ(Bytes{0x80}, peer->Exchange(request, 1)); }
    double Ccd() { return peer->camera->CcdCelsius(); }

    std::unique_ptr<simtest::Peer> peer;
};

TEST_F(ThermalTest, PowerOnSitsAtAmbientWithTheCoolerOff)
{
    emu::Advance(600 * kSecond);
    EXPECT_DOUBLE_EQ(20.0, Ccd());
    EXPECT_FALSE(peer->camera->Thermal().coolerOn);
    EXPECT_EQ((Bytes{0x80, 0, 0, 0, 0}), Power());
    EXPECT_EQ(12037, Value(0));
}

TEST_F(ThermalTest, SensorFollowsTheSetPointAtTheSlewRate)
{
    Send(kSetZero);
    emu::Advance(100 * kSecond);
    EXPECT_NEAR(10.0, Ccd(), 1e-9);
    EXPECT_EQ(10899, Value(0));
    emu::Advance(100 * kSecond);
    EXPECT_NEAR(0.0026, Ccd(), 1e-4);
    emu::Advance(500 * kSecond);
    EXPECT_NEAR(0.0026, Ccd(), 1e-4);
}

TEST_F(ThermalTest, CoolerHoldsNoColderThanItsReachAndThenWorksFlatOut)
{
    Send(kSetMinusForty);
    emu::Advance(1000 * kSecond);
    EXPECT_DOUBLE_EQ(-15.0, Ccd());
    EXPECT_EQ((Bytes{0x80, 0xE8, 0x03, 0x00, 0x00}), Power()); // 1000, 0
    EXPECT_EQ(8055, Value(0));
    EXPECT_EQ(12947, Value(1)); // heat sink 8 C over ambient at full duty
}

TEST_F(ThermalTest, SetPointAboveAmbientLetsTheSensorWarmBackToAmbient)
{
    Send(kSetZero);
    emu::Advance(100 * kSecond);
    Send(kSetThirty);
    emu::Advance(50 * kSecond);
    EXPECT_NEAR(15.0, Ccd(), 1e-9);
    emu::Advance(100 * kSecond);
    EXPECT_DOUBLE_EQ(20.0, Ccd());
    EXPECT_EQ((Bytes{0x80, 0x00, 0x00, 0xE8, 0x03}), Power()); // 0, 1000: idle, measured
}

TEST_F(ThermalTest, PhysicsAreTheCamerasOwn)
{
    sim::CameraDescription camera = simtest::Camera(1, 10017, "KS00017");
    camera.physics.ambientCelsius = 25.0;
    camera.physics.coolingReach = 10.0;
    camera.physics.slewPerSecond = 1.0;
    Use(camera);
    EXPECT_DOUBLE_EQ(25.0, Ccd());
    Send(kSetZero);
    emu::Advance(5 * kSecond);
    EXPECT_NEAR(20.0, Ccd(), 1e-9);
    EXPECT_EQ((Bytes{0x80, 0xF4, 0x01, 0xF4, 0x01}), Power()); // 500, 500
    emu::Advance(100 * kSecond);
    EXPECT_DOUBLE_EQ(15.0, Ccd());
}

TEST_F(ThermalTest, ReadingsConvertBackToTheModelledTemperature)
{
    Send(kSetMinusForty);
    for (int step = 0; step < 40; ++step) {
        emu::Advance(7 * kSecond + 300);
        double reading = Value(0) * kFineStep - kOffset;
        ASSERT_NEAR(Ccd(), reading, kFineStep / 2 + 1e-9) << step;
    }
}

TEST_F(ThermalTest, AClockSetBackCountsAsNoTime)
{
    Send(kSetZero);
    emu::Advance(10 * kSecond);
    EXPECT_NEAR(19.0, Ccd(), 1e-9);
    emu::SetNow(emu::Now() - 5 * kSecond);
    EXPECT_NEAR(19.0, Ccd(), 1e-9);
    emu::Advance(5 * kSecond);
    EXPECT_NEAR(18.5, Ccd(), 1e-9);
}

TEST(ThermalModel, PathDoesNotDependOnHowOftenItIsUpdated)
{
    sim::CameraPhysics physics;
    sim::ThermalState once = sim::ThermalAtPowerOn(physics, 1000);
    once.coolerOn = true;
    once.setPointCelsius = -5.0;
    sim::ThermalState often = once;
    sim::AdvanceThermal(physics, &once, 1000 + 123456);
    for (uint64_t t = 1000; t <= 1000 + 123456; t += 37)
        sim::AdvanceThermal(physics, &often, t);
    sim::AdvanceThermal(physics, &often, 1000 + 123456);
    EXPECT_NEAR(once.ccdCelsius, often.ccdCelsius, 1e-9);
    EXPECT_NEAR(20.0 - 12.3456, once.ccdCelsius, 1e-9);
}

TEST(SensorCounts, TemperatureCountsRoundAndSaturate)
{
    EXPECT_EQ(0, sim::TemperatureCount(1, -85.79743));
    EXPECT_EQ(0, sim::TemperatureCount(1, -120.0));
    EXPECT_EQ(65535, sim::TemperatureCount(1, 600.0));
    EXPECT_EQ(12037, sim::TemperatureCount(2, 20.0));
    EXPECT_EQ(1220, sim::TemperatureCount(3, 0.0));
    EXPECT_EQ(1505, sim::TemperatureCount(3, 20.0));
}

TEST(SensorCounts, VoltageAndThousandthsCounts)
{
    EXPECT_EQ(16384, sim::VoltageCount(1, 18.125));
    EXPECT_EQ(2048, sim::VoltageCount(3, 18.125));
    EXPECT_EQ(10847, sim::VoltageCount(2, 12.0));
    EXPECT_EQ(1500, sim::ThousandthsCount(1.5));
    EXPECT_EQ(0, sim::ThousandthsCount(-1.0));
    EXPECT_EQ(65535, sim::ThousandthsCount(100.0));
}

TEST(SensorCounts, SetPointCountsInvertTheDriversConversion)
{
    struct Scale {
        int type;
        double slope;
        double intercept;
    };
    for (Scale s : {Scale{1, 113.77621459960938, 9761.70703125},
                    Scale{3, 14.222026824951172, 1220.21337890625}}) {
        for (double celsius = -40.0; celsius <= 20.0; celsius += 0.25) {
            uint16_t count = (uint16_t)(int)(celsius * s.slope + s.intercept + 0.5);
            ASSERT_NEAR(celsius, sim::SetPointCelsius(s.type, count), 0.5 / s.slope + 1e-9)
                << s.type << " " << celsius;
        }
    }
    EXPECT_NEAR(-0.015, sim::SetPointCelsius(3, 1220), 0.001);
}

} // namespace
