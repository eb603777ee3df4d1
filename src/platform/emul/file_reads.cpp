// Emulated reads of devices: ReadFile, synchronous and overlapped, with
// GetOverlappedResult and CancelIoEx.
//
// Every read, synchronous or not, is a request in flight until it
// completes: the device has something to deliver (ReadableAt), its own
// time-out passes (ERROR_SEM_TIMEOUT), or it is cancelled
// (ERROR_OPERATION_ABORTED). No thread of its own completes requests: every
// wait of the emulation, every clock step and every change of a device's
// state completes the ones that are due (ProgressIo), so a thread waiting
// for a request sees it complete as it would on Windows, at the virtual
// time at which it is due. A synchronous read is a request that its caller
// waits for; an overlapped one returns ERROR_IO_PENDING and completes into
// its OVERLAPPED and event later.
#include <algorithm>
#include <list>
#include <memory>

#include "platform/emul/core.h"
#include "platform/emul/kernel.h"
#include "platform/emul/kernel_objects.h"

namespace emu::core {
namespace {

struct Request {
    HANDLE handle = nullptr;
    std::shared_ptr<emu::DeviceFile> device;
    OVERLAPPED* overlapped = nullptr; // null: a synchronous read
    std::shared_ptr<Event> event;     // hEvent's object, kept as the kernel keeps it
    void* buffer = nullptr;
    DWORD size = 0;
    bool waits = true;           // the device's time-out is not 0
    uint64_t timeoutAt = 0;      // the device's time-out; UINT64_MAX: none
    bool cancelled = false;
    bool delivering = false;     // a thread is in the device's Read
    bool done = false;
    DWORD error = ERROR_SUCCESS; // the outcome
    DWORD count = 0;
};

std::list<std::shared_ptr<Request>>& Pending()
{
    static auto* pending = new std::list<std::shared_ptr<Request>>;
    return *pending;
}

// The NTSTATUS that an OVERLAPPED holds for an outcome, and back; an error
// of no other kind travels as STATUS_UNSUCCESSFUL (ERROR_GEN_FAILURE).
struct StatusOf {
    DWORD error;
    ULONG_PTR status;
};
const StatusOf kStatuses[] = {
    {ERROR_SUCCESS, 0x00000000},
    {ERROR_SEM_TIMEOUT, 0xC00000B5},          // STATUS_IO_TIMEOUT
    {ERROR_OPERATION_ABORTED, 0xC0000120},    // STATUS_CANCELLED
    {ERROR_DEVICE_NOT_CONNECTED, 0xC000009D}, // STATUS_DEVICE_NOT_CONNECTED
    {ERROR_INVALID_FUNCTION, 0xC0000010},     // STATUS_INVALID_DEVICE_REQUEST
    {ERROR_INVALID_USER_BUFFER, 0xC00000E8},  // STATUS_INVALID_USER_BUFFER
    {ERROR_INVALID_PARAMETER, 0xC000000D},    // STATUS_INVALID_PARAMETER
    {ERROR_POSSIBLE_DEADLOCK, 0xC0000194},    // STATUS_POSSIBLE_DEADLOCK
    {ERROR_GEN_FAILURE, 0xC0000001},          // STATUS_UNSUCCESSFUL
};

ULONG_PTR StatusFor(DWORD error)
{
    for (const StatusOf& s : kStatuses)
        if (s.error == error)
            return s.status;
    return 0xC0000001;
}

DWORD ErrorFor(ULONG_PTR status)
{
    for (const StatusOf& s : kStatuses)
        if (s.status == status)
            return s.error;
    return ERROR_GEN_FAILURE;
}

bool Due(const Request& r, uint64_t now)
{
    return !r.done && !r.delivering &&
           (r.cancelled || !r.waits || r.device->ReadableAt() <= now || now >= r.timeoutAt);
}

// Lock held: the request's outcome goes where Windows puts it.
void Complete(Request& r, DWORD error, DWORD count)
{
    r.done = true;
    r.error = error;
    r.count = count;
    if (r.overlapped != nullptr) {
        r.overlapped->InternalHigh = count;
        r.overlapped->Internal = StatusFor(error);
    }
    if (r.event)
        r.event->signalled = true;
    Pending().remove_if([&](const std::shared_ptr<Request>& p) { return p.get() == &r; });
    --Counters().pendingIo;
    NotifyAll();
}

std::shared_ptr<Request> FindDue(uint64_t now)
{
    for (const std::shared_ptr<Request>& r : Pending())
        if (Due(*r, now))
            return r;
    return nullptr;
}

} // namespace

void ProgressIo(Guard& guard)
{
    for (;;) {
        uint64_t now = NowLocked();
        std::shared_ptr<Request> r = FindDue(now);
        if (!r)
            return;
        if (r->cancelled) {
            Complete(*r, ERROR_OPERATION_ABORTED, 0);
            continue;
        }
        if (r->waits && r->device->ReadableAt() > now) {
            Complete(*r, ERROR_SEM_TIMEOUT, 0);
            continue;
        }
        // The device delivers outside the lock: it may take locks of its own
        // and read the clock.
        r->delivering = true;
        guard.unlock();
        DWORD done = 0, error = ERROR_SUCCESS;
        bool ok = r->device->Read(r->buffer, r->size, &done, &error);
        guard.lock();
        r->delivering = false;
        Complete(*r, ok ? ERROR_SUCCESS : error, ok ? done : 0);
    }
}

bool IoDue(uint64_t now)
{
    for (const std::shared_ptr<Request>& r : Pending())
        if (r->delivering || Due(*r, now))
            return true;
    return false;
}

uint64_t EarliestIoDeadline()
{
    uint64_t earliest = UINT64_MAX;
    for (const std::shared_ptr<Request>& r : Pending())
        if (r->waits)
            earliest = std::min({earliest, r->timeoutAt, r->device->ReadableAt()});
    return earliest;
}

bool IoCompletesEvent(const Event* event)
{
    for (const std::shared_ptr<Request>& r : Pending())
        if (r->event.get() == event)
            return true;
    return false;
}

bool IoPendingOn(HANDLE file)
{
    for (const std::shared_ptr<Request>& r : Pending())
        if (r->handle == file)
            return true;
    return false;
}

void CancelIoOf(HANDLE file)
{
    for (const std::shared_ptr<Request>& r : Pending())
        if (r->handle == file)
            r->cancelled = true;
}

} // namespace emu::core

