// The DLL loaded and unloaded in a loop through the real loader, a session
// through its exports in every round, and two processes doing the same at
// once. Wine has no camera, so every setup finds none and the camera object
// goes again; what is exercised is the module's own life: process attach
// and detach, the peer window class, the camera object with its window,
// event and exposure worker, d_Finalize. Nothing may be left behind: no
// handle, no window or other USER object, no module reference.
#include <cstdio>
#include <cstdlib>

#include "contract/harness.h"
#include "wine/wine_program.h"

using namespace wine_tests;

namespace {

const DWORD kProcessWait = 60000;
const int kRounds = 25;

typedef int(WINAPI* HwndCall)(HWND);
typedef int(WINAPI* IntCall)(int);
typedef int(WINAPI* ExposeCall)(DWORD, int);
typedef int(__cdecl* PlainCall)(void);

// An export as the function type it has; GetProcAddress's own type says
// nothing of the arguments, so the address goes through the generic one.
template <typename Function>
Function Resolve(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct Exports {
    HwndCall initialize;
    IntCall setup;
    PlainCall getOk;
    ExposeCall startExposure;
    PlainCall isExposing;
    PlainCall startDownload;
    PlainCall interrupt;
    PlainCall finalize;

    bool Find(HMODULE module)
    {
        initialize = Resolve<HwndCall>(module, "d_Initialize");
        setup = Resolve<IntCall>(module, "d_SetupCCD");
        getOk = Resolve<PlainCall>(module, "d_GetOK");
        startExposure = Resolve<ExposeCall>(module, "d_StartExposure");
        isExposing = Resolve<PlainCall>(module, "d_IsExposing");
        startDownload = Resolve<PlainCall>(module, "d_StartDownload");
        interrupt = Resolve<PlainCall>(module, "d_InterruptExposure");
        finalize = Resolve<PlainCall>(module, "d_Finalize");
        return initialize && setup && getOk && startExposure && isExposing && startDownload && interrupt &&
               finalize;
    }
};

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// What this process holds that a module could leave behind.
struct Holdings {
    DWORD handles = 0;
    DWORD userObjects = 0;
    int threadWindows = 0;

    static Holdings Now()
    {
        Holdings h;
        GetProcessHandleCount(GetCurrentProcess(), &h.handles);
        h.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
        EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&h.threadWindows));
        return h;
    }
    bool operator==(const Holdings& o) const
    {
        return handles == o.handles && userObjects == o.userObjects && threadWindows == o.threadWindows;
    }
};

// One round: load, a session of the kind `round` picks, unload. False with
// a line on stderr when anything went wrong.
bool Round(const char* driver, int round)
{
    HMODULE module = LoadLibraryA(driver);
    Exports d;
    if (module == nullptr || !d.Find(module)) {
        std::fprintf(stderr, "round %d: the driver or its exports are missing\n", round);
        if (module)
            FreeLibrary(module);
        return false;
    }
    bool ok = d.initialize(nullptr) == 1;
    switch (round % 4) {
    case 0: // a setup that finds no camera destroys the object
        ok = ok && d.setup(1) == 1 && d.getOk() == 0;
        break;
    case 1: { // an exposure the host polls until its time is up, then ends
        ok = ok && d.startExposure(30, 1) == 1;
        // The worker times the exposure from its own start, which a loaded
        // machine may delay; the host polls as long as it takes, within
        // reason.
        const DWORD start = GetTickCount();
        while (d.isExposing() == 1 && GetTickCount() - start < kProcessWait / 4) {
            Sleep(5);
            Pump();
        }
        ok = ok && d.isExposing() == 0 && d.startDownload() == 1;
        break;
    }
    case 2: // an exposure the host abandons, then quits in the middle of another
        ok = ok && d.startExposure(60000, 1) == 1 && d.interrupt() == 1 && d.startExposure(60000, 0) == 1;
        break;
    default: // a second d_Initialize replaces the object
        ok = ok && d.initialize(nullptr) == 1;
        break;
    }
    ok = ok && d.finalize() == 1 && d.finalize() == 1 && d.getOk() == 0;
    Pump();
    ok = FreeLibrary(module) && ok;
    if (GetModuleHandleA("d_r6odi.dll") != nullptr) {
        std::fprintf(stderr, "round %d: the module is still loaded\n", round);
        return false;
    }
    if (!ok)
        std::fprintf(stderr, "round %d: an export answered wrongly\n", round);
    return ok;
}

} // namespace

namespace wine_tests {

// export-session DRIVER ROUNDS: the rounds above in a child process; its
// exit code is kChildWon when all of them went right and left nothing.
int RunExportSessionChild(char** arguments)
{
    const int rounds = std::atoi(arguments[1]);
    Round(arguments[0], 0); // the first load brings the system DLLs in for good
    const Holdings start = Holdings::Now();
    for (int round = 1; round <= rounds; ++round)
        if (!Round(arguments[0], round) || !(Holdings::Now() == start))
            return kChildFailed;
    return kChildWon;
}

} // namespace wine_tests

CONTRACT_TEST(ModuleCycles, LoadAndUnloadInALoopLeavesNothingBehind)
{
    REQUIRE(DriverPath() != nullptr);
    // The first round loads what the driver imports (user32, setupapi) for
    // the rest of the process's life; the count starts after it.
    REQUIRE(Round(DriverPath(), 0));
    const Holdings start = Holdings::Now();
    for (int round = 1; round <= kRounds; ++round) {
        CHECK(Round(DriverPath(), round));
        const Holdings now = Holdings::Now();
        CHECK_EQ(now.handles, start.handles);
        CHECK_EQ(now.userObjects, start.userObjects);
        CHECK_EQ(now.threadWindows, start.threadWindows);
    }
}

CONTRACT_TEST(ModuleCycles, TwoProcessesRunSessionsThroughTheExportsAtOnce)
{
    REQUIRE(DriverPath() != nullptr);
    char arguments[MAX_PATH + 64];
    std::snprintf(arguments, sizeof arguments, "export-session %s %d", DriverPath(), kRounds);
    HANDLE first = StartChild(arguments);
    HANDLE second = StartChild(arguments);
    REQUIRE(first != nullptr && second != nullptr);
    CHECK_EQ(WaitForChild(first, kProcessWait), kChildWon);
    CHECK_EQ(WaitForChild(second, kProcessWait), kChildWon);
    CloseHandle(first);
    CloseHandle(second);
}
