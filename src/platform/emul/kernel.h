// Emulated kernel32: handles, files on the simulated device bus, events,
// critical sections, threads, waits, the tick count, the module path, memory
// and the ANSI code page.
//
// Every function keeps the Windows contract: the same return values, the
// same GetLastError codes, the same ownership of what it returns. "Blocks"
// says whether a call can wait; every wait follows the virtual clock of
// control.h. Misuse that Windows tolerates silently or punishes later (a
// handle closed twice, a wait on a closed handle) is also reported to the
// accounting so that tests catch it.
#pragma once

#include "platform/emul/types.h"

// --- Errors ---------------------------------------------------------------
// The last-error value is per thread, as on Windows. Does not block.
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD error);

// --- Handles --------------------------------------------------------------
// Closes an event, thread or file handle; the object goes when its last
// handle does. Invalid or already closed handle: FALSE, ERROR_INVALID_HANDLE,
// and a misuse report. Does not block.
BOOL WINAPI CloseHandle(HANDLE handle);

// --- Files ----------------------------------------------------------------
// Opens a device or one of its pipes on the simulated bus (control.h:
// emu::SetDeviceBus). Names compare without regard to letter case, as the
// object manager does for device paths. Unknown name: INVALID_HANDLE_VALUE,
// ERROR_FILE_NOT_FOUND; a name the bus refuses: INVALID_HANDLE_VALUE and the
// bus's error. Share modes hold as on Windows: an open that asks for access
// that an open handle of the same device or pipe does not share, or that does
// not share the access such a handle has, fails with ERROR_SHARING_VIOLATION
// (the device and each of its pipes count apart). The caller owns the handle
// and closes it with CloseHandle. Does not block.
HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
// Transfers on a device handle. The byte-count pointer is required without
// OVERLAPPED, as Windows requires it (null: FALSE, ERROR_INVALID_PARAMETER
// and a misuse report); the count is always written when given (0 on
// failure). A read of a pipe that blocks (the simulated reply and image
// pipes) waits until data arrives or the pipe's own time-out has passed on
// the clock, then fails with ERROR_SEM_TIMEOUT as a USB bulk pipe does; a
// pipe without a time-out waits for ever. When the caller and every
// emulated thread are blocked, the clock jumps to the earliest deadline, so
// no second thread has to move it; a wait that nothing can ever end fails
// as a hang (control.h, kHangGraceMs) with ERROR_POSSIBLE_DEADLOCK.
// Invalid handle: FALSE, ERROR_INVALID_HANDLE.
//
// Overlapped reads, on a handle opened with FILE_FLAG_OVERLAPPED (which
// then needs an OVERLAPPED for every read: without, FALSE,
// ERROR_INVALID_PARAMETER and a misuse report): ReadFile sets Internal to
// STATUS_PENDING and resets hEvent (when not null), then returns TRUE when
// the read completed at once (the count through `read` when given), FALSE
// with ERROR_IO_PENDING when it goes on, FALSE with the device's error when
// it failed at once. On completion Internal takes the NTSTATUS, InternalHigh
// the count and hEvent is set; the file handle is signalled while no read
// is in flight on it. A synchronous handle with an OVERLAPPED reads
// synchronously and fills the OVERLAPPED the same way. Writes are
// synchronous and take no OVERLAPPED (ERROR_INVALID_PARAMETER).
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                      LPOVERLAPPED overlapped);
// The outcome of an overlapped read: the count (InternalHigh) and TRUE, or
// FALSE with the error of its status (ERROR_OPERATION_ABORTED for a
// cancelled read, ERROR_SEM_TIMEOUT for the device's time-out). Still in
// flight: FALSE, ERROR_IO_INCOMPLETE, unless `wait`, which waits for it as
// a wait on its event does (a device wait, see ReadFile).
BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);
// Cancels the reads in flight on the handle that use `overlapped` (null:
// all of them); they complete with ERROR_OPERATION_ABORTED, here at once
// (Windows may take a moment: wait for the completion). None in flight:
// FALSE, ERROR_NOT_FOUND. Invalid handle: FALSE, ERROR_INVALID_HANDLE.
// Closing a handle cancels its reads the same way.
BOOL WINAPI CancelIoEx(HANDLE file, LPOVERLAPPED overlapped);

