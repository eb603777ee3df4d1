// The emulated user32 across threads: queues belong to the thread that owns
// the window, GetMessageA blocks on the virtual clock and wakes for posted
// messages, due timers and device notifications.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/emul/control.h"
#include "platform/win32.h"

namespace {

const GUID kCameraClass = {0xA1B2C3D4, 0x0102, 0x0304, {9, 8, 7, 6, 5, 4, 3, 2}};
constexpr UINT kStop = WM_USER + 1;

// What the loop thread saw, read by the test thread once it has settled.
struct Loop {
    ATOM atom = 0;
    std::atomic<HWND> window{nullptr};
    std::atomic<int> timers{0};
    std::atomic<int> arrivals{0};
    std::atomic<DWORD> ownerThread{0};
};

LRESULT CALLBACK LoopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Loop* loop = reinterpret_cast<Loop*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (loop != nullptr) {
        if (message == WM_TIMER)
            ++loop->timers;
        if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEARRIVAL)
            ++loop->arrivals;
        if (message == kStop)
            PostQuitMessage(static_cast<int>(wParam));
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A thread that owns a window with a 100 ms timer and a device registration,
// and runs a message loop until told to stop; its exit code is the quit code.
DWORD WINAPI RunLoop(LPVOID parameter)
{
    Loop* loop = static_cast<Loop*>(parameter);
    HWND w = CreateWindowExA(0, MAKEINTATOM(loop->atom), nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                             nullptr, nullptr);
    SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(loop));
    SetTimer(w, 1, 100, nullptr);
    struct {
        DEV_BROADCAST_DEVICEINTERFACE_A header;
        char rest[64];
    } filter{};
    filter.header.dbcc_size = sizeof filter;
    filter.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.header.dbcc_classguid = kCameraClass;
    HDEVNOTIFY registration = RegisterDeviceNotificationA(w, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    loop->ownerThread = GetCurrentThreadId();
    loop->window = w;
    MSG m;
    BOOL got;
    while ((got = GetMessageA(&m, nullptr, 0, 0)) > 0)
        DispatchMessageA(&m);
    UnregisterDeviceNotification(registration);
    DestroyWindow(w);
    return got == 0 ? static_cast<DWORD>(m.wParam) : 0xFFFFFFFF;
}

class ThreadUserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        emu::TakeMisuseReports();
        start = emu::Snapshot();
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = LoopProc;
        wc.lpszClassName = "EmulThreadUserTestClass";
        loop.atom = RegisterClassExA(&wc);
        ASSERT_NE(loop.atom, 0);
    }
    void TearDown() override
    {
        EXPECT_TRUE(UnregisterClassA(MAKEINTATOM(loop.atom), nullptr));
        emu::Counts end = emu::Snapshot();
        EXPECT_EQ(end.windows, start.windows);
        EXPECT_EQ(end.timers, start.timers);
        EXPECT_EQ(end.registrations, start.registrations);
        EXPECT_EQ(end.classes, start.classes);
        EXPECT_EQ(end.threadsRunning, 0);
        EXPECT_EQ(emu::TakeMisuseReports(), std::vector<std::string>{});
    }
    Loop loop;
    emu::Counts start;
};

TEST_F(ThreadUserTest, LoopThreadWakesForItsTimerBroadcastsAndPostsOnly)
{
    HANDLE thread = CreateThread(nullptr, 0, RunLoop, &loop, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    emu::Settle();
    HWND w = loop.window;
    ASSERT_NE(w, nullptr);
    EXPECT_NE(loop.ownerThread.load(), GetCurrentThreadId());
    emu::Advance(99);
    EXPECT_EQ(loop.timers, 0);
    emu::Advance(1);
    EXPECT_EQ(loop.timers, 1);
    emu::Advance(250);
    EXPECT_EQ(loop.timers, 2); // coalesced, then due again at 450

    emu::BroadcastDeviceInterfaceChange(kCameraClass, "\\\\?\\usb#cam", true);
    emu::Settle();
    EXPECT_EQ(loop.arrivals, 1);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)); // nothing came to this thread

    ASSERT_TRUE(PostMessageA(w, kStop, 5, 0));
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 5u);
    EXPECT_FALSE(IsWindow(w));
    CloseHandle(thread);
}

TEST_F(ThreadUserTest, OtherThreadsPostButCannotDestroyOrSend)
{
    HWND w = CreateWindowExA(0, MAKEINTATOM(loop.atom), nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                             nullptr, nullptr);
    BOOL posted = FALSE;
    BOOL destroyed = TRUE;
    DWORD destroyError = 0;
    LRESULT sent = -1;
    std::thread other([&] {
        posted = PostMessageA(w, WM_USER + 7, 1, 2);
        destroyed = DestroyWindow(w);
        destroyError = GetLastError();
        sent = SendMessageA(w, WM_USER, 0, 0);
    });
    other.join();
    EXPECT_TRUE(posted);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(destroyError, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(emu::TakeMisuseReports().size(), 2u);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(m.message, (UINT)WM_USER + 7);
    EXPECT_TRUE(DestroyWindow(w));
}

TEST_F(ThreadUserTest, GetMessageWaitsForTheClockToBringATimer)
{
    HWND w = CreateWindowExA(0, MAKEINTATOM(loop.atom), nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                             nullptr, nullptr);
    SetTimer(w, 9, 500, nullptr);
    uint64_t due = emu::Now() + 500;
    std::thread clock([] { emu::Advance(500); });
    MSG m;
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), TRUE);
    EXPECT_GE(emu::Now(), due);
    EXPECT_EQ(m.message, (UINT)WM_TIMER);
    EXPECT_EQ(m.wParam, 9u);
    clock.join();
    DestroyWindow(w);
}

} // namespace
