// The reply and image pipes block as USB bulk pipes do, on the virtual
// clock: an empty pipe's read waits for data or for the pipe's time-out, and
// when nothing else can run the clock jumps to the next deadline by itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "sim/bus_installation.h"
#include "sim/device_path.h"
#include "sim/sim_bus.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

HANDLE OpenFile(const std::string& name)
{
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

struct ReadResult {
    BOOL ok = FALSE;
    DWORD done = 0xDEADBEEF;
    DWORD error = 0;
    uint64_t waited = 0; // on the clock
};

ReadResult TimedRead(HANDLE pipe, DWORD size)
{
    uint8_t buffer[64] = {};
    ReadResult r;
    uint64_t start = emu::Now();
    SetLastError(0);
    r.ok = ReadFile(pipe, buffer, size, &r.done, nullptr);
    r.error = r.ok ? 0 : GetLastError();
    r.waited = emu::Now() - start;
    return r;
}

// A worker that waits for `delay` ms of the clock on an event nobody sets,
// as the exposure worker waits out an exposure, then does its part.
struct Delayed {
    DWORD delay = 0;
    std::function<void()> act;
    uint64_t ranAt = 0;
};

DWORD WINAPI RunDelayed(LPVOID parameter)
{
    Delayed* d = static_cast<Delayed*>(parameter);
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Ticks of 1 ms, so that it acts at its own millisecond.
    timeBeginPeriod(1);
    WaitForSingleObject(never, d->delay);
    timeEndPeriod(1);
    CloseHandle(never);
    d->ranAt = emu::Now();
    if (d->act)
        d->act();
    return 0;
}

class BlockingPipeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        before = emu::Snapshot();
        camera = bus.Attach(simtest::Camera(1, 7, "KS00021"));
        ASSERT_TRUE(camera);
        command = OpenFile(camera->Path() + "\\0");
        reply = OpenFile(camera->Path() + "\\1");
        image = OpenFile(camera->Path() + "\\2");
        ASSERT_NE(INVALID_HANDLE_VALUE, image);
    }
    void TearDown() override
    {
        for (HANDLE h : {command, reply, image})
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        emu::Settle();
        EXPECT_EQ(before.handles, emu::Snapshot().handles);
        EXPECT_EQ(before.threadsRunning, emu::Snapshot().threadsRunning);
        EXPECT_TRUE(emu::TakeMisuseReports().empty());
    }

    HANDLE StartDelayed(Delayed* d)
    {
        return CreateThread(nullptr, 0, RunDelayed, d, 0, nullptr);
    }

    emu::Counts before;
    sim::SimBus bus;
    sim::BusInstallation installation{bus};
    std::shared_ptr<sim::SimCamera> camera;
    HANDLE command = INVALID_HANDLE_VALUE, reply = INVALID_HANDLE_VALUE, image = INVALID_HANDLE_VALUE;
};

TEST_F(BlockingPipeTest, EmptyPipeTimesOutAfterItsTimeOutWithoutAnotherThread)
{
    struct Case {
        const char* pipe;
        DWORD timeout;
        uint64_t waited;
    };
    const Case cases[] = {
        {"reply", 5000, 5000},
        {"image", 5000, 5000},
        {"reply", 250, 250},
        {"image", 1, 1},
    };
    // A bulk pipe commonly has none: a camera's reads wait for ever unless
    // told otherwise.
    EXPECT_EQ(camera->PipeTimeout(), sim::SimCamera::kNoPipeTimeout);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pipe) + " " + std::to_string(c.timeout));
        camera->SetPipeTimeout(c.timeout);
        ReadResult r = TimedRead(std::string(c.pipe) == "reply" ? reply : image, 61);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ((DWORD)ERROR_SEM_TIMEOUT, r.error);
        EXPECT_EQ(0u, r.done);
        EXPECT_EQ(c.waited, r.waited);
    }
}

