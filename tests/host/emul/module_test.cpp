// The emulated loader where only the emulation can act: a module unloaded
// while the system still points into its code is named for each thing that
// does, and a later call into that code is reported instead of made; and
// the system timer's step that timed waits end on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract/module/contract_module.h"
#include "platform/emul/control.h"
#include "platform/win32.h"

namespace {

const char kModulePath[] = "C:\\r6odi\\contract_module.dll";
const char kClass[] = "moduleTestClass";

enum Thing { kClassOnly = 1, kWindow = 2, kWindowTimer = 4, kTimerProc = 8, kNotification = 16, kThread = 32 };

// What a host left of the module's code with the system when it unloaded it.
struct Left {
    HWND window = nullptr;
    UINT_PTR threadTimer = 0;
    HDEVNOTIFY notification = nullptr;
    HANDLE thread = nullptr;
    HANDLE event = nullptr;
};

Left Make(int things, HINSTANCE module)
{
    Left left;
    if (things & (kClassOnly | kWindow)) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = ContractModuleWindowProc;
        wc.hInstance = module;
        wc.lpszClassName = kClass;
        EXPECT_NE(RegisterClassExA(&wc), 0);
    }
    if (things & kWindow)
        left.window = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, nullptr, nullptr, module, nullptr);
    if (things & kWindowTimer)
        SetTimer(left.window, 7, 100, nullptr);
    if (things & kTimerProc)
        left.threadTimer = SetTimer(nullptr, 0, 100, ContractModuleTimerProc);
    if (things & kNotification) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        left.notification = RegisterDeviceNotificationA(left.window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    if (things & kThread) {
        left.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        left.thread = CreateThread(nullptr, 0, ContractModuleThread, left.event, 0, nullptr);
        emu::Settle();
    }
    return left;
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

// The host runs on: each thing calls into the code once more.
void CallAgain(const Left& left)
{
    if (left.window != nullptr)
        PostMessageA(left.window, WM_USER, 0, 0);
    if (left.thread != nullptr) {
        SetEvent(left.event);
        WaitForSingleObject(left.thread, INFINITE);
    }
    emu::Advance(100);
    Pump();
}

void Clean(HINSTANCE module, const Left& left)
{
    if (left.notification != nullptr)
        UnregisterDeviceNotification(left.notification);
    if (left.threadTimer != 0)
        KillTimer(nullptr, left.threadTimer);
    if (left.window != nullptr)
        DestroyWindow(left.window);
    UnregisterClassA(kClass, module);
    if (left.thread != nullptr) {
        CloseHandle(left.thread);
        CloseHandle(left.event);
    }
}

size_t CountWith(const std::vector<std::string>& reports, const std::string& text)
{
    size_t n = 0;
    for (const std::string& r : reports)
        n += r.find(text) != std::string::npos;
    return n;
}

struct UnloadCase {
    const char* name;
    int things;
    std::vector<std::string> named; // one unload report naming each
    const char* call;               // what the next call into the code reports
};

const UnloadCase kUnloadCases[] = {
    {"a class", kClassOnly, {"window class \"moduleTestClass\""}, nullptr},
    {"a window", kWindow, {"window class", "while the window 0x"}, "message 1024 to the window"},
    {"a window with a timer", kWindow | kWindowTimer, {"window class", "while the window 0x", "timer 7 of the window"},
     "message 275 to the window"},
    {"a timer procedure", kTimerProc, {"timer 32"}, "the procedure of timer"},
    {"a device notification", kWindow | kNotification, {"window class", "while the window 0x", "device notification"},
     "message 1024"},
    {"a thread", kThread, {"the thread "}, "WaitForSingleObject returns to the thread"},
};

TEST(ModuleTest, UnloadNamesWhatStillPointsIntoTheModuleAndRefusesItsCalls)
{
    for (const UnloadCase& c : kUnloadCases) {
        SCOPED_TRACE(c.name);
        emu::TakeMisuseReports();
        HINSTANCE module = emu::LoadModule(ContractModuleEntry, kModulePath);
        ASSERT_NE(module, nullptr);
        const LONG detaches = ContractModuleDetaches();
        Left left = Make(c.things, module);
        ASSERT_TRUE(FreeLibrary(module));
        EXPECT_EQ(ContractModuleDetaches(), detaches + 1);
        std::vector<std::string> reports = emu::TakeMisuseReports();
        EXPECT_EQ(reports.size(), c.named.size());
        for (const std::string& named : c.named)
            EXPECT_EQ(CountWith(reports, named), 1u) << named;
        const LONG calls = ContractModuleCalls();
        CallAgain(left);
        reports = emu::TakeMisuseReports();
        EXPECT_EQ(ContractModuleCalls(), calls) << "the unloaded code was called";
        if (c.call != nullptr) {
            EXPECT_GE(CountWith(reports, c.call), 1u);
        } else {
            EXPECT_TRUE(reports.empty());
        }
        Clean(module, left);
        emu::TakeMisuseReports();
    }
}

struct TimedWait {
    DWORD timeout;
    bool raised;
    uint64_t endedAt = 0;
};

DWORD WINAPI WaitAndNote(LPVOID parameter)
{
    auto* wait = static_cast<TimedWait*>(parameter);
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WaitForSingleObject(never, wait->timeout);
    wait->endedAt = emu::Now();
    CloseHandle(never);
    return 0;
}

struct StepCase {
    uint64_t start;
    DWORD timeout;
    UINT period; // 0: none raised
    uint64_t end;
};

// Ticks every 15.625 ms: at 0, 15.625, 31.25, 46.875, 62.5, ... A wait ends
// on the first tick at or after its due time, rounded up to the clock's
// millisecond; with 1 ms ticks exactly at its time.
const StepCase kStepCases[] = {
    {1000, 1, 0, 1016},   {1000, 5, 0, 1016},   {1000, 15, 0, 1016}, {1000, 16, 0, 1032},
    {1003, 20, 0, 1032},  {1000, 100, 0, 1110}, {1000, 5, 1, 1005},  {1003, 20, 1, 1023},
    {1000, 100, 1, 1100}, {1000, 5, 10, 1010},  {1000, 5, 20, 1016},
};

TEST(TimerStep, TimedWaitsEndOnATickOfTheSystemTimer)
{
    for (const StepCase& c : kStepCases) {
        SCOPED_TRACE(std::to_string(c.timeout) + " ms from " + std::to_string(c.start) + ", period " +
                     std::to_string(c.period));
        emu::SetNow(c.start);
        if (c.period != 0) {
            ASSERT_EQ(timeBeginPeriod(c.period), static_cast<MMRESULT>(TIMERR_NOERROR));
        }
        TimedWait wait{c.timeout, c.period != 0};
        HANDLE thread = CreateThread(nullptr, 0, WaitAndNote, &wait, 0, nullptr);
        emu::Settle();
        while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT)
            emu::Advance(1);
        EXPECT_EQ(wait.endedAt, c.end);
        CloseHandle(thread);
        if (c.period != 0)
            timeEndPeriod(c.period);
    }
    EXPECT_EQ(emu::Snapshot().timerPeriods, 0);
    EXPECT_EQ(timeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOCANDO)) << "no period to end";
    EXPECT_EQ(emu::TakeMisuseReports().size(), 1u);
}

} // namespace
