// Files as the driver uses its device and pipes: opened twice under share
// modes, transfers that report their byte count, and reads that wait for
// data until a time-out and then fail with ERROR_SEM_TIMEOUT.
#include <cstring>

#include "contract/test_device.h"

namespace {

// GetTickCount moves in steps of up to 16 ms on Windows.
constexpr DWORD kTickSlack = 16;

struct Read {
    BOOL ok = FALSE;
    DWORD done = 0xDEADBEEF;
    DWORD error = 0;
    DWORD elapsed = 0;
    char bytes[64] = {};
};

Read ReadOnce(HANDLE pipe)
{
    Read r;
    DWORD start = GetTickCount();
    SetLastError(ERROR_SUCCESS);
    r.ok = ReadFile(pipe, r.bytes, sizeof r.bytes, &r.done, nullptr);
    r.error = r.ok ? ERROR_SUCCESS : GetLastError();
    r.elapsed = GetTickCount() - start;
    return r;
}

struct Sender {
    const contract::TimedPipe* pipe;
    DWORD delay;
    long written;
};

// Waits `delay` ms on an event that no one sets, then sends "frame".
DWORD WINAPI SendLater(LPVOID parameter)
{
    Sender* s = static_cast<Sender*>(parameter);
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Ticks of 1 ms, so that it sends at its own millisecond.
    timeBeginPeriod(1);
    WaitForSingleObject(never, s->delay);
    timeEndPeriod(1);
    CloseHandle(never);
    s->written = s->pipe->Put("frame");
    return 0;
}

} // namespace

CONTRACT_TEST(Files, EmptyPipeReadFailsWithSemTimeoutAfterItsTimeOut)
{
    const DWORD timeouts[] = {60, 250};
    for (DWORD timeout : timeouts) {
        contract::TimedPipe pipe(timeout);
        REQUIRE(pipe.Reader() != INVALID_HANDLE_VALUE);
        Read r = ReadOnce(pipe.Reader());
        CHECK(!r.ok);
        CHECK_EQ(r.error, ERROR_SEM_TIMEOUT);
        CHECK_EQ(r.done, 0); // the count is written on failure too
        CHECK(r.elapsed + kTickSlack >= timeout);
    }
}

CONTRACT_TEST(Files, DataThatIsThereIsReadAtOnceWithItsCount)
{
    contract::TimedPipe pipe(5000);
    REQUIRE(pipe.Reader() != INVALID_HANDLE_VALUE);
    CHECK_EQ(pipe.Put("reply"), 5);
    Read r = ReadOnce(pipe.Reader());
    CHECK(r.ok);
    CHECK_EQ(r.done, 5);
    CHECK(std::memcmp(r.bytes, "reply", 5) == 0);
    CHECK(r.elapsed < 1000);
}

// The reading thread is alone in waiting; the data comes from a thread that
// itself waits first, as the exposure worker does.
CONTRACT_TEST(Files, DataArrivingFromAnotherThreadEndsTheWait)
{
    contract::TimedPipe pipe(3000);
    REQUIRE(pipe.Reader() != INVALID_HANDLE_VALUE);
    Sender sender{&pipe, 100, 0};
    HANDLE thread = CreateThread(nullptr, 0, SendLater, &sender, 0, nullptr);
    REQUIRE(thread != nullptr);
    Read r = ReadOnce(pipe.Reader());
    CHECK(r.ok);
    CHECK_EQ(r.done, 5);
    CHECK(std::memcmp(r.bytes, "frame", 5) == 0);
    CHECK(r.elapsed + kTickSlack >= 100);
    CHECK(r.elapsed < 3000);
    CHECK_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CHECK_EQ(sender.written, 5);
    CHECK(CloseHandle(thread));
}

// The driver opens its device and every pipe with read and write access,
// sharing both; an object opened without sharing refuses a second open.
CONTRACT_TEST(Files, SecondOpenHonoursShareModes)
{
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    const DWORD shareRw = FILE_SHARE_READ | FILE_SHARE_WRITE;
    struct Case {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool opens;
    };
    const Case cases[] = {
        {rw, shareRw, rw, shareRw, true},
        {rw, 0, rw, shareRw, false},
        {rw, shareRw, rw, 0, false},
        {rw, FILE_SHARE_READ, rw, shareRw, false},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, shareRw, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, shareRw, false},
        {GENERIC_WRITE, shareRw, GENERIC_READ, FILE_SHARE_READ, false},
        {0, 0, rw, shareRw, true},
    };
    contract::TestDevice device;
    for (const Case& c : cases) {
        HANDLE first = CreateFileA(device.Name(), c.firstAccess, c.firstShare, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        REQUIRE(first != INVALID_HANDLE_VALUE);
        SetLastError(ERROR_SUCCESS);
        HANDLE second = CreateFileA(device.Name(), c.secondAccess, c.secondShare, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!CHECK_EQ(second != INVALID_HANDLE_VALUE, c.opens))
            std::printf("    case %d\n", static_cast<int>(&c - cases));
        if (second != INVALID_HANDLE_VALUE)
            CHECK(CloseHandle(second));
        else
            CHECK_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        CHECK(CloseHandle(first));
    }
}
