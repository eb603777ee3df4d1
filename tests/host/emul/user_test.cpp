// The emulated user32 on one thread: classes, windows, queues, timers and
// device notifications, with what only the emulation can show (accounting,
// misuse reports, the virtual clock). Cross-thread behaviour is in
// thread_user_test.cpp.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/emul/control.h"
#include "platform/win32.h"

namespace {

struct Call {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What a WM_DEVICECHANGE record held while the procedure ran.
struct SeenRecord {
    DWORD size;
    DWORD deviceType;
    DWORD reserved;
    GUID interfaceClass;
    std::string name;
};

std::vector<Call> calls;
std::vector<SeenRecord> records;
LRESULT ncCreateAnswer = TRUE;
LRESULT createAnswer = 0;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    calls.push_back({window, message, wParam, lParam});
    switch (message) {
    case WM_NCCREATE:
        return ncCreateAnswer;
    case WM_CREATE:
        return createAnswer;
    case WM_DEVICECHANGE: {
        if (lParam == 0) // DBT_DEVNODES_CHANGED has no record
            return TRUE;
        auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
            records.push_back({header->dbch_size, header->dbch_devicetype, header->dbch_reserved, {}, ""});
            return TRUE;
        }
        auto* r = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
        records.push_back({r->dbcc_size, r->dbcc_devicetype, r->dbcc_reserved, r->dbcc_classguid,
                           r->dbcc_name});
        return TRUE;
    }
    case WM_USER + 5:
        return 0x1234;
    default:
        return 0;
    }
}

std::vector<UINT> Messages()
{
    std::vector<UINT> out;
    for (const Call& c : calls)
        out.push_back(c.message);
    return out;
}

HINSTANCE Instance(uintptr_t n) { return reinterpret_cast<HINSTANCE>(n); }

WNDCLASSEXA ClassRecord(const char* name, HINSTANCE instance, int extraBytes = 0)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.cbWndExtra = extraBytes;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    return wc;
}

const GUID kClassA = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID kClassB = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 9}};

struct Filter {
    DEV_BROADCAST_DEVICEINTERFACE_A header;
    char rest[262];
};

Filter InterfaceFilter(const GUID& interfaceClass)
{
    Filter f{};
    f.header.dbcc_size = sizeof f;
    f.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    f.header.dbcc_classguid = interfaceClass;
    return f;
}

class UserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        emu::TakeMisuseReports();
        calls.clear();
        records.clear();
        ncCreateAnswer = TRUE;
        createAnswer = 0;
        start = emu::Snapshot();
        WNDCLASSEXA wc = ClassRecord("EmulUserTestClass", instance, 16);
        atom = RegisterClassExA(&wc);
        ASSERT_NE(atom, 0);
    }
    void TearDown() override
    {
        EXPECT_TRUE(UnregisterClassA(MAKEINTATOM(atom), instance));
        MSG m;
        EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "message left " << m.message;
        emu::Counts end = emu::Snapshot();
        EXPECT_EQ(end.windows, start.windows);
        EXPECT_EQ(end.classes, start.classes);
        EXPECT_EQ(end.timers, start.timers);
        EXPECT_EQ(end.registrations, start.registrations);
        EXPECT_EQ(emu::TakeMisuseReports(), std::vector<std::string>{});
    }
    HWND Create()
    {
        return CreateWindowExA(WS_EX_TOOLWINDOW, MAKEINTATOM(atom), nullptr, 0, -1, -1, 0, 0,
                               nullptr, nullptr, instance, nullptr);
    }
    // The queue's next message, removed and dispatched; false when empty.
    bool Pump(MSG* m)
    {
        if (!PeekMessageA(m, nullptr, 0, 0, PM_REMOVE))
            return false;
        DispatchMessageA(m);
        return true;
    }
    HINSTANCE instance = Instance(0x50000000);
    ATOM atom = 0;
    emu::Counts start;
};

// --- Classes -----------------------------------------------------------------

