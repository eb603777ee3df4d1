// Internal machinery shared by the emulated kernel32, user32 and SetupAPI:
// one lock over all emulated state, the waits on the virtual clock, the
// registry of emulated threads that Settle watches, the accounting and the
// misuse reports. Nothing outside src/platform/emul includes this.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/emul/control.h"
#include "platform/emul/types.h"

namespace emu::core {

// One lock guards every emulated object. It is never held while calling out
// of the emulation (window procedures, thread routines, the device bus).
std::mutex& Lock();
typedef std::unique_lock<std::mutex> Guard;

// Wakes every wait so that it re-evaluates its condition. Call with the lock
// held after any change that a wait might be waiting for.
void NotifyAll();

// The clock in milliseconds; call with the lock held.
uint64_t NowLocked();

// Blocks the calling thread (lock held on entry and on return) until
// `ready()` is true or `timeout` milliseconds of the clock have passed
// (INFINITE: no limit; 0: poll once). Returns ready()'s last answer.
bool WaitFor(Guard& guard, const std::function<bool()>& ready, DWORD timeout);
// The same, for a wait that only the passing of time may end, as a device
// transfer that waits for its time-out: when the caller and every thread
// started with CreateThread are blocked, nothing can happen before the
// earliest deadline of all waits, so the virtual clock jumps there (the
// earliest first, so that the threads due then run before the clock moves
// on). No other thread is needed to move the clock. Follows real time like
// WaitFor after UseRealTime(true).
bool WaitForJumpingClock(Guard& guard, const std::function<bool()>& ready, DWORD timeout);
// How a wait on a device ended.
enum class WaitEnd { Ready, TimedOut, Hang };
// WaitForJumpingClock for a wait on a device, which also recognises a hang
// (control.h, kHangGraceMs): it then reports the misuse, naming `what`.
WaitEnd WaitForDevice(Guard& guard, const std::function<bool()>& ready, DWORD timeout, const char* what);

// Device reads in flight (file_reads.cpp), all with the lock held.
// Completes every read that is due: data to deliver, the device's time-out
// passed, or cancelled. Releases the lock while a device delivers.
void ProgressIo(Guard& guard);
// Whether some read is due at `now` or being completed: the clock must not
// move on before it is.
bool IoDue(uint64_t now);
// The earliest clock time at which a read falls due; UINT64_MAX: none.
uint64_t EarliestIoDeadline();

// Emulated threads (created through CreateThread) announce their start and
// end so that Settle can tell when they have all come to rest.
void ThreadStarted();
void ThreadEnded();

// The accounting, guarded by Lock().
Counts& Counters();

// Records a misuse report (lock held or not: it takes a lock of its own) and
// prints it to stderr so that it is seen even when no test asks for it.
void ReportMisuse(const std::string& what);

// Allocation fault injection: true when this allocation must fail. Lock held.
bool TakeAllocationFailure();

// Module registry used by GetModuleFileNameA; lock held.
bool ModulePath(HINSTANCE module, std::string* path);

// The installed device bus (may be null); lock held to read the pointer.
DeviceBus* Bus();

} // namespace emu::core
