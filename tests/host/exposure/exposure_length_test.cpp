// How long an exposure really lasts. The emulated system timer ticks every
// 15.625 ms as Windows' does by default, and a timed wait ends on a tick;
// an exposure must still end within a millisecond of its time, whatever its
// length and wherever between two ticks it starts, and never before it.
#include "exposure_fixture.h"

namespace {

struct Length {
    DWORD ms;
    uint64_t phase; // where between two ticks of the system timer it starts
};

const Length kLengths[] = {
    {1, 0}, {1, 7}, {5, 0}, {5, 3}, {5, 11}, {20, 0}, {20, 9}, {100, 0}, {100, 14}, {1000, 5},
};

TEST_F(ExposureTest, ExposuresEndWithinAMillisecondOfTheirTime)
{
    for (const Length& l : kLengths) {
        SCOPED_TRACE(std::to_string(l.ms) + " ms, started " + std::to_string(l.phase) + " ms after a tick");
        // Ticks come every 15.625 ms: 125 ms is a whole number of them.
        emu::Advance(125 - emu::Now() % 125 + l.phase);
        Start(l.ms, 1);
        emu::Advance(l.ms - 1);
        EXPECT_EQ(1, d_IsExposing()) << "ended early";
        emu::Advance(1);
        EXPECT_EQ(0, d_IsExposing()) << "still exposing at its time";
        PumpMessages();
        EXPECT_FALSE(camera->exposing);
        EXPECT_EQ(emu::Snapshot().timerPeriods, 0) << "the timer period stays raised";
    }
}

TEST_F(ExposureTest, TheLongestExposureEndsAtItsTime)
{
    // A host's -1: 2^32 - 1 ms, about 50 days, and no wait of it INFINITE.
    Start(0xFFFFFFFF, 0);
    emu::Advance(0xFFFFFFFEull);
    EXPECT_EQ(1, d_IsExposing());
    emu::Advance(1);
    EXPECT_EQ(0, d_IsExposing()) << "an exposure of 0xFFFFFFFF ms never ends";
    PumpMessages();
    EXPECT_FALSE(camera->exposing);
}

TEST_F(ExposureTest, TheTimerPeriodEndsWithEveryWayOut)
{
    // Ended by its time, by the host, by an abort, by a new exposure and by
    // d_Finalize: each worker ends the period it raised.
    Start(30, 1);
    EXPECT_EQ(emu::Snapshot().timerPeriods, 1);
    emu::Advance(30);
    PumpMessages();
    EXPECT_EQ(emu::Snapshot().timerPeriods, 0);
    Start(60000, 1);
    d_StartDownload();
    Start(60000, 1);
    d_InterruptExposure();
    Start(60000, 1);
    Start(60000, 0);
    EXPECT_EQ(emu::Snapshot().timerPeriods, 1);
    d_Finalize();
    EXPECT_EQ(emu::Snapshot().timerPeriods, 0);
}

} // namespace
