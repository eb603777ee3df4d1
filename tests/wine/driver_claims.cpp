// Device claims through the driver's own registry and claim event: within
// this process, and between two child processes that each run a copy of the
// driver, under the real kernel objects of Wine or Windows.
#include <cstdio>
#include <string>

#include "contract/harness.h"
#include "device/camera.h"
#include "device/device_registry.h"
#include "driver/module_lifecycle.h"
#include "hostsupport/memory.h"
#include "wine/camera_paths.h"
#include "wine/test_interface.h"
#include "wine/wine_program.h"

using namespace wine_tests;

namespace {

const DWORD kProcessWait = 30000;
const int kCapacity = r6odi::kPathCapacity;

// The driver attached to this program's own module for one test.
struct AttachedDriver {
    AttachedDriver() { OnProcessAttach(GetModuleHandleA(nullptr)); }
    ~AttachedDriver() { OnProcessDetach(); }
};

bool EventExists(const char* name)
{
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name);
    if (event == nullptr)
        return false;
    CloseHandle(event);
    return true;
}

bool EventExistsW(const std::string& name)
{
    std::wstring wide(name.begin(), name.end());
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, wide.c_str());
    if (event == nullptr)
        return false;
    CloseHandle(event);
    return true;
}

// What another copy of the driver would see: creating the event reports
// that it already existed. The handle is closed at once, since holding it
// would keep the claim alive.
bool CreatingFindsItExisting(const char* name)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name);
    bool existed = event != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    if (event)
        CloseHandle(event);
    return existed;
}

