// The objects of the emulated user32 (window classes, windows, per-thread
// message queues, timers, device-event registrations) shared by its sources.
// Everything here is guarded by core::Lock(); nothing outside
// src/platform/emul includes this.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/emul/types.h"

namespace emu::user {

struct WindowClass {
    ATOM atom = 0;
    std::string name;
    HINSTANCE instance = nullptr;
    WNDPROC procedure = nullptr;
    int windowExtraBytes = 0;
    long windows = 0; // existing windows of the class
};

struct Window {
    HWND handle = nullptr;
    ATOM classAtom = 0;
    WNDPROC procedure = nullptr;
    DWORD ownerThread = 0;
    HWND parent = nullptr;
    bool messageOnly = false; // created under HWND_MESSAGE: no broadcast reaches it
    LONG_PTR userData = 0;
    std::vector<unsigned char> extraBytes;
    bool destroying = false; // inside DestroyWindow: still a window, not destroyed twice
};

// A message that the owner thread receives as if another thread had sent it:
// its procedure runs inside the owner's next GetMessageA or PeekMessageA.
// When `record` is not empty, lParam points to it at delivery, so the block
// lives exactly as long as the message does.
struct SentMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::vector<uint64_t> record; // 64-bit cells keep the block aligned like a real one
};

struct Timer {
    HWND window = nullptr; // null: a thread timer
    UINT_PTR id = 0;
    DWORD ownerThread = 0;
    uint64_t period = 0;
    uint64_t due = 0; // on the 64-bit virtual clock, so the 32-bit tick wrap cannot stall it
    TIMERPROC procedure = nullptr;
};

struct ThreadQueue {
    std::deque<MSG> posted;
    std::deque<SentMessage> sent;
    bool quitPosted = false;
    int quitCode = 0;
    // Bumped whenever the thread's timers change, so that a GetMessageA
    // already waiting re-plans its time-out.
    uint64_t timerChanges = 0;
};

struct Registration {
    HWND window = nullptr;
    GUID interfaceClass{};
    bool allClasses = false;
};

// Which messages a GetMessageA or PeekMessageA takes: a null window means
// every message of the thread, (HWND)-1 only the thread's own (posted with
// a null window), anything else that window's; a zero range means every
// message. WM_QUIT passes every filter.
struct MessageFilter {
    HWND window = nullptr;
    UINT first = 0;
    UINT last = 0;
    bool Matches(HWND hwnd, UINT message) const;
};

struct State {
    std::map<ATOM, WindowClass> classes;
    unsigned nextAtom = 0xC000;
    std::map<HWND, Window> windows;
    uintptr_t nextWindow = 0x00020000;
    std::map<DWORD, ThreadQueue> queues;
    std::vector<Timer> timers; // in the order they were first set
    UINT_PTR nextThreadTimerId = 0x7FF0;
    std::map<HDEVNOTIFY, Registration> registrations;
    uintptr_t nextRegistration = 0x00D00000;
};

// All of these expect the lock to be held.
State& S();
Window* LookUpWindow(HWND window);
ThreadQueue& QueueOf(DWORD thread);
// The earliest due timer of the thread that the filter lets through, or null.
Timer* DueTimer(DWORD thread, const MessageFilter& filter, uint64_t now);
// When the thread's next timer that the filter lets through falls due
// (UINT64_MAX: none).
uint64_t NextTimerDue(DWORD thread, const MessageFilter& filter);
// The class CreateWindowExA uses: by atom, or by name preferring the
// instance's own class of that name over another module's.
WindowClass* ClassForWindow(LPCSTR className, HINSTANCE instance);
WindowClass* ClassOf(const Window& window);
Timer* FindTimer(HWND window, UINT_PTR id);
void KillWindowTimers(HWND window);
// A handle as text for misuse reports.
std::string HandleText(const void* handle);

// Lock NOT held: looks the procedure up and calls it with the lock released.
// 0 when the window no longer exists.
LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace emu::user
