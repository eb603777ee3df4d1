// What only the emulation can do: the virtual clock, the accounting, the
// module loader, fault injection into memory, and the hook through which the
// simulated device bus serves CreateFileA, ReadFile, WriteFile and SetupAPI.
//
// Tests, the simulated bus and the command-line host use this; the driver
// never does (it only sees the Win32 names of win32.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/emul/types.h"

namespace emu {

// --- Virtual clock ----------------------------------------------------------
// The clock starts at 0 and moves only when told to (or follows real time
// after UseRealTime(true)). GetTickCount is its low 32 bits.
uint64_t Now();
// Sets the clock, e.g. just below 2^32 to test the wrap of GetTickCount.
void SetNow(uint64_t milliseconds);
// Moves the clock forward, wakes the waits and timers that fall due, and
// returns once every emulated thread has reacted (see Settle).
void Advance(uint64_t milliseconds);
// Lets the clock follow the steady real-time clock from its current value
// (for the command-line host); false returns to virtual time.
void UseRealTime(bool on);
// In real-time mode, how many virtual milliseconds pass per real one (1 at
// start; a value that is not above 0 counts as 1). The command-line host
// runs a night's session in a minute with it.
void SetRealTimeSpeed(double factor);
// Returns once every thread started with CreateThread has either ended or
// is blocked in a wait that cannot end without another event or clock step,
// and no device read is due.
void Settle();
// A thread waiting on a device (a read, or a wait for an overlapped read to
// complete) when nothing can ever end the wait: every emulated thread is
// blocked, no wait and no device has a deadline, and it stays so for this
// long in real time (a thread outside the emulation may still act). The
// wait then fails with ERROR_POSSIBLE_DEADLOCK and a misuse report that
// starts with "hang:", where Windows would wait for ever.
constexpr unsigned kHangGraceMs = 2000;

// --- Accounting -------------------------------------------------------------
struct Counts {
    long handles = 0;        // open kernel handles (events, threads, files)
    long windows = 0;        // existing windows
    long classes = 0;        // registered window classes
    long timers = 0;         // armed timers
    long registrations = 0;  // device-event registrations
    long deviceInfoSets = 0; // SetupAPI sets not yet destroyed
    long heapBlocks = 0;     // heap blocks not yet freed
    long globalBlocks = 0;   // global memory blocks not yet freed
    long criticalSections = 0;
    long threadsRunning = 0; // threads whose routine has not returned
    long timerPeriods = 0;   // timeBeginPeriod calls not yet ended by timeEndPeriod
    long pendingIo = 0;      // device reads started and not yet completed
    uint64_t heapAllocations = 0; // HeapAlloc and growing HeapReAlloc calls ever made
    long misuse = 0;         // misuse reports so far
};
Counts Snapshot();
// The misuse reports since the last call, oldest first; also clears them.
std::vector<std::string> TakeMisuseReports();
// Makes the next `count` HeapAlloc/HeapReAlloc/GlobalAlloc calls fail.
void FailAllocations(int count);

// --- Modules ----------------------------------------------------------------
typedef BOOL(WINAPI* DllEntry)(HINSTANCE, DWORD, LPVOID);
// Loads a module the way LoadLibraryA would: a new instance handle whose
// GetModuleFileNameA gives `path`, and its entry point called with
// DLL_PROCESS_ATTACH. Returns null (and calls nothing else) when the entry
// point returns FALSE, after calling it again with DLL_PROCESS_DETACH as
// the loader does.
HINSTANCE LoadModule(DllEntry entry, const std::string& path);
// Calls the entry point with DLL_PROCESS_DETACH and forgets the module.
BOOL FreeModule(HINSTANCE module);
// Changes the path that GetModuleFileNameA reports for a module (null: the
// program itself).
void SetModulePath(HINSTANCE module, const std::string& path);

// --- Device bus -------------------------------------------------------------
// One opened file on the bus. The functions report as ReadFile/WriteFile
// would: the result, the count and, on failure, the error code.
//
// A file whose ReadTimeout is not 0 blocks as a USB bulk pipe does: a read
// first waits until the file is readable (ReadableAt: data to deliver, or a
// failure to report) or until the time-out has passed on the clock, and then
// fails with ERROR_SEM_TIMEOUT without calling Read; INFINITE: it waits for
// ever, as a bulk pipe without a time-out does. Whoever gives such a file
// data from outside a WriteFile calls emu::DeviceStateChanged afterwards.
// Read and Write are called without the emulation's lock held.
class DeviceFile {
public:
    static constexpr uint64_t kNever = UINT64_MAX;

    virtual ~DeviceFile() = default;
    virtual bool Read(void* buffer, DWORD size, DWORD* done, DWORD* error) = 0;
    virtual bool Write(const void* buffer, DWORD size, DWORD* done, DWORD* error) = 0;
    // Milliseconds a read waits for data; 0 (default): reads never wait;
    // INFINITE: no limit.
    virtual DWORD ReadTimeout() const { return 0; }
    // Called with the emulation's lock held: must not call into the
    // emulation (it may take the device's own lock).
    virtual bool ReadReady() const { return true; }
    // The clock time (milliseconds) from which a read finds something; 0 or
    // any time not after now: at once; kNever: not before the device is
    // given data. A device whose data comes due on the clock (a late reply)
    // says when, so that the clock can move there. Same rule as ReadReady,
    // which the default asks.
    virtual uint64_t ReadableAt() const { return ReadReady() ? 0 : kNever; }
    // The object the file opens, for the share modes of CreateFileA: two
    // files of one identity are one device. Empty (default): the name the
    // file was opened by, in upper case.
    virtual std::string Identity() const { return std::string(); }
};

// One member of a SetupAPI snapshot, with the faults it injects.
struct InterfaceEntry {
    std::string path;           // as SetupAPI reports it
    DWORD enumerateError = 0;   // non-zero: SetupDiEnumDeviceInterfaces fails with it
    bool detailFails = false;   // SetupDiGetDeviceInterfaceDetailA fails for it
};

class DeviceBus {
public:
    virtual ~DeviceBus() = default;
    // Called by CreateFileA without any emulation lock held. Null with
    // *error set refuses the open.
    virtual std::unique_ptr<DeviceFile> Open(const std::string& name, DWORD* error) = 0;
    // Present interfaces of a class in member order; false with *error set
    // makes SetupDiGetClassDevsA fail.
    virtual bool Interfaces(const GUID& interfaceClass, std::vector<InterfaceEntry>* out,
                            DWORD* error) = 0;
};

// Installs the bus (null removes it); the caller keeps ownership.
void SetDeviceBus(DeviceBus* bus);
// Wakes the reads that wait on a device so that they look again; call after
// giving a device something to read, with none of the device's locks held.
void DeviceStateChanged();
// Notifies every window registered for the class (or for all classes) with
// WM_DEVICECHANGE and a DEV_BROADCAST_DEVICEINTERFACE_A naming `name`:
// DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE. Delivered like a message
// sent by the system, inside the owner thread's next GetMessageA or
// PeekMessageA.
void BroadcastDeviceInterfaceChange(const GUID& interfaceClass, const std::string& name,
                                    bool arrival);
// Sends WM_DEVICECHANGE with `event` to every top-level window, registered
// or not (message-only windows excepted), as the system broadcasts
// DBT_DEVNODES_CHANGED (record null: lParam 0) and the arrival and removal
// of volumes and ports. The record, led by its header, is copied whole
// (dbch_size bytes). Delivered like BroadcastDeviceInterfaceChange.
void BroadcastDeviceChange(WPARAM event, const DEV_BROADCAST_HDR* record);

} // namespace emu