TEST_F(UserTest, ClassIsFoundByAtomAndByNameInAnyCase)
{
    EXPECT_GE(atom, 0xC000);
    EXPECT_EQ(emu::Snapshot().classes, start.classes + 1);
    HWND byAtom = Create();
    HWND byName = CreateWindowExA(0, "emulusertestCLASS", nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    ASSERT_NE(byAtom, nullptr);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(GetClassLongA(byAtom, GCW_ATOM), atom);
    EXPECT_EQ(GetClassLongA(byName, GCW_ATOM), atom);
    SetLastError(0);
    EXPECT_EQ(GetClassLongA(byAtom, 0), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_INDEX);
    DestroyWindow(byAtom);
    DestroyWindow(byName);
    EXPECT_EQ(GetClassLongA(byAtom, GCW_ATOM), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, instance,
                              nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_DOES_NOT_EXIST);
}

TEST_F(UserTest, AtomIsNewForEveryRegistrationAndNamesAreUniquePerInstance)
{
    WNDCLASSEXA wc = ClassRecord("EMULUSERTESTCLASS", instance);
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_ALREADY_EXISTS);

    WNDCLASSEXA other = ClassRecord("EmulUserTestClass", Instance(0x60000000));
    ATOM second = RegisterClassExA(&other);
    ASSERT_NE(second, 0);
    EXPECT_NE(second, atom);
    ASSERT_TRUE(UnregisterClassA("EmulUserTestClass", Instance(0x60000000)));
    ATOM third = RegisterClassExA(&other);
    EXPECT_NE(third, second);
    EXPECT_NE(third, atom);
    EXPECT_FALSE(UnregisterClassA(MAKEINTATOM(third), instance)); // not that instance's class
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_DOES_NOT_EXIST);
    EXPECT_TRUE(UnregisterClassA(MAKEINTATOM(third), Instance(0x60000000)));
}

TEST_F(UserTest, ClassWithWindowsCannotBeUnregistered)
{
    HWND w = Create();
    EXPECT_FALSE(UnregisterClassA(MAKEINTATOM(atom), instance));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_HAS_WINDOWS);
    DestroyWindow(w);
    ASSERT_TRUE(UnregisterClassA(MAKEINTATOM(atom), instance));
    EXPECT_FALSE(UnregisterClassA(MAKEINTATOM(atom), instance));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_DOES_NOT_EXIST);
    WNDCLASSEXA wc = ClassRecord("EmulUserTestClass", instance, 16);
    atom = RegisterClassExA(&wc); // for TearDown
}

// --- Windows -----------------------------------------------------------------

TEST_F(UserTest, CreationSendsNcCreateThenCreateBeforeReturning)
{
    HWND w = Create();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(calls[0].window, w);
    EXPECT_EQ(calls[1].lParam, 0);
    EXPECT_TRUE(IsWindow(w));
    EXPECT_EQ(emu::Snapshot().windows, start.windows + 1);
    DestroyWindow(w);
}

TEST_F(UserTest, RefusedCreationLeavesNoWindow)
{
    ncCreateAnswer = FALSE;
    EXPECT_EQ(Create(), nullptr);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_NCDESTROY}));
    ncCreateAnswer = TRUE;
    createAnswer = -1;
    calls.clear();
    EXPECT_EQ(Create(), nullptr);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(calls[0].window));
    EXPECT_EQ(emu::Snapshot().windows, start.windows);
}

TEST_F(UserTest, DestructionNotifiesAndTakesTimersAndMessagesAlong)
{
    HWND w = Create();
    PostMessageA(w, WM_USER, 1, 2);
    ASSERT_NE(SetTimer(w, 1, 100, nullptr), 0u);
    EXPECT_EQ(emu::Snapshot().timers, start.timers + 1);
    calls.clear();
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(emu::Snapshot().timers, start.timers);
    emu::Advance(1000);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    HWND next = Create();
    EXPECT_NE(next, w); // never reused
    DestroyWindow(next);
}

