#include "device/pipe_reads.h"

namespace r6odi {
namespace {

constexpr int kEmptyReadsForEmpty = 16;

} // namespace

DWORD FrameLimitMs(uint64_t transferBytes, uint32_t exposureMs)
{
    const uint64_t transferMs = (transferBytes * 1000 + kSlowestFrameBytesPerSecond - 1) / kSlowestFrameBytesPerSecond;
    const uint64_t limit = transferMs + exposureMs + kFrameMarginMs;
    // INFINITE would mean no limit at all.
    return limit < INFINITE ? static_cast<DWORD>(limit) : INFINITE - 1;
}

HANDLE OpenReadPipe(const char* name)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

bool ReadPipe(HANDLE pipe, void* buffer, DWORD size, DWORD limitMs, DWORD* delivered)
{
    *delivered = 0;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return false;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event;
    BOOL done = ReadFile(pipe, buffer, size, nullptr, &overlapped);
    if (done || GetLastError() == ERROR_IO_PENDING) {
        if (!done && WaitForSingleObject(event, limitMs) != WAIT_OBJECT_0)
            CancelIoEx(pipe, &overlapped);
        // Completed, failed or cancelled: the read is over only once the
        // system says so, and only then may its buffer and OVERLAPPED go. A
        // read that completed as it was being cancelled counts as completed.
        done = GetOverlappedResult(pipe, &overlapped, delivered, TRUE);
    }
    CloseHandle(event);
    return done != FALSE;
}

bool DrainPipe(HANDLE pipe, void* scratch, DWORD scratchSize, uint64_t most)
{
    uint64_t drained = 0;
    // An empty packet is no sign of an empty pipe; only a read that finds
    // nothing in time is. A pipe that answers every read at once with
    // nothing counts as empty after a few.
    int emptyInARow = 0;
    while (drained <= most && emptyInARow < kEmptyReadsForEmpty) {
        DWORD count = 0;
        if (!ReadPipe(pipe, scratch, scratchSize, kDrainWaitMs, &count))
            return true;
        drained += count;
        emptyInARow = count == 0 ? emptyInARow + 1 : 0;
    }
    return drained <= most;
}

bool PipeStaysQuiet(HANDLE pipe, void* scratch, DWORD scratchSize)
{
    for (int read = 0; read < kEmptyReadsForEmpty; ++read) {
        DWORD count = 0;
        if (!ReadPipe(pipe, scratch, scratchSize, kDrainWaitMs, &count))
            return true;
        if (count > 0)
            return false;
    }
    return true;
}

} // namespace r6odi
