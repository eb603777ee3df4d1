// Emulated kernel32. All objects live in one handle table under the
// emulation's lock; handle values are never reused, so that a handle used
// after its close is always recognised and reported.
#include "platform/emul/kernel.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/emul/core.h"
#include "platform/emul/module_state.h"
#include "platform/emul/timer_period.h"
#include "platform/emul/kernel_objects.h"

using namespace emu::core;

namespace {

thread_local DWORD lastError = 0;

struct Thread : Object {
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    int priority = THREAD_PRIORITY_NORMAL;
    DWORD id = 0;
};

struct Tables {
    std::map<HANDLE, std::shared_ptr<Object>> handles;
    std::map<std::string, std::weak_ptr<Event>> namedEvents;
    uintptr_t nextHandle = 0x1004;
    std::map<void*, SIZE_T> heapBlocks;
    struct GlobalBlock {
        void* memory;
        SIZE_T size;
        bool moveable;
    };
    std::map<HGLOBAL, GlobalBlock> globalBlocks;
    uintptr_t nextGlobal = 0x20004;
};

Tables& T()
{
    static Tables* tables = new Tables;
    return *tables;
}

std::atomic<DWORD> nextThreadId{0x104};
thread_local DWORD threadId = 0;

HANDLE HeapHandle() { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFE0000)); }

// Lock held.
HANDLE AddHandle(std::shared_ptr<Object> object)
{
    HANDLE h = reinterpret_cast<HANDLE>(T().nextHandle);
    T().nextHandle += 4;
    T().handles[h] = std::move(object);
    ++Counters().handles;
    return h;
}

// Lock held. Null when the handle is unknown.
std::shared_ptr<Object> FindHandle(HANDLE handle)
{
    auto it = T().handles.find(handle);
    return it == T().handles.end() ? nullptr : it->second;
}

template <class Kind>
std::shared_ptr<Kind> FindAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<Kind>(FindHandle(handle));
}

// The object namespace of a session: "Local\" and "Global\" name the same
// one here, since the emulation has a single session.
bool ObjectName(LPCSTR name, std::string* out, DWORD* error)
{
    std::string n(name);
    for (const char* prefix : {"Local\\", "Global\\"})
        if (n.compare(0, std::strlen(prefix), prefix) == 0) {
            n.erase(0, std::strlen(prefix));
            break;
        }
    if (std::strlen(name) > MAX_PATH) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (n.find('\\') != std::string::npos) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    *out = n;
    return true;
}

struct Section {
    std::recursive_mutex mutex;
};

void ProgramPath(std::string* path)
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    *path = n > 0 ? std::string(buffer, (size_t)n) : std::string("program");
}

// Windows-1252 code points for 0x80..0x9F; the rest of the page maps to
// the same code point. 0 marks the five undefined bytes, which Windows maps
// to the same code point as well.
const uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

WCHAR Cp1252ToUtf16(unsigned char c)
{
    if (c >= 0x80 && c <= 0x9F && kCp1252High[c - 0x80] != 0)
        return kCp1252High[c - 0x80];
    return c;
}

} // namespace

namespace emu::core {

std::shared_ptr<Object> FindObject(HANDLE handle) { return FindHandle(handle); }

std::string HandleText(HANDLE handle)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", handle);
    return text;
}

} // namespace emu::core

// --- Errors ---------------------------------------------------------------

DWORD WINAPI GetLastError(void) { return lastError; }
void WINAPI SetLastError(DWORD error) { lastError = error; }

// --- Handles --------------------------------------------------------------