TEST_F(UserTest, ChildWindowsGoBetweenTheParentsDestroyAndNcDestroy)
{
    HWND parent = Create();
    HWND child = CreateWindowExA(0, MAKEINTATOM(atom), nullptr, WS_CHILD, 0, 0, 0, 0, parent,
                                 nullptr, instance, nullptr);
    ASSERT_NE(child, nullptr);
    calls.clear();
    DestroyWindow(parent);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].window, parent);
    EXPECT_EQ(calls[0].message, (UINT)WM_DESTROY);
    EXPECT_EQ(calls[1].window, child);
    EXPECT_EQ(calls[1].message, (UINT)WM_DESTROY);
    EXPECT_EQ(calls[2].window, child);
    EXPECT_EQ(calls[2].message, (UINT)WM_NCDESTROY);
    EXPECT_EQ(calls[3].window, parent);
    EXPECT_EQ(calls[3].message, (UINT)WM_NCDESTROY);
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(UserTest, UserDataAndExtraBytesKeepWhatIsStored)
{
    HWND w = Create();
    SetLastError(0);
    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 0x123456789AB), 0);
    EXPECT_EQ(GetLastError(), 0u); // a 0 result with a clear error is a success
    EXPECT_EQ(GetWindowLongPtrA(w, GWL_USERDATA), 0x123456789AB);
    EXPECT_EQ(GetWindowLongA(w, GWL_USERDATA), (LONG)0x456789AB);
    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 0), 0x123456789AB);

    EXPECT_EQ(SetWindowLongPtrA(w, 8, -7), 0);
    EXPECT_EQ(GetWindowLongPtrA(w, 8), -7);
    EXPECT_EQ(SetWindowLongA(w, 0, 42), 0);
    EXPECT_EQ(GetWindowLongA(w, 0), 42);
    EXPECT_EQ(GetWindowLongPtrA(w, 9), 0); // would run past the 16 extra bytes
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_INDEX);
    EXPECT_EQ(GetWindowLongPtrA(w, -16), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_INDEX);
    DestroyWindow(w);
}

TEST_F(UserTest, DestroyedWindowIsMisuseForEveryCallThatNeedsOne)
{
    HWND w = Create();
    DestroyWindow(w);
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 1), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SetTimer(w, 1, 100, nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    std::vector<std::string> reports = emu::TakeMisuseReports();
    ASSERT_EQ(reports.size(), 5u);
    const char* callers[] = {"GetWindowLongPtrA", "SetWindowLongPtrA", "DestroyWindow", "SetTimer",
                             "PostMessageA"};
    for (size_t i = 0; i < reports.size(); ++i)
        EXPECT_EQ(reports[i].rfind(callers[i], 0), 0u) << reports[i];
}

TEST_F(UserTest, PostedMessagesArriveInOrderAndDispatchToTheProcedure)
{
    HWND w = Create();
    calls.clear();
    PostMessageA(w, WM_USER + 1, 10, 11);
    PostMessageA(w, WM_USER + 2, 20, 21);
    PostMessageA(w, WM_USER + 5, 50, 51);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, (UINT)WM_USER + 1);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_USER + 1);
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(m.wParam, 10u);
    EXPECT_EQ(m.lParam, 11);
    EXPECT_TRUE(calls.empty()); // peeking never calls the procedure
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, (UINT)WM_USER + 2);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(TranslateMessage(&m));
    EXPECT_EQ(DispatchMessageA(&m), 0x1234);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].wParam, 50u);
    EXPECT_EQ(calls[0].lParam, 51);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(SendMessageA(w, WM_USER + 5, 0, 0), 0x1234);
    DestroyWindow(w);
}

TEST_F(UserTest, FiltersSelectByWindowAndRange)
{
    HWND a = Create();
    HWND b = Create();
    PostMessageA(a, WM_USER + 1, 0, 0);
    PostMessageA(b, WM_USER + 2, 0, 0);
    PostMessageA(nullptr, WM_USER + 3, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_USER + 2);
    ASSERT_TRUE(PeekMessageA(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_USER + 3);
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER + 2, WM_USER + 9, PM_REMOVE));
    DestroyWindow(b);
    EXPECT_FALSE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(GetMessageA(&m, b, 0, 0), -1);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE));
    DestroyWindow(a);
}

TEST_F(UserTest, QuitComesAfterPostedMessagesAndBeforeTimers)
{
    HWND w = Create();
    SetTimer(w, 3, 100, nullptr);
    emu::Advance(100);
    PostMessageA(w, WM_USER, 0, 0);
    PostQuitMessage(9);
    MSG m;
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.message, (UINT)WM_USER);
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), FALSE);
    EXPECT_EQ(m.message, (UINT)WM_QUIT);
    EXPECT_EQ(m.wParam, 9u);
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.message, (UINT)WM_TIMER);
    DestroyWindow(w);
}

// --- Timers ------------------------------------------------------------------

TEST_F(UserTest, TimerFallsDueOnlyWhenTheClockReachesIt)
{
    HWND w = Create();
    EXPECT_EQ(SetTimer(w, 7, 1000, nullptr), 7u);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    emu::Advance(999);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    emu::Advance(1);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_TIMER);
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(m.time, (DWORD)emu::Now());
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(KillTimer(w, 7));
    EXPECT_FALSE(KillTimer(w, 7));
    emu::Advance(5000);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w);
}

