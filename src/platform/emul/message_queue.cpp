#include <algorithm>

#include "platform/emul/core.h"
#include "platform/emul/module_state.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"
#include "platform/emul/user_state.h"

using namespace emu;
using namespace emu::user;

namespace {

// Lock held. GetTickCount would take the lock itself.
DWORD TickLocked() { return static_cast<DWORD>(core::NowLocked()); }

// Lock held.
bool IsFilterWindowValid(HWND window)
{
    return window == nullptr || window == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)) ||
           LookUpWindow(window) != nullptr;
}

// Lock held.
bool TakeSent(DWORD thread, SentMessage* out)
{
    ThreadQueue& q = QueueOf(thread);
    if (q.sent.empty())
        return false;
    *out = std::move(q.sent.front());
    q.sent.pop_front();
    return true;
}

// Lock NOT held. Sent messages are taken one at a time, so that a procedure
// that looks at the queue itself finds the rest still waiting.
void DeliverSentMessages(DWORD thread)
{
    for (;;) {
        SentMessage m;
        {
            core::Guard g(core::Lock());
            if (!TakeSent(thread, &m))
                return;
        }
        LPARAM lParam = m.record.empty() ? m.lParam : reinterpret_cast<LPARAM>(m.record.data());
        CallWindowProcedure(m.window, m.message, m.wParam, lParam);
    }
}

// Lock held.
std::deque<MSG>::iterator FirstPosted(ThreadQueue& q, const MessageFilter& filter)
{
    return std::find_if(q.posted.begin(), q.posted.end(),
                        [&filter](const MSG& m) { return filter.Matches(m.hwnd, m.message); });
}

// Lock held. Windows' order: posted messages, then WM_QUIT, then a due
// timer; a timer's next period starts when its WM_TIMER is removed, which
// is what coalesces a timer that is late by several periods.
bool TakeMessage(DWORD thread, const MessageFilter& filter, bool remove, MSG* msg)
{
    ThreadQueue& q = QueueOf(thread);
    auto posted = FirstPosted(q, filter);
    if (posted != q.posted.end()) {
        *msg = *posted;
        if (remove)
            q.posted.erase(posted);
        return true;
    }
    if (q.quitPosted) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, TickLocked(), {0, 0}};
        if (remove)
            q.quitPosted = false;
        return true;
    }
    uint64_t now = core::NowLocked();
    if (Timer* t = DueTimer(thread, filter, now)) {
        *msg = MSG{t->window, WM_TIMER, t->id, reinterpret_cast<LPARAM>(t->procedure),
                   static_cast<DWORD>(now), {0, 0}};
        if (remove)
            t->due = now + t->period;
        return true;
    }
    return false;
}

// Lock held; called by GetMessageA's wait, from any thread (Settle asks it
// too), so everything it needs is captured rather than taken from the caller.
bool HasSomethingToDo(DWORD thread, const MessageFilter& filter, uint64_t timerChanges)
{
    ThreadQueue& q = QueueOf(thread);
    return !q.sent.empty() || q.quitPosted || q.timerChanges != timerChanges ||
           FirstPosted(q, filter) != q.posted.end() ||
           DueTimer(thread, filter, core::NowLocked()) != nullptr ||
           !IsFilterWindowValid(filter.window);
}

// Lock held.
DWORD TimeUntil(uint64_t due)
{
    if (due == UINT64_MAX)
        return INFINITE;
    uint64_t now = core::NowLocked();
    if (due <= now)
        return 0;
    return static_cast<DWORD>(std::min<uint64_t>(due - now, INFINITE - 1));
}

} // namespace

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD owner = GetCurrentThreadId();
    core::Guard g(core::Lock());
    if (window != nullptr) {
        Window* w = LookUpWindow(window);
        if (w == nullptr) {
            core::ReportMisuse("PostMessageA to " + HandleText(window) + ", which is not a window");
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        owner = w->ownerThread;
    }
    QueueOf(owner).posted.push_back(MSG{window, message, wParam, lParam, TickLocked(), {0, 0}});
    core::NotifyAll();
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD thread = GetCurrentThreadId();
    WNDPROC procedure;
    {
        core::Guard g(core::Lock());
        Window* w = LookUpWindow(window);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (w->ownerThread != thread) {
            core::ReportMisuse("SendMessageA to " + HandleText(window) +
                               " of another thread, which the emulation does not support");
            SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
            return 0;
        }
        procedure = w->procedure;
        if (core::RefuseCallIntoUnloadedCode(reinterpret_cast<const void*>(procedure),
                                              "message " + std::to_string(message) + " to the window " +
                                                  HandleText(window)))
            return 0;
    }
    return procedure(window, message, wParam, lParam);
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax)
{
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    DWORD thread = GetCurrentThreadId();
    MessageFilter filter{window, filterMin, filterMax};
    for (;;) {
        DeliverSentMessages(thread);
        core::Guard g(core::Lock());
        if (!IsFilterWindowValid(window)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        }
        if (TakeMessage(thread, filter, true, msg))
            return msg->message == WM_QUIT ? FALSE : TRUE;
        uint64_t timerChanges = QueueOf(thread).timerChanges;
        auto ready = [thread, filter, timerChanges] {
            return HasSomethingToDo(thread, filter, timerChanges);
        };
        core::WaitFor(g, ready, TimeUntil(NextTimerDue(thread, filter)));
    }
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove)
{
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD thread = GetCurrentThreadId();
    DeliverSentMessages(thread);
    core::Guard g(core::Lock());
    if (!IsFilterWindowValid(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    MessageFilter filter{window, filterMin, filterMax};
    return TakeMessage(thread, filter, (remove & PM_REMOVE) != 0, msg) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*)
{
    return FALSE; // no keyboard, so never a character message to make
}

LRESULT WINAPI DispatchMessageA(const MSG* msg)
{
    if (msg == nullptr)
        return 0;
    DWORD thread = GetCurrentThreadId();
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        // Only the procedure of a live timer is called, as Windows checks
        // too; a forged WM_TIMER cannot make it jump anywhere.
        TIMERPROC procedure = reinterpret_cast<TIMERPROC>(msg->lParam);
        DWORD tick;
        {
            core::Guard g(core::Lock());
            Timer* t = FindTimer(msg->hwnd, msg->wParam);
            if (t == nullptr || t->procedure != procedure || t->ownerThread != thread)
                return 0;
            if (core::RefuseCallIntoUnloadedCode(reinterpret_cast<const void*>(procedure),
                                                  "the procedure of timer " + std::to_string(t->id)))
                return 0;
            tick = TickLocked();
        }
        procedure(msg->hwnd, WM_TIMER, msg->wParam, tick);
        return 0;
    }
    if (msg->hwnd == nullptr)
        return 0;
    WNDPROC procedure;
    {
        core::Guard g(core::Lock());
        Window* w = LookUpWindow(msg->hwnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (w->ownerThread != thread) {
            SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
            return 0;
        }
        procedure = w->procedure;
        if (core::RefuseCallIntoUnloadedCode(reinterpret_cast<const void*>(procedure),
                                              "message " + std::to_string(msg->message) + " to the window " +
                                                  HandleText(msg->hwnd)))
            return 0;
    }
    return procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int exitCode)
{
    DWORD thread = GetCurrentThreadId();
    core::Guard g(core::Lock());
    ThreadQueue& q = QueueOf(thread);
    q.quitPosted = true;
    q.quitCode = exitCode;
    core::NotifyAll();
}
