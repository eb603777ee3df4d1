// Overlapped reads as the driver bounds its pipe reads with them: a read
// that waits is pending with its event reset, completes into its OVERLAPPED
// and event when data comes, can be cancelled and then completes as
// aborted, and what comes after a cancel stays for the next read.
#include <cstring>

#include "contract/test_device.h"

namespace {

// GetTickCount moves in steps of up to 16 ms on Windows.
constexpr DWORD kTickSlack = 16;

struct PendingRead {
    OVERLAPPED overlapped = {};
    char bytes[64] = {};
    BOOL started = FALSE;
    DWORD error = 0;

    explicit PendingRead(HANDLE event) { overlapped.hEvent = event; }
    void Start(HANDLE pipe)
    {
        SetLastError(ERROR_SUCCESS);
        started = ReadFile(pipe, bytes, sizeof bytes, nullptr, &overlapped);
        error = started ? ERROR_SUCCESS : GetLastError();
    }
};

struct Sender {
    const contract::AsyncPipe* pipe;
    DWORD delay;
    const char* message;
    long written;
};

// Waits `delay` ms on an event that no one sets, then sends the message.
DWORD WINAPI SendLater(LPVOID parameter)
{
    Sender* s = static_cast<Sender*>(parameter);
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WaitForSingleObject(never, s->delay);
    CloseHandle(never);
    s->written = s->pipe->Put(s->message);
    return 0;
}

void CheckPending(PendingRead& read, HANDLE pipe, HANDLE event)
{
    CHECK(!read.started);
    CHECK_EQ(read.error, ERROR_IO_PENDING);
    CHECK(!HasOverlappedIoCompleted(&read.overlapped));
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT); // reset by the start
    DWORD count = 0xDEADBEEF;
    SetLastError(ERROR_SUCCESS);
    CHECK(!GetOverlappedResult(pipe, &read.overlapped, &count, FALSE));
    CHECK_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
}

} // namespace

CONTRACT_TEST(Overlapped, ReadIsPendingUntilDataComesThenCompletesIntoItsEvent)
{
    contract::AsyncPipe pipe;
    REQUIRE(pipe.Reader() != INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    REQUIRE(event != nullptr);
    PendingRead read(event);
    read.Start(pipe.Reader());
    CheckPending(read, pipe.Reader(), event);

    Sender sender{&pipe, 100, "frame", 0};
    DWORD start = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, SendLater, &sender, 0, nullptr);
    REQUIRE(thread != nullptr);
    CHECK_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    DWORD elapsed = GetTickCount() - start;
    CHECK(elapsed + kTickSlack >= 100);
    CHECK(elapsed < 5000);
    DWORD count = 0;
    CHECK(GetOverlappedResult(pipe.Reader(), &read.overlapped, &count, FALSE));
    CHECK_EQ(count, 5);
    CHECK_EQ(read.overlapped.Internal, 0);
    CHECK_EQ(read.overlapped.InternalHigh, 5);
    CHECK(std::memcmp(read.bytes, "frame", 5) == 0);
    CHECK_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CHECK_EQ(sender.written, 5);
    CHECK(CloseHandle(thread));
    CHECK(CloseHandle(event));
}

CONTRACT_TEST(Overlapped, ReadOfDataThatIsThereCompletesAtOnce)
{
    contract::AsyncPipe pipe;
    REQUIRE(pipe.Reader() != INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(event != nullptr);
    CHECK_EQ(pipe.Put("reply"), 5);
    PendingRead read(event);
    read.Start(pipe.Reader());
    CHECK(read.started);
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    DWORD count = 0;
    CHECK(GetOverlappedResult(pipe.Reader(), &read.overlapped, &count, TRUE));
    CHECK_EQ(count, 5);
    CHECK(std::memcmp(read.bytes, "reply", 5) == 0);
    CHECK(CloseHandle(event));
}

// What the driver does when a read runs out of time: cancel, wait for the
// end, and find the late data in the pipe for the next read.
CONTRACT_TEST(Overlapped, CancelledReadCompletesAbortedAndLateDataStaysForTheNextRead)
{
    contract::AsyncPipe pipe;
    REQUIRE(pipe.Reader() != INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(event != nullptr);
    PendingRead read(event);
    read.Start(pipe.Reader());
    CheckPending(read, pipe.Reader(), event);
    DWORD start = GetTickCount();
    CHECK_EQ(WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    CHECK(GetTickCount() - start + kTickSlack >= 100);
    CHECK(CancelIoEx(pipe.Reader(), &read.overlapped));
    DWORD count = 0xDEADBEEF;
    SetLastError(ERROR_SUCCESS);
    CHECK(!GetOverlappedResult(pipe.Reader(), &read.overlapped, &count, TRUE));
    CHECK_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    CHECK_EQ(count, 0);
    CHECK(HasOverlappedIoCompleted(&read.overlapped));
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    // Nothing left to cancel.
    SetLastError(ERROR_SUCCESS);
    CHECK(!CancelIoEx(pipe.Reader(), &read.overlapped));
    CHECK_EQ(GetLastError(), ERROR_NOT_FOUND);

    CHECK_EQ(pipe.Put("late"), 4);
    PendingRead next(event);
    next.Start(pipe.Reader());
    CHECK(GetOverlappedResult(pipe.Reader(), &next.overlapped, &count, TRUE));
    CHECK_EQ(count, 4);
    CHECK(std::memcmp(next.bytes, "late", 4) == 0);
    CHECK(CloseHandle(event));
}
