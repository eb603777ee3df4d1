// The exposure cycle on the virtual clock: what goes on the wire, when
// d_IsExposing turns, which of message 2024 and the host ends an exposure,
// and that no worker or message outlives the exposure it belongs to.
#include "exposure_fixture.h"

namespace {

constexpr int kStart = 4;
constexpr int kReadFrame = 11;
constexpr int kOpen = 12;
constexpr int kClose = 13;

bool EndOfExposureQueued()
{
    MSG msg;
    return PeekMessageA(&msg, nullptr, kEndOfExposureMessage, kEndOfExposureMessage, PM_NOREMOVE) != 0;
}

// Reads a small frame, so that the simulated camera says what it integrated.
sim::FrameExposure ReadFrame(CAACamera* camera, sim::SimCamera& sim)
{
    uint16_t pixels[16];
    EXPECT_TRUE(r6odi::CameraReadImage(camera, 0, 0, 4, 4, sizeof pixels, pixels));
    return sim.Activity().lastFrameExposure;
}

// Each ending is a list of the host's calls: PumpMessages dispatches message
// 2024 (and answers 1 for it), d_StartDownload ends the exposure (1).
typedef int (*HostCall)();

struct EndCase {
    const char* name;
    DWORD ms;
    int openShutter;
    std::vector<HostCall> ending;
    std::vector<int> codes;
};

const EndCase kEndCases[] = {
    {"dark, ended by the message", 1000, 0, {PumpMessages}, {kStart}},
    {"dark, ended by the host", 1000, 0, {d_StartDownload}, {kStart}},
    {"light, ended by the message", 1000, 1, {PumpMessages}, {kStart, kOpen, kClose}},
    {"light, ended by the host", 1000, 1, {d_StartDownload}, {kStart, kOpen, kClose}},
    {"light, message first", 50, 1, {PumpMessages, d_StartDownload}, {kStart, kOpen, kClose}},
    {"light, host first", 50, 1, {d_StartDownload, PumpMessages}, {kStart, kOpen, kClose}},
    {"light, one millisecond", 1, 1, {PumpMessages}, {kStart, kOpen, kClose}},
};

TEST_F(ExposureTest, ExposureEndsOnTimeAndClosesTheShutterOnce)
{
    for (const EndCase& c : kEndCases) {
        SCOPED_TRACE(c.name);
        sim->ClearWireLog();
        EXPECT_EQ(0, d_IsExposing());
        Start(c.ms, c.openShutter);
        EXPECT_EQ(THREAD_PRIORITY_HIGHEST, GetThreadPriority(camera->exposureThread));
        emu::Advance(c.ms - 1);
        EXPECT_EQ(1, d_IsExposing());
        emu::Advance(1);
        EXPECT_EQ(0, d_IsExposing()) << "the time has run out";
        EXPECT_TRUE(camera->exposing) << "nothing has ended the exposure yet";
        EXPECT_EQ(c.openShutter != 0, sim->Settings().shutterOpen);

        for (HostCall call : c.ending)
            EXPECT_EQ(1, call());
        EXPECT_EQ(c.codes, Codes());
        EXPECT_FALSE(camera->exposing);
        EXPECT_FALSE(sim->Settings().shutterOpen);

        sim::FrameExposure frame = ReadFrame(camera, *sim);
        EXPECT_EQ(c.openShutter ? c.ms : 0u, frame.lightMs);
        EXPECT_EQ(c.openShutter ? 0u : c.ms, frame.darkMs);
        EXPECT_EQ(0, ThreadsNow());
        PumpMessages(); // what the host left queued is stale from now on
    }
}

// Message 2024 of an exposure the host has already ended is still queued
// when the next exposure starts.
struct StaleCase {
    const char* name;
    bool hostEndsFirst; // d_StartDownload, else the next d_StartExposure ends it
};

const StaleCase kStaleCases[] = {
    {"ended by d_StartDownload", true},
    {"ended by the next d_StartExposure", false},
};

TEST_F(ExposureTest, StaleEndOfExposureLeavesTheNextExposureRunning)
{
    long handlesIdle = HandlesNow();
    for (const StaleCase& c : kStaleCases) {
        SCOPED_TRACE(c.name);
        sim->ClearWireLog();
        Start(1000, 1);
        emu::Advance(1000);
        ASSERT_TRUE(EndOfExposureQueued());
        if (c.hostEndsFirst)
            d_StartDownload();
        Start(1000, 1);
        EXPECT_EQ(handlesIdle + 1, HandlesNow()) << "one worker handle, none orphaned";
        EXPECT_EQ(1, PumpMessages());
        EXPECT_TRUE(camera->exposing);
        EXPECT_EQ(1, d_IsExposing());
        EXPECT_EQ((std::vector<int>{kStart, kOpen, kClose, kStart, kOpen}), Codes());

        emu::Advance(1000);
        EXPECT_EQ(1, PumpMessages());
        EXPECT_FALSE(camera->exposing);
        EXPECT_EQ((std::vector<int>{kStart, kOpen, kClose, kStart, kOpen, kClose}), Codes());
        EXPECT_EQ(1000u, ReadFrame(camera, *sim).lightMs) << "the second exposure ran its whole time";
        EXPECT_EQ(handlesIdle, HandlesNow());
    }
}

struct AbortCase {
    const char* name;
    int openShutter; // -1: no exposure running
    int (*call)();
    std::vector<int> codes;
};

const AbortCase kAbortCases[] = {
    {"interrupt, light", 1, d_InterruptExposure, {kStart, kOpen, kClose}},
    {"interrupt, dark", 0, d_InterruptExposure, {kStart}},
    {"download before the time, light", 1, d_StartDownload, {kStart, kOpen, kClose}},
    {"interrupt, nothing running", -1, d_InterruptExposure, {}},
    {"download, nothing running", -1, d_StartDownload, {}},
};

TEST_F(ExposureTest, AbortReturnsAtOnceAndNoMessageFollows)
{
    for (const AbortCase& c : kAbortCases) {
        SCOPED_TRACE(c.name);
        sim->ClearWireLog();
        if (c.openShutter >= 0)
            Start(60000, c.openShutter);
        uint64_t calledAt = emu::Now();
        EXPECT_EQ(1, c.call());
        EXPECT_EQ(calledAt, emu::Now());
        EXPECT_EQ(0, ThreadsNow()) << "the worker was woken and collected";
        EXPECT_EQ(0, d_IsExposing());
        EXPECT_FALSE(camera->exposing);
        EXPECT_EQ(c.codes, Codes());
        emu::Advance(60000);
        EXPECT_FALSE(EndOfExposureQueued());
        PumpMessages();
    }
}

TEST_F(ExposureTest, FinalizeDuringAnExposureStopsTheWorkerFirst)
{
    Start(5000, 1);
    EXPECT_EQ(1, d_Finalize());
    EXPECT_EQ(nullptr, driverState.camera);
    EXPECT_EQ(0, ThreadsNow());
    emu::Advance(5000);
    EXPECT_FALSE(EndOfExposureQueued());
    EXPECT_EQ(1, d_Finalize()) << "a second one finds nothing to do";
    // The fixture's tear-down checks that every handle, window, timer and
    // block has been given back.
}

// A camera object that was never opened still times its exposures with an
// event of its own, and sends nothing.
TEST_F(ExposureTest, CameraNeverOpenedTimesTheExposure)
{
    d_Finalize();
    d_Initialize(nullptr);
    Start(1000, 1);
    emu::Advance(999);
    EXPECT_EQ(1, d_IsExposing());
    emu::Advance(1);
    EXPECT_EQ(0, d_IsExposing());
    EXPECT_EQ(1, d_StartDownload());
    EXPECT_EQ(0, ThreadsNow());
    EXPECT_TRUE(Codes().empty());
}

// An exposure the camera refuses to start, or whose shutter it refuses to
// open, is not reported as started: nothing is left exposing, no shutter is
// closed later, and the reason stays in the last-error text.
struct RefusedStartCase {
    const char* name;
    int refusedCode;
    int openShutter;
    std::vector<int> codes;
    const char* lastError;
};

const RefusedStartCase kRefusedStarts[] = {
    {"ShutterRefused", 12, 1, {4, 12}, "Instruction failed: Invalid index"},
    {"StartRefusedLight", 4, 1, {4}, "Instruction failed: Invalid index"},
    {"StartRefusedDark", 4, 0, {4}, "Instruction failed: Invalid index"},
};

TEST_F(ExposureTest, RefusedStartIsReportedAndLeavesNothingExposing)
{
    for (const RefusedStartCase& c : kRefusedStarts) {
        SCOPED_TRACE(c.name);
        d_Finalize();
        d_Initialize(nullptr);
        ASSERT_TRUE(driverState.camera->Open(17));
        sim->InjectReplyFault(sim::ReplyFault::Status(0x81).ForCommand(c.refusedCode));
        sim->ClearWireLog();
        EXPECT_EQ(0, d_StartExposure(1000, c.openShutter));
        emu::Settle();
        EXPECT_EQ(0, d_IsExposing());
        EXPECT_EQ(0, ThreadsNow());
        EXPECT_STREQ(driverState.camera->lastError, c.lastError);
        emu::Advance(1000);
        PumpMessages();
        EXPECT_EQ(1, d_StartDownload());
        EXPECT_EQ(c.codes, Codes());
    }
}

// Without a camera object (a failed setup destroyed it) every export
// answers at once and nothing reaches a camera.
struct NoCameraCase {
    const char* name;
    int (*call)();
    int result;
};

int StartLight() { return d_StartExposure(1000, 1); }

const NoCameraCase kNoCameraCases[] = {
    {"d_GetOK", d_GetOK, 0},
    {"d_IsExposing", d_IsExposing, 0},
    {"d_StartExposure", StartLight, 1},
    {"d_StartDownload", d_StartDownload, 1},
    {"d_InterruptExposure", d_InterruptExposure, 1},
    {"d_Finalize", d_Finalize, 1},
};

TEST_F(ExposureTest, WithoutCameraObjectNothingIsSent)
{
    d_Finalize();
    long handles = HandlesNow();
    for (const NoCameraCase& c : kNoCameraCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, c.call());
        emu::Settle();
        EXPECT_EQ(0, ThreadsNow());
        EXPECT_EQ(handles, HandlesNow());
    }
    EXPECT_TRUE(Codes().empty());
}