// --- Events ---------------------------------------------------------------
// Unnamed or named event. A new object sets the last error to 0; an
// existing name returns a new handle to the same event and sets
// ERROR_ALREADY_EXISTS (the initial state is then ignored). A name longer
// than MAX_PATH: null, ERROR_FILENAME_EXCED_RANGE. The caller owns the
// handle. Does not block.
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                           LPCSTR name);
// Does not block. Invalid handle: FALSE, ERROR_INVALID_HANDLE.
BOOL WINAPI SetEvent(HANDLE event);
BOOL WINAPI ResetEvent(HANDLE event);

// --- Critical sections ----------------------------------------------------
// Recursive for the owning thread, as on Windows. Enter blocks (in real
// time: a critical section is not a timed wait).
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);

// --- Threads --------------------------------------------------------------
// Starts a real thread running the routine (stack size is accepted and
// ignored; CREATE_SUSPENDED is not supported: null, ERROR_INVALID_PARAMETER).
// The handle is signalled when the routine returns. The caller owns it.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                           LPTHREAD_START_ROUTINE routine, LPVOID parameter, DWORD flags,
                           LPDWORD threadId);
// The priority is recorded; the emulation schedules all threads alike.
BOOL WINAPI SetThreadPriority(HANDLE thread, int priority);
int WINAPI GetThreadPriority(HANDLE thread);
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD WINAPI GetCurrentThreadId(void);

// --- Waits ----------------------------------------------------------------
// Waits for an event, a thread or a file. The time-out runs on the virtual clock:
// the call returns WAIT_TIMEOUT once the clock has been advanced past it
// (control.h), on the first tick of the system timer at or after it, as on
// Windows (15.625 ms apart unless timeBeginPeriod raised it, winmm.h). A
// zero time-out only polls. An auto-reset event is reset by
// the wait that it satisfies. Invalid handle: WAIT_FAILED,
// ERROR_INVALID_HANDLE, and a misuse report. A wait on the event of a read
// in flight, or on a file, is a device wait as in ReadFile: the clock jumps,
// and a hang gives WAIT_FAILED with ERROR_POSSIBLE_DEADLOCK.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// --- Time -----------------------------------------------------------------
// Milliseconds on the virtual clock, wrapping at 2^32 like the real count.
DWORD WINAPI GetTickCount(void);
// The high-resolution counter: the clock in microseconds (frequency
// 1 000 000), never wrapping. Both always succeed, as they do on every
// Windows since XP. Do not block.
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// --- Module ---------------------------------------------------------------
// The path of a module loaded with emu::LoadModule (or of the program for a
// null module). Returns the length copied without the terminator. A buffer
// too small receives the path cut to size - 1 characters and a terminator;
// the result is then size and the last error ERROR_INSUFFICIENT_BUFFER.
// Unknown module: 0, ERROR_INVALID_HANDLE (ERROR_MOD_NOT_FOUND on Windows
// for some handles; the driver only passes its own).
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// --- Memory ---------------------------------------------------------------
// The process heap; every block is counted by the accounting until freed.
// HeapAlloc returns null on failure (no exception flag is honoured) and the
// emulation can be told to fail allocations (control.h). HeapReAlloc keeps
// the contents; on failure the old block stays valid.
HANDLE WINAPI GetProcessHeap(void);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
// Global memory for the dialog template. GlobalLock returns the block's
// address (moveable or not); GlobalFree returns null on success and the
// handle on failure, as on Windows.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID WINAPI GlobalLock(HGLOBAL memory);
BOOL WINAPI GlobalUnlock(HGLOBAL memory);
HGLOBAL WINAPI GlobalFree(HGLOBAL memory);

// --- Text -----------------------------------------------------------------
// Converts from the ANSI code page, which here is Windows-1252 (0xB0 is the
// degree sign); CP_ACP and 1252 are accepted. A source length of -1 includes
// the terminator. A destination size of 0 asks for the length needed.
// Destination too small: 0, ERROR_INSUFFICIENT_BUFFER.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source, int sourceLength,
                               LPWSTR destination, int destinationLength);
