// Emulated winmm: the system timer's period. Waits with a time-out end on a
// tick of the system timer, every 15.625 ms unless a program asks for a
// finer one; timeBeginPeriod(n) makes the ticks come every n ms (the finest
// period asked for by anyone counts) until the matching timeEndPeriod(n).
#pragma once

#include "platform/emul/types.h"

typedef UINT MMRESULT;

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

// Period in milliseconds, 1 to 1 000 000; outside: TIMERR_NOCANDO. Every
// timeBeginPeriod must be paired with a timeEndPeriod of the same period;
// the accounting counts the periods not yet ended, and a timeEndPeriod
// without its timeBeginPeriod is a misuse (TIMERR_NOCANDO). Do not block.
MMRESULT WINAPI timeBeginPeriod(UINT period);
MMRESULT WINAPI timeEndPeriod(UINT period);