BOOL WINAPI CloseHandle(HANDLE handle)
{
    std::shared_ptr<Object> object;
    {
        Guard g(Lock());
        auto it = T().handles.find(handle);
        if (it == T().handles.end()) {
            g.unlock();
            ReportMisuse("CloseHandle of an invalid or already closed handle " + HandleText(handle));
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        T().handles.erase(it);
        --Counters().handles;
        // As the I/O manager does when the last handle goes: what is still
        // being read on it completes as cancelled.
        if (dynamic_cast<File*>(object.get()) != nullptr)
            CancelIoOf(handle);
        NotifyAll();
    }
    // The object (a device file, say) may go here, outside the lock.
    object.reset();
    return TRUE;
}

// --- Files ----------------------------------------------------------------

namespace {

constexpr DWORD kReadAccess = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
constexpr DWORD kWriteAccess = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;

std::string UpperCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The I/O manager's share check: a new open is refused when it wants what an
// earlier open does not share, or does not share what an earlier open has.
// An open without data access neither restricts nor is restricted. Lock
// held.
bool SharingAllows(const File& opening)
{
    if (!opening.reads && !opening.writes)
        return true;
    for (const auto& entry : T().handles) {
        const File* open = dynamic_cast<const File*>(entry.second.get());
        if (open == nullptr || open->identity != opening.identity || (!open->reads && !open->writes))
            continue;
        if ((opening.reads && !(open->share & FILE_SHARE_READ)) ||
            (opening.writes && !(open->share & FILE_SHARE_WRITE)) ||
            (open->reads && !(opening.share & FILE_SHARE_READ)) ||
            (open->writes && !(opening.share & FILE_SHARE_WRITE)))
            return false;
    }
    return true;
}

} // namespace

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD flags, HANDLE)
{
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if ((share & ~(DWORD)(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    emu::DeviceBus* bus;
    {
        Guard g(Lock());
        bus = Bus();
    }
    if (bus == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition != OPEN_EXISTING) {
        // Devices exist or not; they are never created.
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = ERROR_FILE_NOT_FOUND;
    std::unique_ptr<emu::DeviceFile> device = bus->Open(name, &error);
    if (!device) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<File>();
    file->identity = device->Identity();
    if (file->identity.empty())
        file->identity = UpperCase(name);
    file->reads = (access & kReadAccess) != 0;
    file->writes = (access & kWriteAccess) != 0;
    file->share = share;
    file->overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    file->device = std::move(device);
    Guard g(Lock());
    if (!SharingAllows(*file)) {
        g.unlock();
        file.reset(); // the device's file goes outside the lock
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = AddHandle(file);
    SetLastError(ERROR_SUCCESS);
    return h;
}

namespace {

// A write on the simulated bus never waits, so WriteFile is synchronous
// even on a handle opened for overlapped I/O; such a handle must be given
// an OVERLAPPED all the same, as Windows requires, and writes with one are
// not supported here (ERROR_INVALID_PARAMETER).
std::shared_ptr<emu::DeviceFile> WritableDevice(HANDLE handle, bool* overlapped)
{
    Guard g(Lock());
    std::shared_ptr<File> file = FindAs<File>(handle);
    *overlapped = file && file->overlapped;
    return file ? file->device : nullptr;
}

} // namespace

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                      LPOVERLAPPED overlapped)
{
    if (written == nullptr && overlapped == nullptr) {
        // Windows writes the count through the pointer and faults on null.
        ReportMisuse("WriteFile without a byte-count pointer and without OVERLAPPED");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (written)
        *written = 0;
    bool asynchronous = false;
    std::shared_ptr<emu::DeviceFile> device = WritableDevice(file, &asynchronous);
    if (!device) {
        ReportMisuse("WriteFile on an invalid handle " + HandleText(file));
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (asynchronous && overlapped == nullptr)
        ReportMisuse("WriteFile without OVERLAPPED on a handle opened for overlapped I/O");
    if (overlapped != nullptr || asynchronous) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0, error = ERROR_SUCCESS;
    bool ok = device->Write(buffer, toWrite, &done, &error);
    // A request may have given a pipe of the device data to read.
    emu::DeviceStateChanged();
    if (!ok) {
        SetLastError(error);
        return FALSE;
    }
    *written = done;
    return TRUE;
}

namespace emu {

void DeviceStateChanged()
{
    Guard g(Lock());
    // Reads in flight that now have data complete at once.
    ProgressIo(g);
    NotifyAll();
}

} // namespace emu

// --- Events ---------------------------------------------------------------

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    Guard g(Lock());
    std::string key;
    if (name != nullptr && *name != '\0') {
        DWORD error;
        if (!ObjectName(name, &key, &error)) {
            SetLastError(error);
            return nullptr;
        }
        auto it = T().namedEvents.find(key);
        if (it != T().namedEvents.end()) {
            if (std::shared_ptr<Event> existing = it->second.lock()) {
                HANDLE h = AddHandle(existing);
                SetLastError(ERROR_ALREADY_EXISTS);
                return h;
            }
        }
    }
    auto event = std::make_shared<Event>();
    event->manualReset = manualReset != FALSE;
    event->signalled = initialState != FALSE;
    event->name = key;
    if (!key.empty())
        T().namedEvents[key] = event;
    HANDLE h = AddHandle(event);
    SetLastError(ERROR_SUCCESS);
    return h;
}

namespace {

BOOL ChangeEvent(HANDLE handle, bool signalled, const char* what)
{
    Guard g(Lock());
    std::shared_ptr<Event> event = FindAs<Event>(handle);
    if (!event) {
        g.unlock();
        ReportMisuse(std::string(what) + " on an invalid handle " + HandleText(handle));
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->signalled = signalled;
    NotifyAll();
    return TRUE;
}

} // namespace

BOOL WINAPI SetEvent(HANDLE event) { return ChangeEvent(event, true, "SetEvent"); }
BOOL WINAPI ResetEvent(HANDLE event) { return ChangeEvent(event, false, "ResetEvent"); }

// --- Critical sections ----------------------------------------------------

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    section->emulated = new Section;
    Guard g(Lock());
    ++Counters().criticalSections;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    if (section->emulated == nullptr) {
        ReportMisuse("DeleteCriticalSection of a section that is not initialised");
        return;
    }
    delete static_cast<Section*>(section->emulated);
    section->emulated = nullptr;
    Guard g(Lock());
    --Counters().criticalSections;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section)
{
    if (section->emulated == nullptr) {
        ReportMisuse("EnterCriticalSection of a section that is not initialised");
        std::abort(); // Windows would crash here too; carrying on would hide the fault
    }
    static_cast<Section*>(section->emulated)->mutex.lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    if (section->emulated == nullptr) {
        ReportMisuse("LeaveCriticalSection of a section that is not initialised");
        std::abort();
    }
    static_cast<Section*>(section->emulated)->mutex.unlock();
}

// --- Threads --------------------------------------------------------------

DWORD WINAPI GetCurrentThreadId(void)
{
    if (threadId == 0)
        threadId = nextThreadId.fetch_add(4);
    return threadId;
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE routine,
                           LPVOID parameter, DWORD flags, LPDWORD id)
{
    if (routine == nullptr || (flags & CREATE_SUSPENDED) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<Thread>();
    thread->id = nextThreadId.fetch_add(4);
    HANDLE h;
    {
        Guard g(Lock());
        h = AddHandle(thread);
        ++Counters().threadsRunning;
        ThreadRunsCode(thread->id, reinterpret_cast<const void*>(routine));
    }
    std::thread([thread, routine, parameter] {
        threadId = thread->id;
        ThreadStarted();
        DWORD result = routine(parameter);
        Guard g(Lock());
        ThreadEndsCode(thread->id);
        thread->exitCode = result;
        thread->ended = true;
        --Counters().threadsRunning;
        ThreadEnded();
        NotifyAll();
    }).detach();
    if (id)
        *id = thread->id;
    return h;
}

BOOL WINAPI SetThreadPriority(HANDLE handle, int priority)
{
    Guard g(Lock());
    std::shared_ptr<Thread> thread = FindAs<Thread>(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool valid = (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST) ||
                 priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL;
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    thread->priority = priority;
    return TRUE;
}

int WINAPI GetThreadPriority(HANDLE handle)
{
    Guard g(Lock());
    std::shared_ptr<Thread> thread = FindAs<Thread>(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return thread->priority;
}

BOOL WINAPI GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    Guard g(Lock());
    std::shared_ptr<Thread> thread = FindAs<Thread>(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = thread->exitCode;
    return TRUE;
}

// --- Waits ----------------------------------------------------------------

namespace {

DWORD WaitEndResult(WaitEnd end)
{
    if (end == WaitEnd::Ready)
        return WAIT_OBJECT_0;
    if (end == WaitEnd::TimedOut)
        return WAIT_TIMEOUT;
    SetLastError(ERROR_POSSIBLE_DEADLOCK);
    return WAIT_FAILED;
}

} // namespace

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    ReturnCheck returning("WaitForSingleObject");
    Guard g(Lock());
    milliseconds = TimerStepTimeout(milliseconds);
    std::shared_ptr<Object> object = FindHandle(handle);
    if (!object) {
        g.unlock();
        ReportMisuse("WaitForSingleObject on an invalid or closed handle " + HandleText(handle));
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (auto event = std::dynamic_pointer_cast<Event>(object)) {
        std::function<bool()> ready = [&] { return event->signalled; };
        // The event of a read in flight waits on the device, as a read does.
        WaitEnd end = IoCompletesEvent(event.get())
                          ? WaitForDevice(g, ready, milliseconds, "WaitForSingleObject on a read's event")
                          : (WaitFor(g, ready, milliseconds) ? WaitEnd::Ready : WaitEnd::TimedOut);
        if (end != WaitEnd::Ready)
            return WaitEndResult(end);
        if (!event->manualReset)
            event->signalled = false;
        return WAIT_OBJECT_0;
    }
    if (auto thread = std::dynamic_pointer_cast<Thread>(object)) {
        std::function<bool()> ready = [&] { return thread->ended; };
        return WaitFor(g, ready, milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    // A file handle is signalled while no read is in flight on it.
    std::function<bool()> ready = [&] { return !IoPendingOn(handle); };
    return WaitEndResult(WaitForDevice(g, ready, milliseconds, "WaitForSingleObject on a file"));
}

// --- Time -----------------------------------------------------------------

DWORD WINAPI GetTickCount(void)
{
    Guard g(Lock());
    return static_cast<DWORD>(NowLocked());
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count)
{
    Guard g(Lock());
    count->QuadPart = static_cast<LONGLONG>(NowLocked() * 1000);
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    frequency->QuadPart = 1000000;
    return TRUE;
}

// --- Module ---------------------------------------------------------------

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    std::string path;
    {
        Guard g(Lock());
        if (module == nullptr)
            ProgramPath(&path);
        else if (!ModulePath(module, &path)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

// --- Memory ---------------------------------------------------------------

HANDLE WINAPI GetProcessHeap(void) { return HeapHandle(); }

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    Guard g(Lock());
    if (heap != HeapHandle()) {
        g.unlock();
        ReportMisuse("HeapAlloc on a heap that is not the process heap");
        return nullptr;
    }
    ++Counters().heapAllocations;
    if (TakeAllocationFailure())
        return nullptr;
    void* block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1)
                                             : std::malloc(bytes ? bytes : 1);
    if (block == nullptr)
        return nullptr;
    T().heapBlocks[block] = bytes;
    ++Counters().heapBlocks;
    return block;
}

LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes)
{
    Guard g(Lock());
    auto it = T().heapBlocks.find(block);
    if (heap != HeapHandle() || it == T().heapBlocks.end()) {
        g.unlock();
        ReportMisuse("HeapReAlloc of a block that is not allocated");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SIZE_T old = it->second;
    if (bytes > old)
        ++Counters().heapAllocations;
    if (TakeAllocationFailure())
        return nullptr;
    void* moved = std::realloc(block, bytes ? bytes : 1);
    if (moved == nullptr)
        return nullptr;
    if ((flags & HEAP_ZERO_MEMORY) && bytes > old)
        std::memset(static_cast<char*>(moved) + old, 0, bytes - old);
    T().heapBlocks.erase(it);
    T().heapBlocks[moved] = bytes;
    return moved;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID block)
{
    if (block == nullptr)
        return TRUE;
    Guard g(Lock());
    auto it = T().heapBlocks.find(block);
    if (heap != HeapHandle() || it == T().heapBlocks.end()) {
        g.unlock();
        ReportMisuse("HeapFree of a block that is not allocated (freed twice?)");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    T().heapBlocks.erase(it);
    --Counters().heapBlocks;
    std::free(block);
    return TRUE;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes)
{
    Guard g(Lock());
    if (TakeAllocationFailure()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* memory = (flags & GMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                           : std::malloc(bytes ? bytes : 1);
    if (memory == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bool moveable = (flags & GMEM_MOVEABLE) != 0;
    HGLOBAL h = memory;
    if (moveable) {
        h = reinterpret_cast<HGLOBAL>(T().nextGlobal);
        T().nextGlobal += 8;
    }
    T().globalBlocks[h] = {memory, bytes, moveable};
    ++Counters().globalBlocks;
    return h;
}

LPVOID WINAPI GlobalLock(HGLOBAL memory)
{
    Guard g(Lock());
    auto it = T().globalBlocks.find(memory);
    if (it == T().globalBlocks.end()) {
        g.unlock();
        ReportMisuse("GlobalLock of a block that is not allocated");
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second.memory;
}

BOOL WINAPI GlobalUnlock(HGLOBAL memory)
{
    Guard g(Lock());
    if (T().globalBlocks.count(memory) == 0) {
        g.unlock();
        ReportMisuse("GlobalUnlock of a block that is not allocated");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The lock count is not kept: like a block that is no longer locked.
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory)
{
    if (memory == nullptr)
        return nullptr;
    Guard g(Lock());
    auto it = T().globalBlocks.find(memory);
    if (it == T().globalBlocks.end()) {
        g.unlock();
        ReportMisuse("GlobalFree of a block that is not allocated (freed twice?)");
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    std::free(it->second.memory);
    T().globalBlocks.erase(it);
    --Counters().globalBlocks;
    return nullptr;
}

// --- Text -----------------------------------------------------------------

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source, int sourceLength,
                               LPWSTR destination, int destinationLength)
{
    if (codePage != CP_ACP && codePage != 1252) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((flags & ~(DWORD)(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationLength < 0 ||
        (destination == nullptr && destinationLength != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int count = sourceLength == -1 ? (int)std::strlen(source) + 1 : sourceLength;
    if (destinationLength == 0)
        return count;
    if (destinationLength < count) {
        for (int i = 0; i < destinationLength; ++i)
            destination[i] = Cp1252ToUtf16((unsigned char)source[i]);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < count; ++i)
        destination[i] = Cp1252ToUtf16((unsigned char)source[i]);
    return count;
}
