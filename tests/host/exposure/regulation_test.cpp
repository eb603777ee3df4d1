// The cooling regulation: the ramp of the set point, the smoothing of the
// utilisation, a tick without a device, and timer 2 driving it all on the
// virtual clock with the simulated cooler following the set points.
#include <algorithm>

#include "exposure_fixture.h"
#include "sim/sensor_counts.h"

namespace {

constexpr float kNone = kNoTemperature;

struct RampCase {
    const char* name;
    float ramp;                 // rampedSetPoint before the first tick
    std::vector<float> targets; // targetTemperature at each tick
    std::vector<float> sent;    // the set point each tick sends
};

// From a reading of 20.0 towards -10.0: -10.0 on the 61st tick, then again.
RampCase LongRamp()
{
    RampCase c{"20.0 to -10.0", kNone, std::vector<float>(65, -10.0f), {}};
    for (int tick = 0; tick < 65; ++tick)
        c.sent.push_back(tick < 60 ? 20.0f - 0.5f * tick : -10.0f);
    return c;
}

const RampCase kRampCases[] = {
    LongRamp(),
    {"-9.75 to -10.0: the step is cut", -9.75f, {-10.0f, -10.0f, -10.0f}, {-10.0f, -10.0f, -10.0f}},
    {"reversal", -10.0f, {-20.0f, -20.0f, -20.0f, 0.0f, 0.0f, 0.0f},
     {-10.5f, -11.0f, -11.5f, -11.0f, -10.5f, -10.0f}},
    {"no target: nothing sent", kNone, {kNone, kNone}, {kNone, kNone}},
};

class RegulationTest : public ExposureTest {
protected:
    // What the simulated cooler was last told, in degrees.
    double CameraSetPoint() { return sim::SetPointCelsius(1, sim->Settings().setPointCount); }
    size_t SetPointsSent()
    {
        std::vector<int> codes = Codes();
        return static_cast<size_t>(std::count(codes.begin(), codes.end(), 16));
    }
};

TEST_F(RegulationTest, SetPointRampsByAtMostTheStep)
{
    // The camera refuses its readings: the preset 20.0 stays the reading.
    sim->InjectReplyFault(sim::ReplyFault::Status(0x81).ForCommand(15).Times(sim::ReplyFault::kForever));
    for (const RampCase& c : kRampCases) {
        SCOPED_TRACE(c.name);
        sim->ClearWireLog();
        camera->ccdTemperature = 20.0f;
        camera->rampedSetPoint = c.ramp;
        size_t sent = 0;
        for (size_t tick = 0; tick < c.targets.size(); ++tick) {
            SCOPED_TRACE(tick + 1);
            camera->targetTemperature = c.targets[tick];
            camera->RegulationTick();
            EXPECT_EQ(c.sent[tick], camera->rampedSetPoint);
            sent += c.sent[tick] != kNone;
            ASSERT_EQ(sent, SetPointsSent()) << "sent on every tick that regulates";
            if (c.sent[tick] != kNone) {
                EXPECT_NEAR(c.sent[tick], CameraSetPoint(), 0.01);
            }
        }
        EXPECT_EQ(20.0f, camera->ccdTemperature) << "a failed reading keeps the value";
    }
}

TEST_F(RegulationTest, ReadingsUpdateWithoutRegulation)
{
    camera->ccdTemperature = kNone;
    camera->utilization = 1.0f;
    camera->RegulationTick();
    EXPECT_NEAR(sim->CcdCelsius(), camera->ccdTemperature, 0.01);
    EXPECT_EQ(0.5f, camera->smoothedUtilization);
    EXPECT_EQ(kNone, camera->rampedSetPoint);
    EXPECT_EQ((std::vector<int>{15, 15}), Codes()) << "values 1 and 0; the utilisation is stored";
}

struct SmoothingCase {
    const char* name;
    std::vector<float> readings; // the utilisation timer 1 left before each tick
    std::vector<float> smoothed;
};

const SmoothingCase kSmoothingCases[] = {
    {"full power from 0", {1.0f, 1.0f, 1.0f}, {0.5f, 0.75f, 0.875f}},
    {"no measurement is skipped", {-1.0f, 1.0f, -1.0f, 0.0f}, {0.0f, 0.5f, 0.5f, 0.25f}},
};

TEST_F(RegulationTest, UtilisationIsSmoothedAndNoMeasurementSkipped)
{
    for (const SmoothingCase& c : kSmoothingCases) {
        SCOPED_TRACE(c.name);
        camera->smoothedUtilization = 0.0f;
        for (size_t tick = 0; tick < c.readings.size(); ++tick) {
            camera->utilization = c.readings[tick];
            camera->RegulationTick();
            EXPECT_EQ(c.smoothed[tick], camera->smoothedUtilization) << "tick " << tick + 1;
        }
    }
}

TEST_F(RegulationTest, DisconnectedTickForgetsReadingsAndRamp)
{
    camera->ccdTemperature = -5.0f;
    camera->smoothedUtilization = 0.4f;
    camera->rampedSetPoint = -5.0f;
    camera->targetTemperature = -10.0f;
    bus.Detach(sim);
    PumpMessages();
    sim->ClearWireLog();
    camera->RegulationTick();
    EXPECT_EQ(kNone, camera->ccdTemperature);
    EXPECT_EQ(0.0f, camera->smoothedUtilization);
    EXPECT_EQ(kNone, camera->rampedSetPoint);
    EXPECT_EQ(-10.0f, camera->targetTemperature);
    EXPECT_TRUE(Codes().empty());
}

// Timer 2 every 10 s through the peer window: the ramp starts at the sensor's
// temperature and the simulated cooler follows it down. The cooler's first
// utilisation is "no measurement" (it has never run).
TEST_F(RegulationTest, TimerTwoDrivesTheCooler)
{
    camera->targetTemperature = -10.0f;
    for (size_t tick = 1; tick <= 90; ++tick) {
        emu::Advance(r6odi::kTimerPeriodMs);
        PumpMessages();
        ASSERT_EQ(tick, SetPointsSent());
        if (tick == 1) {
            EXPECT_NEAR(20.0f, camera->rampedSetPoint, 0.01);
        }
        EXPECT_NEAR(camera->rampedSetPoint, CameraSetPoint(), 0.01);
        EXPECT_GE(camera->smoothedUtilization, 0.0f);
    }
    EXPECT_EQ(-10.0f, camera->rampedSetPoint);
    EXPECT_NEAR(-10.0, sim->CcdCelsius(), 0.5);
    EXPECT_NEAR(sim->CcdCelsius(), camera->ccdTemperature, 0.5);
    EXPECT_GT(camera->smoothedUtilization, 0.0f);
}

} // namespace
