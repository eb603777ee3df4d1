// The cooling regulation: the ramp of the set point, the smoothing of the
// utilisation, a tick without a device, and timer 2 driving it all on the
// virtual clock with the simulated cooler following the set points.
#include <cmath>

#include "exposure_fixture.h"
#include "sim/sensor_counts.h"

namespace {

constexpr int kSetTemperature = 16;
constexpr float kNone = kNoTemperature;

struct RampCase {
    const char* name;
    float ccd;                // preset reading; the camera refuses to read it
    float ramp;               // rampedSetPoint before the first tick
    std::vector<float> targets; // targetTemperature at each tick
    std::vector<float> sent;    // the set point sent by each tick
};

std::vector<float> Repeat(float value, int count) { return std::vector<float>(count, value); }

// 20.0 towards -10.0 in steps of 0.5: -10.0 on the 61st tick, then again.
RampCase LongRamp()
{
    RampCase c{"20.0 to -10.0", 20.0f, kNone, Repeat(-10.0f, 65), {}};
    for (int tick = 0; tick < 65; ++tick)
        c.sent.push_back(tick < 60 ? 20.0f - 0.5f * tick : -10.0f);
    return c;
}

const RampCase kRampCases[] = {
    LongRamp(),
    {"-9.75 to -10.0: the step is cut", 20.0f, -9.75f, Repeat(-10.0f, 3), {-10.0f, -10.0f, -10.0f}},
    {"reversal", 20.0f, -10.0f, {-20.0f, -20.0f, -20.0f, 0.0f, 0.0f, 0.0f},
     {-10.5f, -11.0f, -11.5f, -11.0f, -10.5f, -10.0f}},
    {"equal: stays", 20.0f, -5.0f, Repeat(-5.0f, 2), {-5.0f, -5.0f}},
};

class RegulationTest : public ExposureTest {
protected:
    // What the simulated cooler was last told, in degrees.
    double CameraSetPoint() { return sim::SetPointCelsius(1, sim->Settings().setPointCount); }
    size_t SetPointsSent()
    {
        size_t count = 0;
        for (int code : Codes())
            count += code == kSetTemperature;
        return count;
    }
};

TEST_F(RegulationTest, SetPointRampsByAtMostTheStep)
{
    sim->InjectReplyFault(sim::ReplyFault::Status(0x81).ForCommand(15).Times(sim::ReplyFault::kForever));
    for (const RampCase& c : kRampCases) {
        SCOPED_TRACE(c.name);
        sim->ClearWireLog();
        camera->ccdTemperature = c.ccd;
        camera->rampedSetPoint = c.ramp;
        for (size_t tick = 0; tick < c.targets.size(); ++tick) {
            SCOPED_TRACE(tick + 1);
            camera->targetTemperature = c.targets[tick];
            camera->RegulationTick();
            EXPECT_EQ(c.sent[tick], camera->rampedSetPoint);
            ASSERT_EQ(tick + 1, SetPointsSent()) << "sent on every tick";
            EXPECT_NEAR(c.sent[tick], CameraSetPoint(), 0.01);
        }
        EXPECT_EQ(c.ccd, camera->ccdTemperature) << "a failed reading keeps the value";
    }
}

// No regulation while either temperature is missing; the readings still
// update on every tick.
struct IdleCase {
    const char* name;
    float target;
    bool readingsFail;
};

const IdleCase kIdleCases[] = {
    {"no target", kNone, false},
    {"no reading yet", -10.0f, true},
};

TEST_F(RegulationTest, NothingIsSentWithoutBothTemperatures)
{
    for (const IdleCase& c : kIdleCases) {
        SCOPED_TRACE(c.name);
        sim->ClearFaults();
        if (c.readingsFail)
            sim->InjectReplyFault(
                sim::ReplyFault::Status(0x81).ForCommand(15).Times(sim::ReplyFault::kForever));
        camera->targetTemperature = c.target;
        camera->ccdTemperature = kNone;
        camera->rampedSetPoint = kNone;
        camera->utilization = 1.0f;
        camera->smoothedUtilization = 0.0f;
        for (int tick = 0; tick < 3; ++tick)
            camera->RegulationTick();
        EXPECT_EQ(0u, SetPointsSent());
        EXPECT_EQ(kNone, camera->rampedSetPoint);
        EXPECT_EQ(0.875f, camera->smoothedUtilization);
        if (c.readingsFail)
            EXPECT_EQ(kNone, camera->ccdTemperature);
        else
            EXPECT_NEAR(sim->CcdCelsius(), camera->ccdTemperature, 0.01);
    }
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
    ASSERT_EQ(0, d_GetOK());
    sim->ClearWireLog();
    camera->RegulationTick();
    EXPECT_EQ(kNone, camera->ccdTemperature);
    EXPECT_EQ(0.0f, camera->smoothedUtilization);
    EXPECT_EQ(kNone, camera->rampedSetPoint);
    EXPECT_EQ(-10.0f, camera->targetTemperature);
    EXPECT_TRUE(Codes().empty());
}

// Timer 2 runs the tick every 10 s through the peer window: the ramp starts
// at the measured temperature and the simulated cooler follows it.
TEST_F(RegulationTest, TimerTwoDrivesTheCooler)
{
    camera->targetTemperature = -10.0f;
    float first = 0.0f;
    for (int tick = 1; tick <= 90; ++tick) {
        emu::Advance(r6odi::kTimerPeriodMs);
        PumpMessages();
        ASSERT_EQ(static_cast<size_t>(tick), SetPointsSent());
        if (tick == 1)
            first = camera->rampedSetPoint;
        EXPECT_NEAR(camera->rampedSetPoint, CameraSetPoint(), 0.01);
        EXPECT_GE(camera->smoothedUtilization, 0.0f) << "the cooler's first reading is no measurement";
    }
    EXPECT_NEAR(20.0f, first, 0.01) << "started from the sensor at ambient";
    EXPECT_EQ(-10.0f, camera->rampedSetPoint);
    EXPECT_NEAR(-10.0, sim->CcdCelsius(), 0.5);
    EXPECT_NEAR(sim->CcdCelsius(), camera->ccdTemperature, 0.5);
    EXPECT_GT(camera->smoothedUtilization, 0.0f);
}

} // namespace
