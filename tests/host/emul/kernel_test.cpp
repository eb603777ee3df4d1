// The emulated kernel32 where only the emulation can act: the virtual clock,
// the accounting, misuse reports, allocation faults and the device bus hook.
// What Windows itself guarantees is covered by the contract tests, which also
// run against the real API.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "platform/emul/control.h"
#include "platform/win32.h"

namespace {

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        emu::TakeMisuseReports();
        start = emu::Snapshot();
    }
    void TearDown() override
    {
        emu::Counts end = emu::Snapshot();
        EXPECT_EQ(end.handles, start.handles);
        EXPECT_EQ(end.heapBlocks, start.heapBlocks);
        EXPECT_EQ(end.threadsRunning, 0);
    }
    emu::Counts start;
};

DWORD WINAPI WaitOnEvent(LPVOID parameter)
{
    DWORD result = WaitForSingleObject(static_cast<HANDLE>(parameter), 1000);
    return result == WAIT_TIMEOUT ? 1 : 2;
}

TEST_F(KernelTest, TimedWaitEndsOnlyWhenTheClockPassesItsTimeOut)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
    emu::Settle();
    EXPECT_EQ(WaitForSingleObject(thread, 0), (DWORD)WAIT_TIMEOUT);
    emu::Advance(999);
    EXPECT_EQ(WaitForSingleObject(thread, 0), (DWORD)WAIT_TIMEOUT);
    emu::Advance(1);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 1u);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST_F(KernelTest, SignalledEventEndsTheWaitBeforeItsTimeOut)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
    emu::Settle();
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 2u);
    // The auto-reset event was consumed by the wait it satisfied.
    EXPECT_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST_F(KernelTest, TickCountWrapsAtTwoToTheThirtyTwo)
{
    emu::SetNow(0xFFFFFFFFull - 10);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF5u);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
    emu::Settle();
    emu::Advance(20);
    EXPECT_EQ(GetTickCount(), 9u);
    // A wait that began before the wrap still runs its whole second.
    EXPECT_EQ(WaitForSingleObject(thread, 0), (DWORD)WAIT_TIMEOUT);
    emu::Advance(1000);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(event);
    emu::SetNow(0);
}

TEST_F(KernelTest, NamedEventIsSharedAndReportsThatItExisted)
{
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, "K6____usb#vid_1278");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    HANDLE second = CreateEventA(nullptr, FALSE, FALSE, "K6____usb#vid_1278");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    SetEvent(second);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    CloseHandle(first);
    CloseHandle(second);
    // With every handle closed the name is free again.
    HANDLE third = CreateEventA(nullptr, FALSE, FALSE, "K6____usb#vid_1278");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    CloseHandle(third);
}

TEST_F(KernelTest, EventNamesAreCaseSensitiveAndBounded)
{
    HANDLE lower = CreateEventA(nullptr, FALSE, FALSE, "name");
    HANDLE upper = CreateEventA(nullptr, FALSE, FALSE, "NAME");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    CloseHandle(lower);
    CloseHandle(upper);

    std::string longest(MAX_PATH, 'x');
    HANDLE fits = CreateEventA(nullptr, FALSE, FALSE, longest.c_str());
    EXPECT_NE(fits, nullptr);
    CloseHandle(fits);
    std::string tooLong(MAX_PATH + 1, 'x');
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, tooLong.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(KernelTest, MisuseIsReportedAndCounted)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    long before = emu::Snapshot().misuse;
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    void* block = HeapAlloc(GetProcessHeap(), 0, 8);
    HeapFree(GetProcessHeap(), 0, block);
    EXPECT_FALSE(HeapFree(GetProcessHeap(), 0, block));
    EXPECT_EQ(emu::Snapshot().misuse, before + 3);
    std::vector<std::string> reports = emu::TakeMisuseReports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[0].find("CloseHandle"), std::string::npos);
    EXPECT_NE(reports[1].find("WaitForSingleObject"), std::string::npos);
    EXPECT_NE(reports[2].find("HeapFree"), std::string::npos);
}

TEST_F(KernelTest, HeapAccountingAndInjectedFailures)
{
    uint64_t calls = emu::Snapshot().heapAllocations;
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(block)[15], 0);
    EXPECT_EQ(emu::Snapshot().heapBlocks, start.heapBlocks + 1);

    // Shrinking is not an allocation; growing is.
    block = HeapReAlloc(GetProcessHeap(), 0, block, 8);
    EXPECT_EQ(emu::Snapshot().heapAllocations, calls + 1);
    std::memset(block, 0xAB, 8);
    emu::FailAllocations(1);
    EXPECT_EQ(HeapReAlloc(GetProcessHeap(), 0, block, 64), nullptr);
    // The old block stays valid and counted after a failed growth.
    EXPECT_EQ(static_cast<unsigned char*>(block)[7], 0xAB);
    EXPECT_EQ(emu::Snapshot().heapBlocks, start.heapBlocks + 1);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, block));

    emu::FailAllocations(1);
    EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 4), nullptr);
    void* after = HeapAlloc(GetProcessHeap(), 0, 4);
    EXPECT_NE(after, nullptr);
    HeapFree(GetProcessHeap(), 0, after);
}

