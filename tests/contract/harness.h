// A small self-contained test harness for programs that run both against the
// Win32 emulation (host) and against the real API (MinGW builds run under
// Wine or Windows), where GoogleTest is not available.
//
// Tests register themselves with CONTRACT_TEST(Group, Name); RunAll() runs
// them in registration order, prints one line per test and closes with
// "N passed, M failed". Checks are made on the test's own thread; a worker
// thread stores what it saw and the test checks it after joining.
//
// The one place where the two worlds differ for the tests is time: on
// Windows it is real, in the emulation it only moves when advanced. Tests
// say LetTimePass(ms) and the harness does what the platform needs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/win32.h"
#if !defined(_WIN32)
#include "platform/emul/control.h"
#endif

namespace contract {

struct TestCase {
    const char* group;
    const char* name;
    void (*run)();
};

inline std::vector<TestCase>& Registry()
{
    static std::vector<TestCase> tests;
    return tests;
}

struct Registrar {
    Registrar(const char* group, const char* name, void (*run)())
    {
        Registry().push_back({group, name, run});
    }
};

// Failures of the test that is running.
inline int currentFailures = 0;

inline void Fail(const char* file, int line, const char* what)
{
    std::printf("  %s:%d: %s\n", file, line, what);
    ++currentFailures;
}

// Integers, enumerations and pointers compare as 64-bit numbers, so that a
// DWORD can be checked against a winerror.h constant without a cast.
template <class T>
long long AsNumber(T value)
{
    if constexpr (std::is_pointer_v<T>)
        return static_cast<long long>(reinterpret_cast<uintptr_t>(value));
    else if constexpr (std::is_null_pointer_v<T>)
        return 0;
    else
        return static_cast<long long>(value);
}

template <class A, class B>
bool CheckEqual(const char* file, int line, const char* aText, const char* bText, A a, B b)
{
    long long av = AsNumber(a);
    long long bv = AsNumber(b);
    if (av == bv)
        return true;
    std::printf("  %s:%d: %s == %s\n    left:  %lld (0x%llx)\n    right: %lld (0x%llx)\n", file,
                line, aText, bText, av, static_cast<unsigned long long>(av), bv,
                static_cast<unsigned long long>(bv));
    ++currentFailures;
    return false;
}

inline bool CheckText(const char* file, int line, const char* aText, const char* bText,
                      const char* a, const char* b)
{
    if (a && b && std::strcmp(a, b) == 0)
        return true;
    std::printf("  %s:%d: %s equals %s\n    left:  \"%s\"\n    right: \"%s\"\n", file, line, aText,
                bText, a ? a : "(null)", b ? b : "(null)");
    ++currentFailures;
    return false;
}

// Lets `milliseconds` of the platform's clock go by. In the emulation the
// threads are first allowed to reach their waits, so that a wait begun just
// before is measured against the advanced clock and not started after it.
inline void LetTimePass(DWORD milliseconds)
{
#if defined(_WIN32)
    Sleep(milliseconds);
#else
    emu::Settle();
    emu::Advance(milliseconds);
#endif
}

// The module instance that the tests register their window classes with:
// the program's own on Windows, a module loaded into the emulation on the
// host (the emulation knows instances only from its loader, as the driver's
// comes from DllMain).
inline HINSTANCE ModuleInstance()
{
#if defined(_WIN32)
    return GetModuleHandleA(nullptr);
#else
    static HINSTANCE instance = emu::LoadModule(
        [](HINSTANCE, DWORD, LPVOID) -> BOOL { return TRUE; }, "C:\\r6odi\\contract_tests.dll");
    return instance;
#endif
}

// A text unique among the processes that may run at the same moment (the
// Wine tests share one wineserver and its namespace of named objects).
inline void UniqueName(char* buffer, size_t size, const char* stem)
{
    static unsigned counter = 0;
    std::snprintf(buffer, size, "r6odi_%s_%lu_%u", stem,
                  static_cast<unsigned long>(GetCurrentThreadId()), ++counter);
}

// A module instance other than ModuleInstance(): a system DLL on Windows, a
// second loaded module in the emulation.
inline HINSTANCE OtherModuleInstance()
{
#if defined(_WIN32)
    return GetModuleHandleA("kernel32.dll");
#else
    static HINSTANCE instance = emu::LoadModule(
        [](HINSTANCE, DWORD, LPVOID) -> BOOL { return TRUE; }, "C:\\r6odi\\other.dll");
    return instance;
#endif
}

// What the system sends every top-level window when the device tree
// changes: WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, lParam 0. It arrives with
// the next message retrieval of the window's thread.
inline void BroadcastDeviceNodesChanged()
{
#if defined(_WIN32)
    PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
#else
    emu::BroadcastDeviceChange(DBT_DEVNODES_CHANGED, nullptr);
#endif
}

#if !defined(_WIN32)
// On the host each test must also give back everything it took: the
// emulation counts every kernel and window object.
inline bool CountsDiffer(const emu::Counts& a, const emu::Counts& b)
{
    return a.handles != b.handles || a.windows != b.windows || a.classes != b.classes ||
           a.timers != b.timers || a.registrations != b.registrations ||
           a.deviceInfoSets != b.deviceInfoSets || a.heapBlocks != b.heapBlocks ||
           a.globalBlocks != b.globalBlocks || a.criticalSections != b.criticalSections ||
           a.threadsRunning != b.threadsRunning || a.timerPeriods != b.timerPeriods ||
           a.pendingIo != b.pendingIo;
}

inline void ReportLeaks(const emu::Counts& before, const emu::Counts& after)
{
    if (!CountsDiffer(before, after))
        return;
    std::printf("  left behind (before -> after): handles %ld->%ld windows %ld->%ld classes "
                "%ld->%ld timers %ld->%ld registrations %ld->%ld sets %ld->%ld heap %ld->%ld "
                "global %ld->%ld sections %ld->%ld threads %ld->%ld timer periods %ld->%ld "
                "reads %ld->%ld\n",
                before.handles, after.handles, before.windows, after.windows, before.classes,
                after.classes, before.timers, after.timers, before.registrations,
                after.registrations, before.deviceInfoSets, after.deviceInfoSets,
                before.heapBlocks, after.heapBlocks, before.globalBlocks, after.globalBlocks,
                before.criticalSections, after.criticalSections, before.threadsRunning,
                after.threadsRunning, before.timerPeriods, after.timerPeriods, before.pendingIo,
                after.pendingIo);
    ++currentFailures;
}
#endif

// Whether a test's "Group.Name" passes a filter: a comma-separated list of
// texts; a text with a leading '-' excludes the tests whose name contains
// it, the others select (all tests when none selects). "-Processes." runs
// every test but the group Processes.
inline bool Selected(const char* fullName, const char* filter)
{
    if (filter == nullptr)
        return true;
    bool anySelector = false;
    bool selected = false;
    const char* part = filter;
    while (*part != '\0') {
        const char* end = std::strchr(part, ',');
        size_t length = end ? static_cast<size_t>(end - part) : std::strlen(part);
        bool exclude = length > 0 && part[0] == '-';
        std::string text(part + (exclude ? 1 : 0), length - (exclude ? 1 : 0));
        bool contains = std::strstr(fullName, text.c_str()) != nullptr;
        if (exclude && contains)
            return false;
        if (!exclude) {
            anySelector = true;
            selected = selected || contains;
        }
        part += length + (end ? 1 : 0);
    }
    return !anySelector || selected;
}

// Runs every test that the filter selects (all when null). Returns the
// process exit code: 0 when every test passed.
inline int RunAll(const char* filter)
{
    int passed = 0;
    int failed = 0;
    for (const TestCase& test : Registry()) {
        char fullName[160];
        std::snprintf(fullName, sizeof fullName, "%s.%s", test.group, test.name);
        if (!Selected(fullName, filter))
            continue;
        std::printf("[ RUN      ] %s\n", fullName);
        std::fflush(stdout);
        currentFailures = 0;
#if !defined(_WIN32)
        ModuleInstance();
        emu::Counts before = emu::Snapshot();
#endif
        test.run();
#if !defined(_WIN32)
        emu::Settle();
        ReportLeaks(before, emu::Snapshot());
#endif
        if (currentFailures == 0) {
            ++passed;
            std::printf("[       OK ] %s\n", fullName);
        } else {
            ++failed;
            std::printf("[  FAILED  ] %s\n", fullName);
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 && passed > 0 ? 0 : 1;
}

} // namespace contract

#define CONTRACT_TEST(group, name)                                                             \
    static void group##_##name();                                                              \
    static const ::contract::Registrar group##_##name##_registrar(#group, #name, group##_##name); \
    static void group##_##name()

// Records a failure and goes on.
#define CHECK(condition)                                                                       \
    ((condition) ? true : (::contract::Fail(__FILE__, __LINE__, "CHECK(" #condition ")"), false))
#define CHECK_EQ(a, b) ::contract::CheckEqual(__FILE__, __LINE__, #a, #b, (a), (b))
#define CHECK_TEXT(a, b) ::contract::CheckText(__FILE__, __LINE__, #a, #b, (a), (b))

// Records a failure and ends the test: for conditions the rest depends on.
#define REQUIRE(condition)                                                                     \
    do {                                                                                       \
        if (!CHECK(condition))                                                                 \
            return;                                                                            \
    } while (0)
