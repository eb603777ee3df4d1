#include <algorithm>

#include "platform/emul/core.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"
#include "platform/emul/user_state.h"

using namespace emu;
using namespace emu::user;

namespace {

// The bounds Windows applies to a period (USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM).
constexpr uint64_t kShortestPeriod = 0x0000000A;
constexpr uint64_t kLongestPeriod = 0x7FFFFFFF;

uint64_t BoundedPeriod(UINT elapse)
{
    return std::min(std::max<uint64_t>(elapse, kShortestPeriod), kLongestPeriod);
}

// Lock held.
void Arm(Timer& t, uint64_t period, TIMERPROC procedure)
{
    t.period = period;
    t.due = core::NowLocked() + period;
    t.procedure = procedure;
    ++QueueOf(t.ownerThread).timerChanges;
    core::NotifyAll();
}

// Lock held.
Timer& AddTimer(HWND window, UINT_PTR id, DWORD owner)
{
    Timer t;
    t.window = window;
    t.id = id;
    t.ownerThread = owner;
    S().timers.push_back(t);
    ++core::Counters().timers;
    return S().timers.back();
}

// Lock held. A thread timer is known by its id alone and only to its thread.
Timer* FindThreadTimer(UINT_PTR id, DWORD thread)
{
    Timer* t = FindTimer(nullptr, id);
    return t != nullptr && t->ownerThread == thread ? t : nullptr;
}

// Lock held. Ids the system picks for thread timers, never one in use.
UINT_PTR NewThreadTimerId()
{
    State& s = S();
    UINT_PTR id;
    do {
        id = s.nextThreadTimerId++;
    } while (id == 0 || FindTimer(nullptr, id) != nullptr);
    return id;
}

} // namespace

namespace emu::user {

Timer* FindTimer(HWND window, UINT_PTR id)
{
    for (Timer& t : S().timers)
        if (t.window == window && t.id == id)
            return &t;
    return nullptr;
}

Timer* DueTimer(DWORD thread, const MessageFilter& filter, uint64_t now)
{
    Timer* earliest = nullptr;
    for (Timer& t : S().timers) {
        if (t.ownerThread != thread || t.due > now || !filter.Matches(t.window, WM_TIMER))
            continue;
        if (earliest == nullptr || t.due < earliest->due)
            earliest = &t;
    }
    return earliest;
}

uint64_t NextTimerDue(DWORD thread, const MessageFilter& filter)
{
    uint64_t next = UINT64_MAX;
    for (const Timer& t : S().timers)
        if (t.ownerThread == thread && filter.Matches(t.window, WM_TIMER))
            next = std::min(next, t.due);
    return next;
}

void KillWindowTimers(HWND window)
{
    auto& timers = S().timers;
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->window != window) {
            ++it;
            continue;
        }
        ++QueueOf(it->ownerThread).timerChanges;
        it = timers.erase(it);
        --core::Counters().timers;
    }
}

} // namespace emu::user

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure)
{
    DWORD thread = GetCurrentThreadId();
    uint64_t period = BoundedPeriod(elapse);
    core::Guard g(core::Lock());
    if (window == nullptr) {
        Timer* t = id != 0 ? FindThreadTimer(id, thread) : nullptr;
        if (t == nullptr)
            t = &AddTimer(nullptr, NewThreadTimerId(), thread);
        Arm(*t, period, procedure);
        return t->id;
    }
    Window* w = LookUpWindow(window);
    if (w == nullptr) {
        core::ReportMisuse("SetTimer on " + HandleText(window) + ", which is not a window");
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Timer* t = FindTimer(window, id);
    if (t == nullptr)
        t = &AddTimer(window, id, w->ownerThread);
    Arm(*t, period, procedure);
    return id != 0 ? id : 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id)
{
    DWORD thread = GetCurrentThreadId();
    core::Guard g(core::Lock());
    if (window != nullptr && LookUpWindow(window) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Timer* t = window != nullptr ? FindTimer(window, id) : FindThreadTimer(id, thread);
    if (t == nullptr)
        return FALSE;
    ++QueueOf(t->ownerThread).timerChanges;
    S().timers.erase(S().timers.begin() + (t - S().timers.data()));
    --core::Counters().timers;
    core::NotifyAll();
    return TRUE;
}
