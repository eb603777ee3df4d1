// Named events between real processes, the way two copies of the driver
// contend for one device through its claim event.
#include <cstdio>

#include "contract/harness.h"
#include "wine/wine_program.h"

using namespace wine_tests;

namespace {

const DWORD kProcessWait = 30000;

// The events through which a test steers one child playing "claim".
struct ClaimChild {
    char started[64];
    char ready[64];
    HANDLE startedEvent = nullptr;
    HANDLE readyEvent = nullptr;
    HANDLE process = nullptr;

    bool Start(const char* claim, const char* go, const char* release)
    {
        contract::UniqueName(started, sizeof started, "started");
        contract::UniqueName(ready, sizeof ready, "ready");
        startedEvent = CreateEventA(nullptr, TRUE, FALSE, started);
        readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready);
        if (!startedEvent || !readyEvent)
            return false;
        char arguments[400];
        std::snprintf(arguments, sizeof arguments, "claim %s %s %s %s %s", claim, started, go,
                      ready, release);
        process = StartChild(arguments);
        return process != nullptr;
    }
    ~ClaimChild()
    {
        if (process)
            CloseHandle(process);
        if (startedEvent)
            CloseHandle(startedEvent);
        if (readyEvent)
            CloseHandle(readyEvent);
    }
};

struct Steering {
    char go[64];
    char release[64];
    HANDLE goEvent;
    HANDLE releaseEvent;

    Steering()
    {
        contract::UniqueName(go, sizeof go, "go");
        contract::UniqueName(release, sizeof release, "release");
        goEvent = CreateEventA(nullptr, TRUE, FALSE, go);
        releaseEvent = CreateEventA(nullptr, TRUE, FALSE, release);
    }
    ~Steering()
    {
        if (goEvent)
            CloseHandle(goEvent);
        if (releaseEvent)
            CloseHandle(releaseEvent);
    }
};

// Creates the claim event as the driver does: true when it was new. The
// handle of an event that already existed is closed at once.
bool TryClaim(const char* name, HANDLE* held)
{
    *held = CreateEventA(nullptr, FALSE, FALSE, name);
    if (*held && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(*held);
        *held = nullptr;
    }
    return *held != nullptr;
}

} // namespace

CONTRACT_TEST(Processes, ChildSeesTheParentsEventAsExisting)
{
    char name[64];
    contract::UniqueName(name, sizeof name, "claim");
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name);
    REQUIRE(event != nullptr);
    char arguments[128];
    std::snprintf(arguments, sizeof arguments, "open-existing %s", name);
    HANDLE child = StartChild(arguments);
    REQUIRE(child != nullptr);
    CHECK_EQ(WaitForChild(child, kProcessWait), kChildFoundExisting);
    // The child signalled its own handle: it is the same object.
    CHECK_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CHECK(CloseHandle(child));
    CHECK(CloseHandle(event));
}

CONTRACT_TEST(Processes, ExitCodeOfAChildReachesTheParent)
{
    char name[64];
    contract::UniqueName(name, sizeof name, "fresh");
    char arguments[128];
    std::snprintf(arguments, sizeof arguments, "open-existing %s", name);
    HANDLE child = StartChild(arguments);
    REQUIRE(child != nullptr);
    CHECK_EQ(WaitForChild(child, kProcessWait), kChildFoundNew);
    CHECK(CloseHandle(child));

    HANDLE lost = StartChild("no-such-role");
    REQUIRE(lost != nullptr);
    CHECK_EQ(WaitForChild(lost, kProcessWait), kChildFailed);
    CHECK(CloseHandle(lost));
}

CONTRACT_TEST(Processes, ClaimHeldElsewhereEndsWithItsProcess)
{
    char claim[64];
    contract::UniqueName(claim, sizeof claim, "claim");
    Steering steering;
    REQUIRE(steering.goEvent && steering.releaseEvent);
    ClaimChild holder;
    REQUIRE(holder.Start(claim, steering.go, steering.release));
    CHECK(SetEvent(steering.goEvent));
    REQUIRE(WaitForSingleObject(holder.readyEvent, kProcessWait) == WAIT_OBJECT_0);

    HANDLE held = nullptr;
    CHECK(!TryClaim(claim, &held));

    CHECK(SetEvent(steering.releaseEvent));
    CHECK_EQ(WaitForChild(holder.process, kProcessWait), kChildFoundNew);
    // The holder never closed its handle; its end did.
    CHECK(TryClaim(claim, &held));
    if (held)
        CHECK(CloseHandle(held));
}

CONTRACT_TEST(Processes, ExactlyOneOfTwoContendersGetsTheClaim)
{
    char claim[64];
    contract::UniqueName(claim, sizeof claim, "claim");
    Steering steering;
    REQUIRE(steering.goEvent && steering.releaseEvent);
    ClaimChild first;
    ClaimChild second;
    REQUIRE(first.Start(claim, steering.go, steering.release));
    REQUIRE(second.Start(claim, steering.go, steering.release));

    // Both are waiting at the start line before either may claim.
    HANDLE started[2] = {first.startedEvent, second.startedEvent};
    REQUIRE(WaitForMultipleObjects(2, started, TRUE, kProcessWait) == WAIT_OBJECT_0);
    CHECK(SetEvent(steering.goEvent));
    HANDLE ready[2] = {first.readyEvent, second.readyEvent};
    REQUIRE(WaitForMultipleObjects(2, ready, TRUE, kProcessWait) == WAIT_OBJECT_0);

    // While both hold their handles nobody else gets it either.
    HANDLE held = nullptr;
    CHECK(!TryClaim(claim, &held));

    CHECK(SetEvent(steering.releaseEvent));
    DWORD a = WaitForChild(first.process, kProcessWait);
    DWORD b = WaitForChild(second.process, kProcessWait);
    CHECK((a == kChildFoundNew && b == kChildFoundExisting) ||
          (a == kChildFoundExisting && b == kChildFoundNew));
    if (a != kChildFoundNew && a != kChildFoundExisting)
        CHECK_EQ(a, kChildFoundNew);
    if (b != kChildFoundNew && b != kChildFoundExisting)
        CHECK_EQ(b, kChildFoundNew);
}
