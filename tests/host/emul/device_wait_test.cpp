// Waits on a device where only the emulation can judge them: the clock
// jumps to what a device has due (a late delivery, the pipe's time-out),
// and a wait that nothing can ever end is reported as a hang instead of
// stopping the test run; reads are accounted until they complete.
#include <gtest/gtest.h>

#include <string>

#include "platform/emul/control.h"
#include "platform/win32.h"
#include "host/fine_system_timer.h"

namespace {

// A device with one message that becomes readable at a clock time.
class SlowFile : public emu::DeviceFile {
public:
    SlowFile(uint64_t readyAt, DWORD timeout) : readyAt_(readyAt), timeout_(timeout) {}
    bool Read(void* buffer, DWORD size, DWORD* done, DWORD*) override
    {
        *done = readyAt_ <= emu::Now() && size > 0 ? 1 : 0;
        if (*done)
            static_cast<char*>(buffer)[0] = 'x';
        return true;
    }
    bool Write(const void*, DWORD, DWORD* done, DWORD*) override
    {
        *done = 0;
        return true;
    }
    DWORD ReadTimeout() const override { return timeout_; }
    uint64_t ReadableAt() const override { return readyAt_; }

private:
    uint64_t readyAt_;
    DWORD timeout_;
};

class SlowBus : public emu::DeviceBus {
public:
    uint64_t readyAt = emu::DeviceFile::kNever;
    DWORD timeout = INFINITE;
    std::unique_ptr<emu::DeviceFile> Open(const std::string&, DWORD*) override
    {
        return std::make_unique<SlowFile>(readyAt, timeout);
    }
    bool Interfaces(const GUID&, std::vector<emu::InterfaceEntry>* out, DWORD*) override
    {
        out->clear();
        return true;
    }
};

struct Outcome {
    bool ok;
    DWORD error;
    DWORD count;
};

// A synchronous read, or an overlapped one waited for with `wait` ms.
Outcome ReadOnce(bool overlapped, DWORD wait)
{
    HANDLE file = CreateFileA("slow", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    char byte = 0;
    Outcome out{false, 0, 0};
    if (!overlapped) {
        out.ok = ReadFile(file, &byte, 1, &out.count, nullptr);
        out.error = out.ok ? 0 : GetLastError();
    } else {
        OVERLAPPED o = {};
        o.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        BOOL started = ReadFile(file, &byte, 1, nullptr, &o);
        EXPECT_FALSE(started);
        DWORD waited = WaitForSingleObject(o.hEvent, wait);
        if (waited == WAIT_FAILED)
            out.error = GetLastError();
        if (waited != WAIT_OBJECT_0)
            CancelIoEx(file, &o);
        BOOL done = GetOverlappedResult(file, &o, &out.count, TRUE);
        out.ok = waited == WAIT_OBJECT_0 && done;
        if (waited != WAIT_FAILED)
            out.error = done ? 0 : GetLastError();
        CloseHandle(o.hEvent);
    }
    CloseHandle(file);
    return out;
}

TEST(DeviceWait, ClockJumpsToWhatIsDueAndAWaitForNothingIsAHang)
{
    const struct {
        const char* name;
        uint64_t readyIn; // from now; kNever: never
        DWORD pipeTimeout;
        bool overlapped;
        DWORD wait;
        Outcome outcome;
        uint64_t elapsed;
        bool hang;
    } cases[] = {
        {"late data, synchronous", 700, INFINITE, false, 0, {true, 0, 1}, 700, false},
        {"late data, overlapped", 700, INFINITE, true, INFINITE, {true, 0, 1}, 700, false},
        {"the pipe's time-out", emu::DeviceFile::kNever, 300, false, 0, {false, ERROR_SEM_TIMEOUT, 0}, 300, false},
        {"the waiter's limit", emu::DeviceFile::kNever, INFINITE, true, 250,
         {false, ERROR_OPERATION_ABORTED, 0}, 250, false},
        {"nothing ever, synchronous", emu::DeviceFile::kNever, INFINITE, false, 0,
         {false, ERROR_POSSIBLE_DEADLOCK, 0}, 0, true},
        {"nothing ever, overlapped", emu::DeviceFile::kNever, INFINITE, true, INFINITE,
         {false, ERROR_POSSIBLE_DEADLOCK, 0}, 0, true},
    };
    SlowBus bus;
    emu::SetDeviceBus(&bus);
    emu::TakeMisuseReports();
    // The waiter's limit is timed to the millisecond, not to the system
    // timer's default step.
    FineSystemTimer fineTimer;
    const emu::Counts before = emu::Snapshot();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t start = emu::Now();
        bus.readyAt = c.readyIn == emu::DeviceFile::kNever ? c.readyIn : start + c.readyIn;
        bus.timeout = c.pipeTimeout;
        Outcome out = ReadOnce(c.overlapped, c.wait);
        EXPECT_EQ(out.ok, c.outcome.ok);
        EXPECT_EQ(out.error, c.outcome.error);
        EXPECT_EQ(out.count, c.outcome.count);
        EXPECT_EQ(emu::Now() - start, c.elapsed);
        std::vector<std::string> reports = emu::TakeMisuseReports();
        EXPECT_EQ(reports.size(), c.hang ? 1u : 0u);
        if (!reports.empty()) {
            EXPECT_EQ(reports[0].compare(0, 6, "hang: "), 0) << reports[0];
        }
        EXPECT_EQ(emu::Snapshot().pendingIo, before.pendingIo);
        EXPECT_EQ(emu::Snapshot().handles, before.handles);
    }
    emu::SetDeviceBus(nullptr);
}

} // namespace
