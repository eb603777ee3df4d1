// What the Windows-only test program knows about how it was started: the
// driver DLL it is to load and the way to start a copy of itself as a
// child process with a role.
#pragma once

#include <cstddef>

#include "platform/win32.h"

namespace wine_tests {

// The path given with --driver, or null.
const char* DriverPath();
void SetDriverPath(const char* path);

// Exit codes of a child process.
enum ChildResult : DWORD {
    kChildFoundNew = 10,      // the event it created was new
    kChildFoundExisting = 11, // it already existed
    kChildFailed = 12,        // something it needed was missing or timed out
    // A copy of the driver contending for a device ("driver-claim"):
    kChildWon = 20,              // it claimed the device and gave it up when told
    kChildWaitedAndClaimed = 21, // refused while the other held it, claimed after
    kChildClaimedWhileHeld = 22, // a second attempt succeeded although the other held it
    kChildLostForGood = 23,      // still refused after the other had given it up
    // Copies of the driver on a pipe camera (camera_listing.cpp):
    kChildFrameWrong = 24, // a frame was refused, or a pixel of it wrong
    kChildListWrong = 25,  // the camera list was not the free camera alone
};

// How a winning "driver-claim" child gives its claim up when told.
//   release  ReleaseDevice, then it waits to be let go
//   detach   OnProcessDetach (the registry takes its claims with it), then waits
//   keep     it ends its process holding the claim, or is ended by the parent
// "<stem>_<letter>" names the manual-reset events the parent creates for one
// such child; the letters follow.
constexpr char kClaimStarted = 's'; // child: attached, waiting for the start
constexpr char kClaimWon = 'w';     // child: its first claim succeeded
constexpr char kClaimLost = 'l';    // child: refused, twice in a row
constexpr char kClaimRelease = 'r'; // parent: the winner gives its claim up
constexpr char kClaimDone = 'd';    // child: the winner has given it up
constexpr char kClaimGoOn = 'g';    // parent: the loser tries again; the winner ends

// In a child: opens an event that the parent created; null if it did not
// exist.
HANDLE OpenParentsEvent(const char* name);

// Writes "<stem>_<letter>".
void ClaimEventName(char* buffer, size_t size, const char* stem, char letter);

// driver-claim MODE TAIL START STEM: attaches the driver to this process,
// waits for the parent's START, claims the camera path of TAIL
// (camera_paths.h) and plays the winner or the loser.
int RunDriverClaimChild(char** arguments);

// export-session DRIVER ROUNDS: loads and unloads the driver ROUNDS times,
// a session through its exports each time (module_cycles.cpp); kChildWon
// when every round went right and nothing was left behind.
int RunExportSessionChild(char** arguments);

// driver-claim-path PATH: attaches the driver to this process and claims
// PATH once: kChildWon when that succeeds (the claim is given back at
// once), kChildLostForGood when it is refused.
int RunDriverClaimPathChild(char** arguments);

// expose-pipe-camera CONNECTED STOP: sets up the held pipe camera of
// camera_listing.cpp, signals CONNECTED and exposes frame after frame,
// checking every pixel, until STOP. kChildWon when every frame was exact.
int RunExposePipeCameraChild(char** arguments);

// list-pipe-cameras: builds the setup's camera list a few times; kChildWon
// when each held the free pipe camera alone.
int RunListPipeCamerasChild(char** arguments);

// Runs the role given after --child; returns the process exit code.
int RunChild(int argc, char** argv);

// Starts this program again as `--child <arguments>`; null on failure.
// The caller owns the returned process handle.
HANDLE StartChild(const char* arguments);

// Waits up to `milliseconds` for the process to end and returns its exit
// code; on time-out ends it and returns kChildFailed + 100.
DWORD WaitForChild(HANDLE process, DWORD milliseconds);

} // namespace wine_tests