TEST_F(UserTest, LateTimerGivesOneMessageAndRestartsFromDelivery)
{
    HWND w = Create();
    SetTimer(w, 1, 100, nullptr);
    emu::Advance(550);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_TIMER);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    emu::Advance(99);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    emu::Advance(1);
    EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w);
}

TEST_F(UserTest, TickCountWrapDoesNotStopATimer)
{
    HWND w = Create();
    emu::SetNow(0xFFFFFFFFull - 5000);
    SetTimer(w, 1, 10000, nullptr);
    MSG m;
    for (int round = 0; round < 2; ++round) {
        emu::Advance(9999);
        EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
        emu::Advance(1);
        ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "round " << round;
        EXPECT_EQ(m.message, (UINT)WM_TIMER);
        EXPECT_EQ(m.time, (DWORD)emu::Now());
    }
    EXPECT_LT(m.time, 20000u); // the tick count did wrap
    DestroyWindow(w);
}

TEST_F(UserTest, SettingATimerAgainReplacesItAndRestartsThePeriod)
{
    HWND w = Create();
    SetTimer(w, 2, 100, nullptr);
    emu::Advance(80);
    SetTimer(w, 2, 100, nullptr);
    EXPECT_EQ(emu::Snapshot().timers, start.timers + 1);
    emu::Advance(80);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    emu::Advance(20);
    EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w);
}

std::vector<UINT_PTR> timerProcIds;
void CALLBACK CountingTimerProc(HWND, UINT message, UINT_PTR id, DWORD)
{
    if (message == WM_TIMER)
        timerProcIds.push_back(id);
}

TEST_F(UserTest, TimerProcedureIsCalledInsteadOfTheWindowProcedure)
{
    timerProcIds.clear();
    HWND w = Create();
    SetTimer(w, 4, 100, CountingTimerProc);
    emu::Advance(100);
    calls.clear();
    MSG m;
    ASSERT_TRUE(Pump(&m));
    EXPECT_EQ(m.lParam, reinterpret_cast<LPARAM>(CountingTimerProc));
    EXPECT_EQ(timerProcIds, std::vector<UINT_PTR>{4});
    EXPECT_TRUE(calls.empty());
    KillTimer(w, 4);
    DispatchMessageA(&m); // a stale WM_TIMER of a killed timer calls nothing
    EXPECT_EQ(timerProcIds.size(), 1u);

    UINT_PTR threadTimer = SetTimer(nullptr, 0, 50, CountingTimerProc);
    ASSERT_NE(threadTimer, 0u);
    emu::Advance(50);
    ASSERT_TRUE(Pump(&m));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_EQ(timerProcIds.back(), threadTimer);
    EXPECT_TRUE(KillTimer(nullptr, threadTimer));
    DestroyWindow(w);
}

// --- Device notifications ----------------------------------------------------

