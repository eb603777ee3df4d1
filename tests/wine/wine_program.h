// What the Windows-only test program knows about how it was started: the
// driver DLL it is to load and the way to start a copy of itself as a
// child process with a role.
#pragma once

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
};

// Runs the role given after --child; returns the process exit code.
int RunChild(int argc, char** argv);

// Starts this program again as `--child <arguments>`; null on failure.
// The caller owns the returned process handle.
HANDLE StartChild(const char* arguments);

// Waits up to `milliseconds` for the process to end and returns its exit
// code; on time-out ends it and returns kChildFailed + 100.
DWORD WaitForChild(HANDLE process, DWORD milliseconds);

} // namespace wine_tests
