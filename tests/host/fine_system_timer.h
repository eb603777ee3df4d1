// Raises the emulated system timer's period to 1 ms for a scope. Timed waits
// otherwise end on a tick of the 15.6 ms default step, as on Windows; tests
// that measure the driver's own limits to the millisecond take the step out
// of the measurement with this, as an application may do on Windows.
#pragma once

#include "platform/win32.h"

class FineSystemTimer {
public:
    FineSystemTimer() { timeBeginPeriod(1); }
    ~FineSystemTimer() { timeEndPeriod(1); }
    FineSystemTimer(const FineSystemTimer&) = delete;
    FineSystemTimer& operator=(const FineSystemTimer&) = delete;
};