TEST_F(KernelTest, GlobalMemoryIsZeroFilledAndCounted)
{
    HGLOBAL memory = GlobalAlloc(GMEM_ZEROINIT, 1024);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(emu::Snapshot().globalBlocks, start.globalBlocks + 1);
    unsigned char* bytes = static_cast<unsigned char*>(GlobalLock(memory));
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(bytes[i], 0) << i;
    GlobalUnlock(memory);
    EXPECT_EQ(GlobalFree(memory), nullptr);
    EXPECT_EQ(emu::Snapshot().globalBlocks, start.globalBlocks);
}

TEST_F(KernelTest, ModulePathIsSettableAndCutLikeWindowsCutsIt)
{
    HINSTANCE module = reinterpret_cast<HINSTANCE>(0x7000000);
    emu::SetModulePath(module, "/tmp/driver/d_r6odi.dll");
    char path[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(module, path, sizeof path), 23u);
    EXPECT_STREQ(path, "/tmp/driver/d_r6odi.dll");
    char small[8];
    EXPECT_EQ(GetModuleFileNameA(module, small, sizeof small), 8u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(small, "/tmp/dr");
}

BOOL WINAPI CountingEntry(HINSTANCE, DWORD reason, LPVOID)
{
    static std::map<DWORD, int>* calls = nullptr;
    if (calls == nullptr)
        calls = new std::map<DWORD, int>;
    ++(*calls)[reason];
    return reason == DLL_PROCESS_ATTACH ? (*calls)[reason] != 2 : TRUE;
}

TEST_F(KernelTest, ModuleLoadCallsTheEntryPointAndUnloadsOnRefusal)
{
    HINSTANCE module = emu::LoadModule(CountingEntry, "/x/d_r6odi.dll");
    ASSERT_NE(module, nullptr);
    char path[MAX_PATH];
    GetModuleFileNameA(module, path, sizeof path);
    EXPECT_STREQ(path, "/x/d_r6odi.dll");
    EXPECT_TRUE(emu::FreeModule(module));
    EXPECT_EQ(GetModuleFileNameA(module, path, sizeof path), 0u);
    // The second attach refuses: the loader detaches and reports no module.
    EXPECT_EQ(emu::LoadModule(CountingEntry, "/x/d_r6odi.dll"), nullptr);
}

class EchoFile : public emu::DeviceFile {
public:
    bool Read(void* buffer, DWORD size, DWORD* done, DWORD*) override
    {
        *done = size < last.size() ? size : (DWORD)last.size();
        std::memcpy(buffer, last.data(), *done);
        return true;
    }
    bool Write(const void* buffer, DWORD size, DWORD* done, DWORD* error) override
    {
        if (size == 0) {
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return false;
        }
        last.assign(static_cast<const char*>(buffer), size);
        *done = size;
        return true;
    }
    std::string last;
};

class OneDeviceBus : public emu::DeviceBus {
public:
    std::unique_ptr<emu::DeviceFile> Open(const std::string& name, DWORD* error) override
    {
        opened.push_back(name);
        if (name != "\\\\?\\usb#dev\\0") {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        return std::make_unique<EchoFile>();
    }
    bool Interfaces(const GUID&, std::vector<emu::InterfaceEntry>*, DWORD*) override { return true; }
    std::vector<std::string> opened;
};

TEST_F(KernelTest, FilesAreServedByTheDeviceBus)
{
    OneDeviceBus bus;
    emu::SetDeviceBus(&bus);
    HANDLE missing = CreateFileA("\\\\?\\usb#other\\0", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    HANDLE pipe = CreateFileA("\\\\?\\usb#dev\\0", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    DWORD count = 99;
    EXPECT_TRUE(WriteFile(pipe, "\x0b\x01", 2, &count, nullptr));
    EXPECT_EQ(count, 2u);
    char reply[4] = {};
    EXPECT_TRUE(ReadFile(pipe, reply, sizeof reply, &count, nullptr));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(reply[0], 0x0b);
    // A failing transfer reports the device's error and a zero count.
    count = 99;
    EXPECT_FALSE(WriteFile(pipe, "", 0, &count, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(count, 0u);
    CloseHandle(pipe);
    EXPECT_FALSE(ReadFile(pipe, reply, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    emu::TakeMisuseReports();
    emu::SetDeviceBus(nullptr);
    EXPECT_EQ(bus.opened.size(), 2u);
}

TEST_F(KernelTest, AnsiCodePageIsWindows1252)
{
    const char text[] = "Max. step [\xB0" "C/min]:";
    int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    EXPECT_EQ(needed, (int)sizeof text);
    WCHAR wide[32];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 32), needed);
    EXPECT_EQ(wide[11], 0x00B0);
    EXPECT_EQ(wide[needed - 1], 0);
    const char euro[] = "\x80";
    MultiByteToWideChar(CP_ACP, 0, euro, 1, wide, 1);
    EXPECT_EQ(wide[0], 0x20AC);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

} // namespace