std::string UpperCase(const char* text)
{
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// --- Two copies of the driver in two processes --------------------------------

struct DriverClaimChild {
    char stem[64];
    HANDLE started = nullptr;
    HANDLE won = nullptr;
    HANDLE lost = nullptr;
    HANDLE release = nullptr;
    HANDLE done = nullptr;
    HANDLE goOn = nullptr;
    HANDLE process = nullptr;

    bool Start(const char* mode, const char* tail, const char* startName)
    {
        contract::UniqueName(stem, sizeof stem, "driver");
        started = CreateOne(kClaimStarted);
        won = CreateOne(kClaimWon);
        lost = CreateOne(kClaimLost);
        release = CreateOne(kClaimRelease);
        done = CreateOne(kClaimDone);
        goOn = CreateOne(kClaimGoOn);
        if (!started || !won || !lost || !release || !done || !goOn)
            return false;
        char arguments[400];
        std::snprintf(arguments, sizeof arguments, "driver-claim %s %s %s %s", mode, tail,
                      startName, stem);
        process = StartChild(arguments);
        return process != nullptr;
    }

    HANDLE CreateOne(char letter)
    {
        char name[96];
        ClaimEventName(name, sizeof name, stem, letter);
        return CreateEventA(nullptr, TRUE, FALSE, name);
    }

    bool Running() const { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

    DWORD Finish() { return WaitForChild(process, kProcessWait); }

    ~DriverClaimChild()
    {
        // A test that stopped half-way must not leave a child waiting.
        if (process && Running()) {
            TerminateProcess(process, kChildFailed + 100);
            WaitForSingleObject(process, kProcessWait);
        }
        for (HANDLE handle : {process, started, won, lost, release, done, goOn})
            if (handle)
                CloseHandle(handle);
    }
};

// Two children started at one signal, each with its own claim attempt.
struct Contest {
    char tail[48];
    char claimName[kCapacity + 1];
    char startName[64];
    HANDLE start = nullptr;
    DriverClaimChild child[2];
    int winner = -1;

    ~Contest()
    {
        if (start)
            CloseHandle(start);
    }

    // True when both children have tried and exactly one of them won.
    bool Run(const char* mode)
    {
        UniqueSerialTail(tail, sizeof tail);
        CameraClaimName(claimName, sizeof claimName, tail);
        contract::UniqueName(startName, sizeof startName, "start");
        start = CreateEventA(nullptr, TRUE, FALSE, startName);
        if (!start || !child[0].Start(mode, tail, startName) ||
            !child[1].Start(mode, tail, startName))
            return false;
        // Both are attached and waiting before either may claim.
        HANDLE started[2] = {child[0].started, child[1].started};
        if (WaitForMultipleObjects(2, started, TRUE, kProcessWait) != WAIT_OBJECT_0)
            return false;
        SetEvent(start);
        bool won[2];
        for (int i = 0; i < 2; ++i) {
            HANDLE outcome[2] = {child[i].won, child[i].lost};
            DWORD which = WaitForMultipleObjects(2, outcome, FALSE, kProcessWait);
            if (which != WAIT_OBJECT_0 && which != WAIT_OBJECT_0 + 1)
                return false;
            won[i] = which == WAIT_OBJECT_0;
        }
        if (won[0] == won[1])
            return false;
        winner = won[0] ? 0 : 1;
        return true;
    }

    DriverClaimChild& Winner() { return child[winner]; }
    DriverClaimChild& Loser() { return child[1 - winner]; }
};

// The claim event exists under its documented name while the winner holds.
void CheckHeldUnderItsName(const Contest& contest)
{
    CHECK(EventExists(contest.claimName));
    CHECK(CreatingFindsItExisting(contest.claimName));
}

// After the winner gave the claim up, the loser is let go and must claim.
void CheckLoserClaimsNow(Contest& contest)
{
    CHECK(!EventExists(contest.claimName));
    CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    CHECK(SetEvent(contest.Loser().goOn));
    CHECK_EQ(contest.Loser().Finish(), kChildWaitedAndClaimed);
}

// The winner gives up by `mode` ("release" or "detach") and stays alive.
void ContestWithWinnerAlive(const char* mode)
{
    Contest contest;
    REQUIRE(contest.Run(mode));
    CheckHeldUnderItsName(contest);

    CHECK(SetEvent(contest.Winner().release));
    REQUIRE(WaitForSingleObject(contest.Winner().done, kProcessWait) == WAIT_OBJECT_0);
    CheckLoserClaimsNow(contest);
    // The claim went with the winner's release, not with its process.
    CHECK(contest.Winner().Running());
    CHECK(SetEvent(contest.Winner().goOn));
    CHECK_EQ(contest.Winner().Finish(), kChildWon);
    CHECK(!EventExists(contest.claimName));
}

} // namespace

// --- One process ---------------------------------------------------------------

CONTRACT_TEST(Claims, SecondClaimOfAPathInOneProcessIsRefused)
{
    char tail[48];
    char path[kCapacity + 1];
    char name[kCapacity + 1];
    UniqueSerialTail(tail, sizeof tail);
    CameraDevicePath(path, sizeof path, tail);
    CameraClaimName(name, sizeof name, tail);
    AttachedDriver driver;

    CHECK(r6odi::ClaimDevice(kCapacity, path));
    CHECK(EventExists(name));
    CHECK(!r6odi::ClaimDevice(kCapacity, path));
    // The connection upper-cases its path after claiming; the registry must
    // still know it, and release it under that spelling.
    std::string upper = UpperCase(path);
    CHECK(!r6odi::ClaimDevice(kCapacity, upper.c_str()));
    r6odi::ReleaseDevice(kCapacity, upper.c_str());
    CHECK(!EventExists(name));

    CHECK(r6odi::ClaimDevice(kCapacity, path));
    r6odi::ReleaseDevice(kCapacity, path);
    CHECK(!EventExists(name));
}

CONTRACT_TEST(Claims, ProcessDetachGivesBackTheClaimsLeft)
{
    char tail[48];
    char path[kCapacity + 1];
    char name[kCapacity + 1];
    UniqueSerialTail(tail, sizeof tail);
    CameraDevicePath(path, sizeof path, tail);
    CameraClaimName(name, sizeof name, tail);
    {
        AttachedDriver driver;
        REQUIRE(r6odi::ClaimDevice(kCapacity, path));
        CHECK(EventExists(name));
    }
    CHECK(!EventExists(name));
    // A second attach starts from an empty registry.
    AttachedDriver again;
    CHECK(r6odi::ClaimDevice(kCapacity, path));
    r6odi::ReleaseDevice(kCapacity, path);
}

CONTRACT_TEST(Claims, NameReplacesColonBackslashAndQuestionMark)
{
    char tail[48];
    UniqueSerialTail(tail, sizeof tail);
    std::string path = std::string("\\\\?\\root:cam\\") + tail + "?a:b";
    std::string name = std::string("K6_____root_cam_") + tail + "_a_b";
    AttachedDriver driver;
    REQUIRE(r6odi::ClaimDevice(kCapacity, path.c_str()));
    CHECK(EventExists(name.c_str()));
    r6odi::ReleaseDevice(kCapacity, path.c_str());
    CHECK(!EventExists(name.c_str()));
}

// The name is "K6_" and the path, cut at 260 characters in all. Wine's ANSI
// object functions take at most 259 characters (a MAX_PATH buffer with its
// terminator), Windows' take 260; so where a 260-character name is refused,
// a path that long cannot be claimed at all, and the test checks that no
// shorter name took its place.
CONTRACT_TEST(Claims, NameOfALongPathIsCutAt260Characters)
{
    char tail[48];
    UniqueSerialTail(tail, sizeof tail);
    // "\\?\" and the tail, filled to `length` characters.
    auto pathOf = [&](size_t length, char fill) {
        std::string path = std::string("\\\\?\\") + tail + "_";
        path.resize(length, fill);
        return path;
    };
    auto nameOf = [](const std::string& path) { return "K6_____" + path.substr(4); };
    AttachedDriver driver;

    // 256 characters: a name of 259, whole.
    std::string fits = pathOf(256, 'f');
    REQUIRE(nameOf(fits).size() == 259);
    CHECK(r6odi::ClaimDevice(kCapacity, fits.c_str()));
    CHECK(EventExists(nameOf(fits).c_str()));
    r6odi::ReleaseDevice(kCapacity, fits.c_str());

    std::string probe = nameOf(pathOf(257, 'p'));
    REQUIRE(probe.size() == 260);
    HANDLE probeEvent = CreateEventA(nullptr, FALSE, FALSE, probe.c_str());
    bool takes260 = probeEvent != nullptr;
    if (probeEvent)
        CloseHandle(probeEvent);
    else
        std::printf("  note: CreateEventA refuses a 260-character name here (error %lu)\n",
                    static_cast<unsigned long>(GetLastError()));

    // 258 characters: 261 uncut, 260 cut. A second path that differs only
    // beyond the cut falls on the same event.
    std::string longPath = pathOf(258, 'x');
    std::string twin = longPath.substr(0, 257) + "y";
    std::string cut = nameOf(longPath).substr(0, 260);
    std::string uncut = nameOf(longPath);
    REQUIRE(uncut.size() == 261);
    bool claimed = r6odi::ClaimDevice(kCapacity, longPath.c_str());
    CHECK_EQ(claimed, takes260);
    if (takes260) {
        CHECK(EventExistsW(cut));
        CHECK(!EventExistsW(uncut));
        CHECK(!r6odi::ClaimDevice(kCapacity, twin.c_str()));
        r6odi::ReleaseDevice(kCapacity, longPath.c_str());
        CHECK(!EventExistsW(cut));
    } else {
        CHECK(!EventExistsW(cut));
        CHECK(!EventExistsW(cut.substr(0, 259)));
        CHECK(!EventExistsW(uncut));
    }
}

// --- Two processes ---------------------------------------------------------------

CONTRACT_TEST(Claims, LoserClaimsOnceTheWinnerReleases)
{
    ContestWithWinnerAlive("release");
}

CONTRACT_TEST(Claims, LoserClaimsOnceTheWinnerDetaches)
{
    ContestWithWinnerAlive("detach");
}

CONTRACT_TEST(Claims, LoserClaimsOnceTheWinnerHasEnded)
{
    Contest contest;
    REQUIRE(contest.Run("keep"));
    CheckHeldUnderItsName(contest);
    CHECK(SetEvent(contest.Winner().release));
    CHECK_EQ(contest.Winner().Finish(), kChildWon);
    CheckLoserClaimsNow(contest);
}

CONTRACT_TEST(Claims, LoserClaimsOnceTheWinnerIsKilled)
{
    Contest contest;
    REQUIRE(contest.Run("keep"));
    CheckHeldUnderItsName(contest);
    // A host that crashes holding the camera must not keep it claimed.
    CHECK(TerminateProcess(contest.Winner().process, 99));
    CHECK_EQ(contest.Winner().Finish(), 99);
    CheckLoserClaimsNow(contest);
}

// Three objects: one holds the claim on a device, a second camera object
// searches, looks at that device, cannot open it and so finds nothing, and
// gives up. Its CloseDevice must not release the first one's claim: a third
// copy of the driver, in another process, must still be refused.
CONTRACT_TEST(Claims, SearchThatFindsNothingLeavesTheHoldersClaimToIt)
{
    AttachedDriver driver;
    TestInterface device;
    REQUIRE(device.Present());
    REQUIRE(r6odi::ClaimDevice(kCapacity, device.Path()));

    r6odi::CCamera* searcher = hostsupport::New<r6odi::CCamera>();
    REQUIRE(searcher != nullptr);
    searcher->OpenDevice();
    CHECK(!searcher->IsConnected());
    CHECK_EQ(searcher->devicePath[0], '\0');
    searcher->CloseDevice();
    searcher->Release();
    hostsupport::Delete(searcher);

    CHECK(!r6odi::ClaimDevice(kCapacity, device.Path()));
    char arguments[400];
    std::snprintf(arguments, sizeof arguments, "driver-claim-path %s", device.Path());
    HANDLE third = StartChild(arguments);
    REQUIRE(third != nullptr);
    CHECK_EQ(WaitForChild(third, kProcessWait), kChildLostForGood);
    CloseHandle(third);

    // Once the holder lets go, the other process may claim it.
    r6odi::ReleaseDevice(kCapacity, device.Path());
    third = StartChild(arguments);
    REQUIRE(third != nullptr);
    CHECK_EQ(WaitForChild(third, kProcessWait), kChildWon);
    CloseHandle(third);
}