// The worker's wait is measured from the moment the commands went out: the
// time its thread took to start running is taken off, truncated so that an
// exposure never ends before its time.
TEST(ExposureWait, IsWhatIsLeftOfTheTimeAndNeverLess)
{
    struct Case {
        DWORD ms;
        LONGLONG start, now, frequency;
        DWORD wait;
    };
    const Case cases[] = {
        {1000, 0, 0, 1000000, 1000},                 // the worker runs at once
        {1000, 5000, 12000, 1000000, 993},           // 7 ms to start
        {1000, 5000, 12999, 1000000, 993},           // 7.999 ms: not 992
        {50, 0, 50000, 1000000, 0},                  // started after its own end
        {50, 0, 90000, 1000000, 0},
        {1000, 0, 30, 10000, 997},                   // another frequency
        {1000, 100, 50, 1000000, 1000},              // the counter went backwards
        {1000, 0, 7000, 0, 1000},                    // no counter
        {1000, 0, 1, 3, 667},                        // one third of a second, truncated
        {0xFFFFFFFFu, 0, 3000000, 1000000, 0xFFFFFFFFu - 3000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.wait, ExposureWaitMs(c.ms, c.start, c.now, c.frequency))
            << c.ms << " ms from " << c.start << " at " << c.now << " / " << c.frequency;
}

} // namespace
