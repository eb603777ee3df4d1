// Threads, timed waits and critical sections: what the exposure worker and
// the device registry rely on.
#include "contract/harness.h"

namespace {

struct TimedWait {
    HANDLE event;
    DWORD timeout;
    DWORD result;
};

DWORD WINAPI WaitWithTimeout(LPVOID parameter)
{
    auto* wait = static_cast<TimedWait*>(parameter);
    wait->result = WaitForSingleObject(wait->event, wait->timeout);
    return 0;
}

DWORD WINAPI ReturnFortyTwo(LPVOID)
{
    return 42;
}

DWORD WINAPI WaitForEventThenReturn(LPVOID parameter)
{
    WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE);
    return 7;
}

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, void* parameter)
{
    DWORD id = 0;
    return CreateThread(nullptr, 0, routine, parameter, 0, &id);
}

} // namespace

CONTRACT_TEST(Waits, TimedWaitEndsWithTimeout)
{
    TimedWait wait{CreateEventA(nullptr, FALSE, FALSE, nullptr), 50, 0xDEAD};
    REQUIRE(wait.event != nullptr);
    HANDLE thread = StartThread(WaitWithTimeout, &wait);
    REQUIRE(thread != nullptr);

    contract::LetTimePass(100);
    CHECK_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CHECK_EQ(wait.result, WAIT_TIMEOUT);

    CHECK(CloseHandle(thread));
    CHECK(CloseHandle(wait.event));
}

CONTRACT_TEST(Waits, TimedWaitEndsEarlyWhenSignalled)
{
    TimedWait wait{CreateEventA(nullptr, FALSE, FALSE, nullptr), 60000, 0xDEAD};
    REQUIRE(wait.event != nullptr);
    HANDLE thread = StartThread(WaitWithTimeout, &wait);
    REQUIRE(thread != nullptr);

    // Well short of the time-out the waiter must still be waiting.
    contract::LetTimePass(50);
    CHECK_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);

    CHECK(SetEvent(wait.event));
    CHECK_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CHECK_EQ(wait.result, WAIT_OBJECT_0);
    // The satisfied wait consumed the auto-reset signal.
    CHECK_EQ(WaitForSingleObject(wait.event, 0), WAIT_TIMEOUT);

    CHECK(CloseHandle(thread));
    CHECK(CloseHandle(wait.event));
}

// The exposure worker times an exposure from the moment its commands went
// out, by the performance counter: it must count forward at a fixed rate
// that time passing shows.
CONTRACT_TEST(Waits, PerformanceCounterFollowsTheClock)
{
    LARGE_INTEGER frequency, before, after;
    REQUIRE(QueryPerformanceFrequency(&frequency));
    REQUIRE(frequency.QuadPart >= 1000);
    REQUIRE(QueryPerformanceCounter(&before));
    contract::LetTimePass(50);
    REQUIRE(QueryPerformanceCounter(&after));
    CHECK(after.QuadPart - before.QuadPart >= frequency.QuadPart * 50 / 1000);
}

CONTRACT_TEST(Threads, EndIsSeenByAZeroTimeoutWait)
{
    HANDLE thread = StartThread(ReturnFortyTwo, nullptr);
    REQUIRE(thread != nullptr);
    CHECK_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    // A thread stays signalled: every later poll sees its end.
    CHECK_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CHECK_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    DWORD code = 0;
    CHECK(GetExitCodeThread(thread, &code));
    CHECK_EQ(code, 42u);
    CHECK(CloseHandle(thread));
}

CONTRACT_TEST(Threads, RunningThreadIsStillActive)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(release != nullptr);
    HANDLE thread = StartThread(WaitForEventThenReturn, release);
    REQUIRE(thread != nullptr);

    DWORD code = 0;
    CHECK(GetExitCodeThread(thread, &code));
    CHECK_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    CHECK_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);

    CHECK(SetEvent(release));
    CHECK_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CHECK(GetExitCodeThread(thread, &code));
    CHECK_EQ(code, 7u);
    CHECK(CloseHandle(thread));
    CHECK(CloseHandle(release));
}

CONTRACT_TEST(Threads, HighestPriorityIsSetAndReadBack)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(release != nullptr);
    HANDLE thread = StartThread(WaitForEventThenReturn, release);
    REQUIRE(thread != nullptr);

    CHECK_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
    CHECK(SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST));
    CHECK_EQ(GetThreadPriority(thread), THREAD_PRIORITY_HIGHEST);

    CHECK(SetEvent(release));
    CHECK_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CHECK(CloseHandle(thread));
    CHECK(CloseHandle(release));
}

namespace {

struct Guarded {
    CRITICAL_SECTION section;
    HANDLE started;
    int value;
    int seenByWorker;
};

DWORD WINAPI ReadUnderLock(LPVOID parameter)
{
    auto* guarded = static_cast<Guarded*>(parameter);
    SetEvent(guarded->started);
    EnterCriticalSection(&guarded->section);
    guarded->seenByWorker = guarded->value;
    LeaveCriticalSection(&guarded->section);
    return 0;
}

} // namespace

CONTRACT_TEST(CriticalSections, RecursiveForTheOwner)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);

    // Both levels are given back: another thread gets the section.
    Guarded guarded{};
    InitializeCriticalSection(&guarded.section);
    guarded.started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(guarded.started != nullptr);
    guarded.value = 5;
    HANDLE thread = StartThread(ReadUnderLock, &guarded);
    REQUIRE(thread != nullptr);
    CHECK_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CHECK_EQ(guarded.seenByWorker, 5);

    CHECK(CloseHandle(thread));
    CHECK(CloseHandle(guarded.started));
    DeleteCriticalSection(&guarded.section);
    DeleteCriticalSection(&section);
}

CONTRACT_TEST(CriticalSections, ExcludeOtherThreads)
{
    Guarded guarded{};
    InitializeCriticalSection(&guarded.section);
    guarded.started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(guarded.started != nullptr);
    guarded.value = 1;
    guarded.seenByWorker = 0;

    EnterCriticalSection(&guarded.section);
    HANDLE thread = StartThread(ReadUnderLock, &guarded);
    REQUIRE(thread != nullptr);
    CHECK_EQ(WaitForSingleObject(guarded.started, INFINITE), WAIT_OBJECT_0);
    // The worker is at (or in) EnterCriticalSection and must not get past it
    // before the value is final.
    guarded.value = 2;
    CHECK_EQ(guarded.seenByWorker, 0);
    LeaveCriticalSection(&guarded.section);

    CHECK_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CHECK_EQ(guarded.seenByWorker, 2);
    CHECK(CloseHandle(thread));
    CHECK(CloseHandle(guarded.started));
    DeleteCriticalSection(&guarded.section);
}
