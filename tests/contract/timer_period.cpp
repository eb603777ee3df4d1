// The system timer's period, which the exposure worker raises to 1 ms while
// it waits: timed waits end on the timer's ticks, 15.6 ms apart by default.
#include "contract/harness.h"

namespace {

struct PeriodWait {
    bool raise;
    DWORD result;
};

DWORD WINAPI WaitTwentyMilliseconds(LPVOID parameter)
{
    auto* wait = static_cast<PeriodWait*>(parameter);
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (wait->raise)
        timeBeginPeriod(1);
    wait->result = WaitForSingleObject(never, 20);
    if (wait->raise)
        timeEndPeriod(1);
    CloseHandle(never);
    return 0;
}

} // namespace

CONTRACT_TEST(TimerPeriod, PeriodsOutsideTheRangeAreRefused)
{
    CHECK_EQ(timeBeginPeriod(0), static_cast<MMRESULT>(TIMERR_NOCANDO));
    CHECK_EQ(timeEndPeriod(0), static_cast<MMRESULT>(TIMERR_NOCANDO));
    CHECK_EQ(timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
    CHECK_EQ(timeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
}

CONTRACT_TEST(TimerPeriod, ATimedWaitNeverEndsBeforeItsTime)
{
    for (bool raise : {false, true}) {
        PeriodWait wait{raise, 0xDEAD};
        HANDLE thread = CreateThread(nullptr, 0, WaitTwentyMilliseconds, &wait, 0, nullptr);
        REQUIRE(thread != nullptr);
        contract::LetTimePass(10);
        CHECK_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        contract::LetTimePass(100);
        CHECK_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
        CHECK_EQ(wait.result, static_cast<DWORD>(WAIT_TIMEOUT));
        CHECK(CloseHandle(thread));
    }
}
