// Posted messages and timers: how the end-of-exposure message travels from
// the worker to the peer window, and how the 10-second timers arrive.
#include "contract/test_window.h"

using contract::TestWindow;

CONTRACT_TEST(Messages, PostedMessagesArriveInOrder)
{
    TestWindow test;
    REQUIRE(test.window() != nullptr);
    TestWindow::DispatchPending();
    contract::ReceivedMessages().clear();

    CHECK(PostMessageA(test.window(), WM_USER + 1, 10, 100));
    CHECK(PostMessageA(test.window(), WM_USER + 2, 20, 200));
    CHECK(PostMessageA(test.window(), WM_USER + 1, 30, 300));

    // Nothing runs before the queue is pumped.
    CHECK(contract::Received(WM_USER + 1).empty());
    TestWindow::DispatchPending();

    std::vector<contract::ReceivedMessage> user;
    for (const contract::ReceivedMessage& m : contract::ReceivedMessages())
        if (m.message == WM_USER + 1 || m.message == WM_USER + 2)
            user.push_back(m);
    REQUIRE(user.size() == 3u);
    CHECK_EQ(user[0].message, WM_USER + 1);
    CHECK_EQ(user[0].wParam, 10u);
    CHECK_EQ(user[0].lParam, 100);
    CHECK_EQ(user[1].message, WM_USER + 2);
    CHECK_EQ(user[1].wParam, 20u);
    CHECK_EQ(user[1].lParam, 200);
    CHECK_EQ(user[2].message, WM_USER + 1);
    CHECK_EQ(user[2].wParam, 30u);
    CHECK_EQ(user[2].lParam, 300);
    CHECK(user[0].window == test.window());

    MSG msg;
    CHECK(!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

CONTRACT_TEST(Messages, PeekWithoutRemoveLeavesTheMessage)
{
    TestWindow test;
    REQUIRE(test.window() != nullptr);
    TestWindow::DispatchPending();
    CHECK(PostMessageA(test.window(), WM_USER + 3, 1, 0));

    MSG msg{};
    REQUIRE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    CHECK_EQ(msg.message, WM_USER + 3);
    MSG again{};
    REQUIRE(PeekMessageA(&again, nullptr, 0, 0, PM_REMOVE));
    CHECK_EQ(again.message, WM_USER + 3);
    CHECK(again.hwnd == test.window());
    CHECK(!PeekMessageA(&again, nullptr, 0, 0, PM_REMOVE));
}

namespace {

struct Poster {
    HWND window;
    DWORD thread;
    BOOL posted;
};

DWORD WINAPI PostFromWorker(LPVOID parameter)
{
    auto* poster = static_cast<Poster*>(parameter);
    poster->thread = GetCurrentThreadId();
    poster->posted = PostMessageA(poster->window, WM_USER + 24, 2024, 0);
    return 0;
}

} // namespace

CONTRACT_TEST(Messages, MessageFromAnotherThreadRunsOnTheWindowsThread)
{
    TestWindow test;
    REQUIRE(test.window() != nullptr);
    TestWindow::DispatchPending();
    contract::ReceivedMessages().clear();

    Poster poster{test.window(), 0, FALSE};
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, PostFromWorker, &poster, 0, &id);
    REQUIRE(thread != nullptr);
    CHECK_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CHECK(poster.posted);

    MSG msg{};
    CHECK(GetMessageA(&msg, nullptr, 0, 0));
    CHECK_EQ(msg.message, WM_USER + 24);
    CHECK(msg.hwnd == test.window());
    DispatchMessageA(&msg);

    std::vector<contract::ReceivedMessage> got = contract::Received(WM_USER + 24);
    REQUIRE(got.size() == 1u);
    CHECK_EQ(got[0].wParam, 2024u);
    CHECK_EQ(got[0].thread, GetCurrentThreadId());
    CHECK(got[0].thread != poster.thread);
    CHECK(CloseHandle(thread));
}

CONTRACT_TEST(Messages, PostingToADestroyedWindowFails)
{
    char name[64];
    ATOM atom = contract::RegisterRecordingClass(name, sizeof name);
    REQUIRE(atom != 0);
    HWND window = contract::CreateHiddenWindow(atom);
    REQUIRE(window != nullptr);
    CHECK(PostMessageA(window, WM_USER + 9, 0, 0));
    CHECK(DestroyWindow(window));

    // The queued message went with its window.
    MSG msg;
    bool stale = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        stale = stale || msg.message == WM_USER + 9;
    CHECK(!stale);

    SetLastError(ERROR_SUCCESS);
    CHECK(!PostMessageA(window, WM_USER + 9, 0, 0));
    CHECK_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    CHECK(UnregisterClassA(MAKEINTATOM(atom), contract::ModuleInstance()));
}

CONTRACT_TEST(Timers, ShortTimerArrivesThroughGetMessage)
{
    TestWindow test;
    REQUIRE(test.window() != nullptr);
    TestWindow::DispatchPending();
    contract::ReceivedMessages().clear();

    CHECK_EQ(SetTimer(test.window(), 1, 1, nullptr), 1u);
    contract::LetTimePass(20);
    MSG msg{};
    CHECK(GetMessageA(&msg, nullptr, 0, 0));
    CHECK_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    CHECK(msg.hwnd == test.window());
    CHECK_EQ(msg.wParam, 1u);
    DispatchMessageA(&msg);
    CHECK_EQ(contract::Received(WM_TIMER).size(), 1u);

    CHECK(KillTimer(test.window(), 1));
    contract::LetTimePass(20);
    bool late = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        late = late || msg.message == WM_TIMER;
    CHECK(!late);
    CHECK(!KillTimer(test.window(), 1));
}

CONTRACT_TEST(Timers, OverduePeriodsYieldOneMessage)
{
    TestWindow test;
    REQUIRE(test.window() != nullptr);
    TestWindow::DispatchPending();

    // Three and a half periods late; the period leaves the loop below ample
    // time to find no second message on a loaded machine.
    CHECK_EQ(SetTimer(test.window(), 2, 200, nullptr), 2u);
    contract::LetTimePass(700);
    MSG msg{};
    int timers = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_TIMER && msg.wParam == 2)
            ++timers;
    CHECK_EQ(timers, 1);
    CHECK(KillTimer(test.window(), 2));
}

CONTRACT_TEST(Timers, DestroyingTheWindowEndsItsTimers)
{
    char name[64];
    ATOM atom = contract::RegisterRecordingClass(name, sizeof name);
    REQUIRE(atom != 0);
    HWND window = contract::CreateHiddenWindow(atom);
    REQUIRE(window != nullptr);
    CHECK_EQ(SetTimer(window, 1, 1, nullptr), 1u);
    CHECK(DestroyWindow(window));
    contract::LetTimePass(20);
    MSG msg;
    bool fired = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        fired = fired || msg.message == WM_TIMER;
    CHECK(!fired);
    CHECK(UnregisterClassA(MAKEINTATOM(atom), contract::ModuleInstance()));
}
