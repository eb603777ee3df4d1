// Events: named ones as the cross-process claim uses them, unnamed ones as
// the exposure worker waits on them, and the zero time-out poll.
#include "contract/harness.h"

CONTRACT_TEST(Events, NamedEventIsNewThenAlreadyExists)
{
    char name[64];
    contract::UniqueName(name, sizeof name, "claim");

    SetLastError(ERROR_INVALID_DATA);
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, name);
    REQUIRE(first != nullptr);
    // The claim takes a zero last error as "the event is mine": creation
    // must clear it, not merely leave it alone.
    CHECK_EQ(GetLastError(), ERROR_SUCCESS);

    HANDLE second = CreateEventA(nullptr, FALSE, FALSE, name);
    REQUIRE(second != nullptr);
    CHECK_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CHECK(second != first);

    CHECK(CloseHandle(second));
    CHECK(CloseHandle(first));
}

CONTRACT_TEST(Events, HandlesOfOneNameShareTheObject)
{
    char name[64];
    contract::UniqueName(name, sizeof name, "shared");
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, name);
    HANDLE second = CreateEventA(nullptr, FALSE, FALSE, name);
    REQUIRE(first != nullptr && second != nullptr);

    CHECK(SetEvent(second));
    CHECK_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    // Auto-reset: the wait on the first handle consumed the one signal.
    CHECK_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);

    CHECK(CloseHandle(first));
    CHECK(CloseHandle(second));
}

CONTRACT_TEST(Events, ExistingNameIgnoresTheInitialState)
{
    char name[64];
    contract::UniqueName(name, sizeof name, "initial");
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, name);
    HANDLE second = CreateEventA(nullptr, FALSE, TRUE, name);
    REQUIRE(first != nullptr && second != nullptr);
    CHECK_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);
    CHECK(CloseHandle(first));
    CHECK(CloseHandle(second));
}

CONTRACT_TEST(Events, NameIsFreeAgainAfterTheLastHandle)
{
    char name[64];
    contract::UniqueName(name, sizeof name, "released");
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, name);
    REQUIRE(first != nullptr);
    CHECK(CloseHandle(first));

    SetLastError(ERROR_INVALID_DATA);
    HANDLE again = CreateEventA(nullptr, FALSE, FALSE, name);
    REQUIRE(again != nullptr);
    CHECK_EQ(GetLastError(), ERROR_SUCCESS);
    CHECK(CloseHandle(again));
}

CONTRACT_TEST(Events, AutoResetEventReleasesOneWait)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    REQUIRE(event != nullptr);
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CHECK(SetEvent(event));
    CHECK(SetEvent(event)); // signals do not add up
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CHECK(CloseHandle(event));

    HANDLE signalled = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    REQUIRE(signalled != nullptr);
    CHECK_EQ(WaitForSingleObject(signalled, 0), WAIT_OBJECT_0);
    CHECK_EQ(WaitForSingleObject(signalled, 0), WAIT_TIMEOUT);
    CHECK(CloseHandle(signalled));
}

CONTRACT_TEST(Events, ManualResetEventStaysSignalled)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(event != nullptr);
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CHECK(SetEvent(event));
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CHECK(ResetEvent(event));
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CHECK(CloseHandle(event));
}

CONTRACT_TEST(Events, UnnamedEventsAreDistinct)
{
    HANDLE a = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE b = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(a != nullptr && b != nullptr);
    CHECK(SetEvent(a));
    CHECK_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
    CHECK(CloseHandle(a));
    CHECK(CloseHandle(b));
}

CONTRACT_TEST(Handles, ClosingAClosedHandleFails)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(event != nullptr);
    CHECK(CloseHandle(event));
    // Nothing in this thread creates a handle in between, and the tests run
    // no other thread at this point, so the value cannot have been reused.
    SetLastError(ERROR_SUCCESS);
    CHECK(!CloseHandle(event));
    CHECK_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}