TEST_F(UserTest, BroadcastReachesMatchingRegistrationsOnlyInsidePeek)
{
    HWND a = Create();
    HWND b = Create();
    HWND all = Create();
    Filter fa = InterfaceFilter(kClassA);
    Filter fb = InterfaceFilter(kClassB);
    HDEVNOTIFY ra = RegisterDeviceNotificationA(a, &fa, DEVICE_NOTIFY_WINDOW_HANDLE);
    HDEVNOTIFY rb = RegisterDeviceNotificationA(b, &fb, DEVICE_NOTIFY_WINDOW_HANDLE);
    HDEVNOTIFY rall = RegisterDeviceNotificationA(all, &fb, DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    ASSERT_TRUE(ra && rb && rall);
    EXPECT_EQ(emu::Snapshot().registrations, start.registrations + 3);
    calls.clear();

    const std::string name = "\\\\?\\usb#vid_1234&pid_0001#5#{guid}";
    emu::BroadcastDeviceInterfaceChange(kClassA, name, true);
    EXPECT_TRUE(calls.empty());
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)); // sent, not posted
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].window, a);
    EXPECT_EQ(calls[1].window, all);
    for (const Call& c : calls) {
        EXPECT_EQ(c.message, (UINT)WM_DEVICECHANGE);
        EXPECT_EQ(c.wParam, (WPARAM)DBT_DEVICEARRIVAL);
    }
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), 28u);
    EXPECT_EQ(records[0].size, 28 + name.size() + 1);
    EXPECT_EQ(records[0].deviceType, (DWORD)DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(records[0].reserved, 0u);
    EXPECT_EQ(records[0].interfaceClass, kClassA);
    EXPECT_EQ(records[0].name, name);
    EXPECT_EQ(records[1].interfaceClass, kClassA); // the event's class, not the filter's

    calls.clear();
    emu::BroadcastDeviceInterfaceChange(kClassB, "x", false);
    DestroyWindow(all); // a destroyed window's notification goes with it
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY, WM_DEVICECHANGE}));
    EXPECT_EQ(calls[2].window, b);
    EXPECT_EQ(calls[2].wParam, (WPARAM)DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(records.back().size, 28u + 2);

    EXPECT_EQ(emu::Snapshot().registrations, start.registrations + 3); // outlives its window
    EXPECT_TRUE(UnregisterDeviceNotification(ra));
    EXPECT_TRUE(UnregisterDeviceNotification(rb));
    EXPECT_TRUE(UnregisterDeviceNotification(rall));
    EXPECT_FALSE(UnregisterDeviceNotification(rall));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(emu::TakeMisuseReports().size(), 1u);
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST_F(UserTest, SentNotificationsComeBeforeThePostedMessageThatPeekReturns)
{
    HWND w = Create();
    Filter f = InterfaceFilter(kClassA);
    HDEVNOTIFY r = RegisterDeviceNotificationA(w, &f, DEVICE_NOTIFY_WINDOW_HANDLE);
    PostMessageA(w, WM_USER, 0, 0);
    emu::BroadcastDeviceInterfaceChange(kClassA, "dev", true);
    calls.clear();
    MSG m;
    ASSERT_TRUE(Pump(&m));
    EXPECT_EQ(m.message, (UINT)WM_USER);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_DEVICECHANGE, WM_USER}));
    UnregisterDeviceNotification(r);
    DestroyWindow(w);
}

TEST_F(UserTest, RegistrationChecksItsFilterFlagsAndWindow)
{
    HWND w = Create();
    Filter f = InterfaceFilter(kClassA);
    f.header.dbcc_devicetype = 3;
    EXPECT_EQ(RegisterDeviceNotificationA(w, &f, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
    f = InterfaceFilter(kClassA);
    f.header.dbcc_size = sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) - 1;
    EXPECT_EQ(RegisterDeviceNotificationA(w, &f, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
    f = InterfaceFilter(kClassA);
    EXPECT_EQ(RegisterDeviceNotificationA(w, &f, 1), nullptr); // a service handle
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    DestroyWindow(w);
    EXPECT_EQ(RegisterDeviceNotificationA(w, &f, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

// The system's own broadcasts need no registration: every top-level window
// gets them, children and message-only windows do not.
TEST_F(UserTest, DeviceBroadcastsReachEveryTopLevelWindowOnly)
{
    HWND top = Create();
    HWND child = CreateWindowExA(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0, top, nullptr,
                                 instance, nullptr);
    HWND messageOnly = CreateWindowExA(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                       nullptr, instance, nullptr);
    ASSERT_TRUE(top && child && messageOnly);
    calls.clear();
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 3;
    emu::BroadcastDeviceChange(DBT_DEVNODES_CHANGED, nullptr);
    emu::BroadcastDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<DEV_BROADCAST_HDR*>(&volume));
    volume.dbcv_unitmask = 0; // the record was copied
    MSG m;
    while (Pump(&m)) {
    }
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].window, top);
    EXPECT_EQ(calls[0].wParam, (WPARAM)DBT_DEVNODES_CHANGED);
    EXPECT_EQ(calls[0].lParam, 0);
    EXPECT_EQ(calls[1].window, top);
    EXPECT_EQ(calls[1].wParam, (WPARAM)DBT_DEVICEARRIVAL);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].size, (DWORD)sizeof volume);
    EXPECT_EQ(records[0].deviceType, (DWORD)DBT_DEVTYP_VOLUME);
    DestroyWindow(messageOnly);
    DestroyWindow(top);
}

// A class is found by its atom only with the instance that registered it.
TEST_F(UserTest, AtomFindsTheClassOnlyForItsInstance)
{
    for (HINSTANCE other : {Instance(0x60000000), (HINSTANCE) nullptr}) {
        SetLastError(0);
        EXPECT_EQ(CreateWindowExA(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                                  other, nullptr),
                  nullptr);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_DOES_NOT_EXIST);
    }
}

} // namespace