TEST_F(BlockingPipeTest, PipeWithoutTimeOutAnswersAnEmptyReadAtOnce)
{
    camera->SetPipeTimeout(0);
    ReadResult r = TimedRead(reply, 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(0u, r.done);
    EXPECT_EQ(0u, r.waited);
}

TEST_F(BlockingPipeTest, AReplyThatIsThereIsReadWithoutWaiting)
{
    BYTE request = 4;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(command, &request, 1, &written, nullptr));
    ReadResult r = TimedRead(reply, 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(1u, r.done);
    EXPECT_EQ(0u, r.waited);
}

// Workers due before the time-out run first, at their own deadline; what
// they do decides how the read ends.
TEST_F(BlockingPipeTest, WorkersDueEarlierRunFirstAndCanEndTheWait)
{
    camera->SetPipeTimeout(5000);
    struct Case {
        const char* what;
        DWORD delay;
        int act; // 0 nothing, 1 image data, 2 unplug
        BOOL ok;
        DWORD error;
        uint64_t waited;
    };
    const Case cases[] = {
        {"data arrives", 1200, 1, TRUE, 0, 1200},
        {"worker idles", 700, 0, FALSE, ERROR_SEM_TIMEOUT, 5000},
        {"worker due later", 9000, 1, FALSE, ERROR_SEM_TIMEOUT, 5000},
        {"unplugged", 300, 2, FALSE, ERROR_DEVICE_NOT_CONNECTED, 300}, // last: the pipes stay dead
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Delayed d;
        d.delay = c.delay;
        if (c.act == 1)
            d.act = [this] { camera->QueueImageData({1, 2, 3}); };
        if (c.act == 2)
            d.act = [this] { bus.Detach(camera); };
        uint64_t start = emu::Now();
        HANDLE worker = StartDelayed(&d);
        ASSERT_NE(nullptr, worker);
        ReadResult r = TimedRead(image, 8);
        EXPECT_EQ(c.ok, r.ok);
        EXPECT_EQ(c.error, r.error);
        EXPECT_EQ(c.waited, r.waited);
        EXPECT_EQ(c.ok ? 3u : 0u, r.done);
        if (c.delay <= c.waited) {
            EXPECT_EQ(start + c.delay, d.ranAt);
        }
        // A worker due after the time-out is still waiting: the clock
        // stopped at the read's deadline.
        if (c.delay > c.waited) {
            EXPECT_EQ(0u, d.ranAt);
            emu::Advance(c.delay);
        }
        emu::Settle(); // the worker may still be on its way out
        EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(worker, 0));
        CloseHandle(worker);
        if (camera->PendingImageBytes() > 0) { // arrived after the time-out
            EXPECT_EQ(3u, TimedRead(image, 8).done);
        }
    }
}

TEST_F(BlockingPipeTest, AnOrdinaryWaitDoesNotMoveTheClock)
{
    // WaitForSingleObject keeps its time-out for whoever advances the
    // clock; with no one to do so, a poll is all that can end at once.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint64_t start = emu::Now();
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    camera->SetPipeTimeout(40);
    EXPECT_EQ((DWORD)ERROR_SEM_TIMEOUT, TimedRead(reply, 1).error);
    EXPECT_EQ(start + 40, emu::Now());
    CloseHandle(event);
}

// --- The byte-count pointer ---------------------------------------------------

TEST_F(BlockingPipeTest, TransfersWithoutCountPointerAreMisuse)
{
    BYTE request = 4;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(command, &request, 1, nullptr, nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_TRUE(camera->CommandWrites().empty()); // nothing reached the camera
    SetLastError(0);
    EXPECT_FALSE(ReadFile(reply, &request, 1, nullptr, nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    std::vector<std::string> reports = emu::TakeMisuseReports();
    ASSERT_EQ(2u, reports.size());
    EXPECT_NE(std::string::npos, reports[0].find("WriteFile without a byte-count pointer"));
    EXPECT_NE(std::string::npos, reports[1].find("ReadFile without a byte-count pointer"));
}

// --- Share modes --------------------------------------------------------------

TEST_F(BlockingPipeTest, SecondOpenHonoursShareModes)
{
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    const DWORD shareRw = FILE_SHARE_READ | FILE_SHARE_WRITE;
    struct Case {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool opens;
    };
    const Case cases[] = {
        {rw, shareRw, rw, shareRw, true}, // what the driver does everywhere
        {rw, 0, rw, shareRw, false},
        {rw, shareRw, rw, 0, false},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, shareRw, false},
        {GENERIC_WRITE, shareRw, GENERIC_READ, FILE_SHARE_READ, false},
        {0, 0, rw, shareRw, true}, // no data access: nothing to share
    };
    CloseHandle(reply); // the fixture's own open would take part
    reply = INVALID_HANDLE_VALUE;
    const std::string names[] = {camera->Path(), camera->Path() + "\\1"};
    for (const std::string& name : names)
        for (const Case& c : cases) {
            SCOPED_TRACE(name + " " + std::to_string(&c - cases));
            HANDLE first = CreateFileA(name.c_str(), c.firstAccess, c.firstShare, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, first);
            // Another letter case names the same device.
            std::string upper = sim::UpperCasePath(name);
            SetLastError(0);
            HANDLE second = CreateFileA(upper.c_str(), c.secondAccess, c.secondShare, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(c.opens, second != INVALID_HANDLE_VALUE);
            if (second != INVALID_HANDLE_VALUE)
                CloseHandle(second);
            else
                EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
            CloseHandle(first);
        }
}

TEST_F(BlockingPipeTest, DeviceAndPipesAndAReattachedDeviceShareNothing)
{
    // The fixture holds the three pipes shared; an exclusive open of the
    // device itself is another object, and so is the device plugged in anew.
    HANDLE device = CreateFileA(camera->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    ASSERT_TRUE(bus.Detach(camera));
    ASSERT_TRUE(bus.Attach(camera));
    HANDLE again = CreateFileA(camera->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    CloseHandle(again);
    CloseHandle(device);
}

} // namespace
