// Starting a copy of this program as a child, and the roles a child plays.
#include <cstdio>
#include <cstring>

#include "wine/wine_program.h"

namespace wine_tests {
namespace {

const char* driverPath = nullptr;

// Every wait of a child is bounded, so that a parent that went wrong cannot
// leave children behind for ever.
const DWORD kChildWait = 30000;

// open-existing NAME: creates NAME, signals it, reports whether it was new.
int OpenExisting(const char* name)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name);
    if (!event)
        return kChildFailed;
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    SetEvent(event);
    CloseHandle(event);
    return existed ? kChildFoundExisting : kChildFoundNew;
}

// claim CLAIM STARTED GO READY RELEASE: announces itself on STARTED, waits
// for GO, creates the claim event CLAIM the way the driver claims a device,
// announces the outcome on READY and holds the claim until RELEASE; the
// claim ends with the process.
int Claim(char** names)
{
    HANDLE started = OpenParentsEvent(names[1]);
    HANDLE go = OpenParentsEvent(names[2]);
    HANDLE ready = OpenParentsEvent(names[3]);
    HANDLE release = OpenParentsEvent(names[4]);
    if (!started || !go || !ready || !release)
        return kChildFailed;
    SetEvent(started);
    if (WaitForSingleObject(go, kChildWait) != WAIT_OBJECT_0)
        return kChildFailed;
    HANDLE claim = CreateEventA(nullptr, FALSE, FALSE, names[0]);
    if (!claim)
        return kChildFailed;
    int result = GetLastError() == ERROR_ALREADY_EXISTS ? kChildFoundExisting : kChildFoundNew;
    SetEvent(ready);
    if (WaitForSingleObject(release, kChildWait) != WAIT_OBJECT_0)
        return kChildFailed;
    return result; // the handles are closed by the end of the process
}

} // namespace

HANDLE OpenParentsEvent(const char* name)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    if (event && GetLastError() != ERROR_ALREADY_EXISTS) {
        CloseHandle(event);
        return nullptr;
    }
    return event;
}

const char* DriverPath() { return driverPath; }
void SetDriverPath(const char* path) { driverPath = path; }

int RunChild(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[0], "open-existing") == 0)
        return OpenExisting(argv[1]);
    if (argc == 6 && std::strcmp(argv[0], "claim") == 0)
        return Claim(argv + 1);
    if (argc == 5 && std::strcmp(argv[0], "driver-claim") == 0)
        return RunDriverClaimChild(argv + 1);
    if (argc == 3 && std::strcmp(argv[0], "export-session") == 0)
        return RunExportSessionChild(argv + 1);
    if (argc == 2 && std::strcmp(argv[0], "driver-claim-path") == 0)
        return RunDriverClaimPathChild(argv + 1);
    if (argc == 3 && std::strcmp(argv[0], "expose-pipe-camera") == 0)
        return RunExposePipeCameraChild(argv + 1);
    if (argc == 1 && std::strcmp(argv[0], "list-pipe-cameras") == 0)
        return RunListPipeCamerasChild(argv + 1);
    std::fprintf(stderr, "wine_tests: unknown child role \"%s\" with %d arguments\n",
                 argc > 0 ? argv[0] : "", argc > 0 ? argc - 1 : 0);
    return kChildFailed;
}

HANDLE StartChild(const char* arguments)
{
    char program[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        return nullptr;
    char commandLine[1024];
    int written = std::snprintf(commandLine, sizeof commandLine, "\"%s\" --child %s", program,
                                arguments);
    if (written < 0 || static_cast<size_t>(written) >= sizeof commandLine)
        return nullptr;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

DWORD WaitForChild(HANDLE process, DWORD milliseconds)
{
    if (WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(process, kChildFailed + 100);
        WaitForSingleObject(process, INFINITE);
        return kChildFailed + 100;
    }
    DWORD code = kChildFailed + 101;
    GetExitCodeProcess(process, &code);
    return code;
}

} // namespace wine_tests
