#include "platform/emul/core.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <list>
#include <map>
#include <vector>

namespace emu::core {
namespace {

struct Waiter {
    const std::function<bool()>* ready;
    uint64_t deadline; // UINT64_MAX: none
    bool emulated;     // the thread was started with CreateThread
};

struct State {
    std::mutex lock;
    std::condition_variable changed;
    uint64_t virtualNow = 0;
    bool realTime = false;
    std::chrono::steady_clock::time_point realBase;
    uint64_t realBaseNow = 0;
    double realSpeed = 1.0; // virtual milliseconds per real millisecond
    Counts counts;
    std::list<Waiter*> waiters; // threads currently blocked in WaitFor
    int failAllocations = 0;
    DeviceBus* bus = nullptr;
};

State& S()
{
    static State* state = new State; // never destroyed: threads may outlive main's statics
    return *state;
}

std::mutex& MisuseLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}
std::vector<std::string>& MisuseList()
{
    static std::vector<std::string>* list = new std::vector<std::string>;
    return *list;
}
std::atomic<long> misuseCount{0};

thread_local bool emulatedThread = false;

// A waiter can make progress when its condition holds or its deadline passed.
bool Runnable(const Waiter& w, uint64_t now)
{
    return (*w.ready)() || now >= w.deadline;
}

} // namespace

std::mutex& Lock() { return S().lock; }

void NotifyAll() { S().changed.notify_all(); }

uint64_t NowLocked()
{
    State& s = S();
    if (!s.realTime)
        return s.virtualNow;
    std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - s.realBase;
    return s.realBaseNow + (uint64_t)(elapsed.count() * s.realSpeed);
}

// Lock held. How long to sleep in real time for the clock to reach
// `deadline`; never less than a tenth of a millisecond, so that a fast
// clock does not spin.
std::chrono::microseconds RealWait(uint64_t deadline)
{
    State& s = S();
    uint64_t now = NowLocked();
    double virtualMs = deadline > now ? (double)(deadline - now) : 0.0;
    return std::chrono::microseconds(std::max<int64_t>((int64_t)(virtualMs * 1000.0 / s.realSpeed), 100));
}

namespace {

// True when no thread started with CreateThread can make progress without
// another event or a clock step: each is blocked in a wait that is not due.
bool EmulatedThreadsResting(State& s, uint64_t now)
{
    long resting = 0;
    for (Waiter* w : s.waiters)
        if (w->emulated && !Runnable(*w, now))
            ++resting;
    return resting >= s.counts.threadsRunning;
}

// The earliest deadline of any wait, `own` included.
uint64_t EarliestDeadline(const State& s, uint64_t own)
{
    uint64_t earliest = own;
    for (const Waiter* w : s.waiters)
        earliest = std::min(earliest, w->deadline);
    return earliest;
}

// Moves the virtual clock to the next deadline when nothing else can
// happen before it; true when it moved. A device read that is due must be
// completed first: its completion may be what a thread waits for.
bool JumpToNextDeadline(State& s, uint64_t own)
{
    if (s.realTime)
        return false;
    uint64_t now = s.virtualNow;
    if (!EmulatedThreadsResting(s, now) || IoDue(now))
        return false;
    uint64_t next = std::min(EarliestDeadline(s, own), EarliestIoDeadline());
    if (next == UINT64_MAX || next <= now)
        return false;
    s.virtualNow = next;
    NotifyAll();
    return true;
}

// Nothing can end a wait any more: every emulated thread rests, no read is
// due, and no wait or read has a deadline to move the clock to.
bool NothingPending(State& s)
{
    uint64_t now = NowLocked();
    return !s.realTime && EmulatedThreadsResting(s, now) && !IoDue(now) &&
           EarliestDeadline(s, UINT64_MAX) == UINT64_MAX && EarliestIoDeadline() == UINT64_MAX;
}

WaitEnd Wait(Guard& guard, const std::function<bool()>& ready, DWORD timeout, bool jumpClock,
             const char* what)
{
    State& s = S();
    ProgressIo(guard);
    if (ready())
        return WaitEnd::Ready;
    if (timeout == 0)
        return WaitEnd::TimedOut;
    uint64_t deadline = timeout == INFINITE ? UINT64_MAX : NowLocked() + timeout;
    Waiter self{&ready, deadline, emulatedThread};
    s.waiters.push_back(&self);
    WaitEnd result;
    bool stuck = false;
    std::chrono::steady_clock::time_point stuckSince;
    for (;;) {
        ProgressIo(guard);
        if (ready()) {
            result = WaitEnd::Ready;
            break;
        }
        if (NowLocked() >= deadline) {
            result = WaitEnd::TimedOut;
            break;
        }
        if (jumpClock && JumpToNextDeadline(s, deadline)) {
            stuck = false;
            continue;
        }
        if (what != nullptr && NothingPending(s)) {
            auto real = std::chrono::steady_clock::now();
            if (!stuck) {
                stuck = true;
                stuckSince = real;
            } else if (real - stuckSince >= std::chrono::milliseconds(kHangGraceMs)) {
                result = WaitEnd::Hang;
                break;
            }
        } else {
            stuck = false;
        }
        if (s.realTime && std::min(deadline, EarliestIoDeadline()) != UINT64_MAX)
            s.changed.wait_for(guard, RealWait(std::min(deadline, EarliestIoDeadline())));
        else if (jumpClock)
            // Threads that are running do not always notify when they come to
            // rest; look again shortly, as Settle does.
            s.changed.wait_for(guard, std::chrono::milliseconds(1));
        else
            s.changed.wait(guard);
    }
    s.waiters.remove(&self);
    if (result == WaitEnd::Hang) {
        guard.unlock();
        ReportMisuse(std::string("hang: ") + what +
                     " waits for ever: every thread is blocked and nothing has a deadline");
        guard.lock();
    }
    return result;
}

} // namespace

