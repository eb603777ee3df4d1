// The system timer's step, as the emulated waits see it (timer_period.cpp).
// Nothing outside src/platform/emul includes this.
#pragma once

#include "platform/emul/types.h"

namespace emu::core {

// The time-out a wait of `milliseconds` begun now really has: it ends on the
// first tick of the system timer at or after its due time. 0 and INFINITE
// stay as they are. Lock held.
DWORD TimerStepTimeout(DWORD milliseconds);

} // namespace emu::core
