// The child that plays one copy of the driver contending for a device: its
// process attaches the driver's code to its own module, as the loader would
// attach the DLL, and claims through the driver's registry and claim event.
#include <cstdio>
#include <cstring>

#include "device/device_registry.h"
#include "driver/module_lifecycle.h"
#include "wine/camera_paths.h"
#include "wine/wine_program.h"

namespace wine_tests {
namespace {

// Bounded, so that a parent that went wrong cannot leave children behind.
const DWORD kChildWait = 30000;

enum class GiveUp { kRelease, kDetach, kKeep, kUnknown };

GiveUp ParseGiveUp(const char* mode)
{
    if (std::strcmp(mode, "release") == 0)
        return GiveUp::kRelease;
    if (std::strcmp(mode, "detach") == 0)
        return GiveUp::kDetach;
    if (std::strcmp(mode, "keep") == 0)
        return GiveUp::kKeep;
    return GiveUp::kUnknown;
}

struct ClaimEvents {
    HANDLE start = nullptr;
    HANDLE started = nullptr;
    HANDLE won = nullptr;
    HANDLE lost = nullptr;
    HANDLE release = nullptr;
    HANDLE done = nullptr;
    HANDLE goOn = nullptr;

    bool Open(const char* startName, const char* stem)
    {
        start = OpenParentsEvent(startName);
        started = OpenOne(stem, kClaimStarted);
        won = OpenOne(stem, kClaimWon);
        lost = OpenOne(stem, kClaimLost);
        release = OpenOne(stem, kClaimRelease);
        done = OpenOne(stem, kClaimDone);
        goOn = OpenOne(stem, kClaimGoOn);
        return start && started && won && lost && release && done && goOn;
    }

    static HANDLE OpenOne(const char* stem, char letter)
    {
        char name[96];
        ClaimEventName(name, sizeof name, stem, letter);
        return OpenParentsEvent(name);
    }
};

bool WaitFor(HANDLE event) { return WaitForSingleObject(event, kChildWait) == WAIT_OBJECT_0; }

// Holds the claim until the parent says, then gives it up the way `mode`
// says. Returns the exit code; *attached is cleared when detach already ran.
int PlayWinner(const ClaimEvents& events, GiveUp mode, const char* path, bool* attached)
{
    SetEvent(events.won);
    if (!WaitFor(events.release))
        return kChildFailed;
    if (mode == GiveUp::kKeep)
        return kChildWon; // the claim ends with the process, or the parent ends it
    if (mode == GiveUp::kRelease) {
        r6odi::ReleaseDevice(r6odi::kPathCapacity, path);
    } else {
        OnProcessDetach();
        *attached = false;
    }
    SetEvent(events.done);
    // Alive until the loser has claimed: the claim must have ended with the
    // release and not with this process.
    return WaitFor(events.goOn) ? kChildWon : kChildFailed;
}

// Refused once; a second attempt while the winner holds must be refused
// too. After the parent's word the claim must succeed.
int PlayLoser(const ClaimEvents& events, const char* path)
{
    bool claimedWhileHeld = r6odi::ClaimDevice(r6odi::kPathCapacity, path);
    SetEvent(events.lost);
    if (!WaitFor(events.goOn))
        return kChildFailed;
    if (claimedWhileHeld)
        return kChildClaimedWhileHeld;
    if (!r6odi::ClaimDevice(r6odi::kPathCapacity, path))
        return kChildLostForGood;
    r6odi::ReleaseDevice(r6odi::kPathCapacity, path);
    return kChildWaitedAndClaimed;
}

} // namespace

void ClaimEventName(char* buffer, size_t size, const char* stem, char letter)
{
    std::snprintf(buffer, size, "%s_%c", stem, letter);
}

int RunDriverClaimChild(char** arguments)
{
    GiveUp mode = ParseGiveUp(arguments[0]);
    ClaimEvents events;
    if (mode == GiveUp::kUnknown || !events.Open(arguments[2], arguments[3]))
        return kChildFailed;
    char path[r6odi::kPathCapacity + 1];
    CameraDevicePath(path, sizeof path, arguments[1]);

    OnProcessAttach(GetModuleHandleA(nullptr));
    bool attached = true;
    SetEvent(events.started);
    int result = kChildFailed;
    if (WaitFor(events.start)) {
        if (r6odi::ClaimDevice(r6odi::kPathCapacity, path))
            result = PlayWinner(events, mode, path, &attached);
        else
            result = PlayLoser(events, path);
    }
    // A winner that keeps its claim leaves it to the end of the process.
    if (attached && !(result == kChildWon && mode == GiveUp::kKeep))
        OnProcessDetach();
    return result; // the parent's events are closed by the end of the process
}

int RunDriverClaimPathChild(char** arguments)
{
    OnProcessAttach(GetModuleHandleA(nullptr));
    bool claimed = r6odi::ClaimDevice(r6odi::kPathCapacity, arguments[0]);
    if (claimed)
        r6odi::ReleaseDevice(r6odi::kPathCapacity, arguments[0]);
    OnProcessDetach();
    return claimed ? kChildWon : kChildLostForGood;
}

} // namespace wine_tests