bool WaitFor(Guard& guard, const std::function<bool()>& ready, DWORD timeout)
{
    return Wait(guard, ready, timeout, false, nullptr) == WaitEnd::Ready;
}

bool WaitForJumpingClock(Guard& guard, const std::function<bool()>& ready, DWORD timeout)
{
    return Wait(guard, ready, timeout, true, nullptr) == WaitEnd::Ready;
}

WaitEnd WaitForDevice(Guard& guard, const std::function<bool()>& ready, DWORD timeout, const char* what)
{
    return Wait(guard, ready, timeout, true, what);
}

void ThreadStarted()
{
    emulatedThread = true;
}

void ThreadEnded()
{
    emulatedThread = false;
}

Counts& Counters() { return S().counts; }

void ReportMisuse(const std::string& what)
{
    {
        std::lock_guard<std::mutex> g(MisuseLock());
        MisuseList().push_back(what);
    }
    ++misuseCount;
    std::fprintf(stderr, "win32 emulation: misuse: %s\n", what.c_str());
}

bool TakeAllocationFailure()
{
    State& s = S();
    if (s.failAllocations <= 0)
        return false;
    --s.failAllocations;
    return true;
}

DeviceBus* Bus() { return S().bus; }

} // namespace emu::core

namespace emu {

using namespace core;

uint64_t Now()
{
    Guard g(Lock());
    return NowLocked();
}

void SetNow(uint64_t milliseconds)
{
    {
        Guard g(Lock());
        State& s = S();
        s.virtualNow = milliseconds;
        s.realBaseNow = milliseconds;
        s.realBase = std::chrono::steady_clock::now();
        NotifyAll();
    }
    Settle();
}

void Advance(uint64_t milliseconds)
{
    {
        Guard g(Lock());
        State& s = S();
        if (s.realTime)
            s.realBaseNow += milliseconds;
        else
            s.virtualNow += milliseconds;
        NotifyAll();
    }
    Settle();
}

void UseRealTime(bool on)
{
    Guard g(Lock());
    State& s = S();
    if (on == s.realTime)
        return;
    uint64_t now = NowLocked();
    s.realTime = on;
    s.virtualNow = now;
    s.realBaseNow = now;
    s.realBase = std::chrono::steady_clock::now();
    NotifyAll();
}

void SetRealTimeSpeed(double factor)
{
    Guard g(Lock());
    State& s = S();
    // Rebase first, so the time already run keeps the speed it ran at.
    uint64_t now = NowLocked();
    s.realBaseNow = now;
    s.realBase = std::chrono::steady_clock::now();
    s.realSpeed = factor > 0.0 ? factor : 1.0;
    NotifyAll();
}

void Settle()
{
    Guard g(Lock());
    State& s = S();
    for (;;) {
        ProgressIo(g);
        uint64_t now = NowLocked();
        if (EmulatedThreadsResting(s, now) && !IoDue(now))
            return;
        // A running thread does not always notify; look again shortly.
        s.changed.wait_for(g, std::chrono::milliseconds(1));
    }
}

Counts Snapshot()
{
    Guard g(Lock());
    Counts c = S().counts;
    c.misuse = misuseCount.load();
    return c;
}

std::vector<std::string> TakeMisuseReports()
{
    std::lock_guard<std::mutex> g(MisuseLock());
    std::vector<std::string> out;
    out.swap(MisuseList());
    return out;
}

void FailAllocations(int count)
{
    Guard g(Lock());
    S().failAllocations = count;
}

void SetDeviceBus(DeviceBus* bus)
{
    Guard g(Lock());
    S().bus = bus;
}

} // namespace emu
