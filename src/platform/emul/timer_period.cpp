// The system timer: its ticks come every 15.625 ms (64 a second, Windows'
// default) unless a period was raised with timeBeginPeriod, so a wait of
// 5 ms lasts until the next tick, as on Windows.
#include "platform/emul/winmm.h"

#include <algorithm>
#include <map>
#include <string>

#include "platform/emul/core.h"
#include "platform/emul/kernel.h"
#include "platform/emul/timer_period.h"

namespace {

constexpr uint64_t kDefaultStepMicroseconds = 15625;
constexpr UINT kFinestPeriod = 1;
constexpr UINT kCoarsestPeriod = 1000000;

// Periods asked for and not yet ended, by period; lock held.
std::map<UINT, long>& Raised()
{
    static auto* raised = new std::map<UINT, long>; // never destroyed: threads may outlive main's statics
    return *raised;
}

uint64_t StepMicroseconds()
{
    if (Raised().empty())
        return kDefaultStepMicroseconds;
    return std::min<uint64_t>(kDefaultStepMicroseconds, Raised().begin()->first * 1000ull);
}

} // namespace

namespace emu::core {

DWORD TimerStepTimeout(DWORD milliseconds)
{
    if (milliseconds == 0 || milliseconds == INFINITE)
        return milliseconds;
    uint64_t now = NowLocked();
    uint64_t step = StepMicroseconds();
    uint64_t due = (now + milliseconds) * 1000;
    uint64_t tick = (due + step - 1) / step * step;
    uint64_t end = (tick + 999) / 1000;
    return static_cast<DWORD>(std::min<uint64_t>(end - now, INFINITE - 1));
}

} // namespace emu::core

MMRESULT WINAPI timeBeginPeriod(UINT period)
{
    if (period < kFinestPeriod || period > kCoarsestPeriod)
        return TIMERR_NOCANDO;
    emu::core::Guard g(emu::core::Lock());
    ++Raised()[period];
    ++emu::core::Counters().timerPeriods;
    return TIMERR_NOERROR;
}

MMRESULT WINAPI timeEndPeriod(UINT period)
{
    if (period < kFinestPeriod || period > kCoarsestPeriod)
        return TIMERR_NOCANDO;
    emu::core::Guard g(emu::core::Lock());
    auto it = Raised().find(period);
    if (it == Raised().end()) {
        g.unlock();
        emu::core::ReportMisuse("timeEndPeriod(" + std::to_string(period) +
                                ") without a timeBeginPeriod of that period");
        return TIMERR_NOCANDO;
    }
    if (--it->second == 0)
        Raised().erase(it);
    --emu::core::Counters().timerPeriods;
    return TIMERR_NOERROR;
}