using namespace emu::core;

namespace {

// Lock held. The request for a read of `file`, or null with the error set.
std::shared_ptr<Request> StartRead(HANDLE file, LPVOID buffer, DWORD toRead, LPOVERLAPPED overlapped,
                                   bool* asynchronous, DWORD* error)
{
    std::shared_ptr<File> f = FindObjectAs<File>(file);
    if (!f) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    *asynchronous = f->overlapped;
    auto r = std::make_shared<Request>();
    if (overlapped != nullptr && overlapped->hEvent != nullptr) {
        r->event = FindObjectAs<Event>(overlapped->hEvent);
        if (!r->event) {
            *error = ERROR_INVALID_HANDLE;
            return nullptr;
        }
    }
    r->handle = file;
    r->device = f->device;
    r->overlapped = overlapped;
    r->buffer = buffer;
    r->size = toRead;
    DWORD timeout = f->device->ReadTimeout();
    r->waits = timeout != 0;
    r->timeoutAt = timeout == INFINITE ? UINT64_MAX : NowLocked() + timeout;
    // Started as the I/O manager starts it: pending, its event not set.
    if (overlapped != nullptr) {
        overlapped->Internal = STATUS_PENDING;
        overlapped->InternalHigh = 0;
    }
    if (r->event)
        r->event->signalled = false;
    Pending().push_back(r);
    ++Counters().pendingIo;
    return r;
}

} // namespace

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    if (read == nullptr && overlapped == nullptr) {
        // Windows writes the count through the pointer and faults on null.
        ReportMisuse("ReadFile without a byte-count pointer and without OVERLAPPED");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (read)
        *read = 0;
    Guard g(Lock());
    std::shared_ptr<File> f = FindObjectAs<File>(file);
    const char* misuse = !f ? "ReadFile on an invalid handle "
                         : f->overlapped && overlapped == nullptr
                             ? "ReadFile without OVERLAPPED on a handle opened for overlapped I/O, "
                             : nullptr;
    bool asynchronous = false;
    DWORD error = f ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE;
    std::shared_ptr<Request> r;
    if (misuse == nullptr) {
        r = StartRead(file, buffer, toRead, overlapped, &asynchronous, &error);
        if (!r)
            misuse = "ReadFile with an OVERLAPPED whose event is no event, on ";
    }
    if (!r) {
        g.unlock();
        ReportMisuse(misuse + HandleText(file));
        SetLastError(error);
        return FALSE;
    }
    ProgressIo(g);
    if (asynchronous && !r->done) {
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    if (!r->done) {
        std::function<bool()> ready = [&] { return r->done; };
        if (WaitForDevice(g, ready, INFINITE, "ReadFile") == WaitEnd::Hang) {
            r->cancelled = true;
            ProgressIo(g);
            SetLastError(ERROR_POSSIBLE_DEADLOCK);
            return FALSE;
        }
    }
    if (r->error != ERROR_SUCCESS) {
        SetLastError(r->error);
        return FALSE;
    }
    if (read)
        *read = r->count;
    return TRUE;
}

BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    Guard g(Lock());
    ProgressIo(g);
    if (overlapped->Internal == STATUS_PENDING) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        std::shared_ptr<Request> r;
        for (const std::shared_ptr<Request>& p : Pending())
            if (p->overlapped == overlapped)
                r = p;
        if (!r) {
            g.unlock();
            ReportMisuse("GetOverlappedResult waits for an OVERLAPPED that no read uses, on " +
                         HandleText(file));
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::function<bool()> ready = [&] { return r->done; };
        if (WaitForDevice(g, ready, INFINITE, "GetOverlappedResult") == WaitEnd::Hang) {
            SetLastError(ERROR_POSSIBLE_DEADLOCK);
            return FALSE;
        }
        // The wait was on the event, which an auto-reset event gives up.
        if (r->event && !r->event->manualReset)
            r->event->signalled = false;
    }
    *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal != 0) {
        SetLastError(ErrorFor(overlapped->Internal));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CancelIoEx(HANDLE file, LPOVERLAPPED overlapped)
{
    Guard g(Lock());
    if (!FindObjectAs<File>(file)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool found = false;
    for (const std::shared_ptr<Request>& r : Pending())
        if (r->handle == file && (overlapped == nullptr || r->overlapped == overlapped)) {
            r->cancelled = true;
            found = true;
        }
    if (!found) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    ProgressIo(g);
    return TRUE;
}
