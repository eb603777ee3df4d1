#include <cstring>
#include <vector>

#include "platform/emul/core.h"
#include "platform/emul/module_state.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"
#include "platform/emul/user_state.h"

using namespace emu;
using namespace emu::user;

namespace {

// Lock held. False when the window is already on its way out, so that a
// DestroyWindow from inside WM_DESTROY does not run the sequence twice.
bool BeginDestroy(Window& w)
{
    if (w.destroying)
        return false;
    w.destroying = true;
    return true;
}

std::vector<HWND> ChildrenOf(HWND parent)
{
    core::Guard g(core::Lock());
    std::vector<HWND> children;
    for (auto& entry : S().windows)
        if (entry.second.parent == parent)
            children.push_back(entry.first);
    return children;
}

void DropQueuedMessages(ThreadQueue& q, HWND window)
{
    for (auto it = q.posted.begin(); it != q.posted.end();)
        it = it->hwnd == window ? q.posted.erase(it) : it + 1;
    for (auto it = q.sent.begin(); it != q.sent.end();)
        it = it->window == window ? q.sent.erase(it) : it + 1;
}

// The last step of destruction: what the window held goes with it. Device
// registrations stay, as they outlive their window on Windows too.
void RemoveWindow(HWND window)
{
    core::Guard g(core::Lock());
    Window* w = LookUpWindow(window);
    if (w == nullptr)
        return;
    KillWindowTimers(window);
    DropQueuedMessages(QueueOf(w->ownerThread), window);
    if (WindowClass* c = ClassOf(*w))
        --c->windows;
    S().windows.erase(window);
    --core::Counters().windows;
    core::NotifyAll(); // a GetMessageA filtered on this window must now fail
}

// Children go between their parent's WM_DESTROY and WM_NCDESTROY.
void RunDestroySequence(HWND window)
{
    CallWindowProcedure(window, WM_DESTROY, 0, 0);
    for (HWND child : ChildrenOf(window)) {
        bool mine;
        {
            core::Guard g(core::Lock());
            Window* w = LookUpWindow(child);
            mine = w != nullptr && BeginDestroy(*w);
        }
        if (mine)
            RunDestroySequence(child);
    }
    CallWindowProcedure(window, WM_NCDESTROY, 0, 0);
    RemoveWindow(window);
}

// For the system's own destruction of a window (a failed creation), where
// the window may already be gone and that is no misuse.
void DestroyQuietly(HWND window)
{
    bool destroy;
    {
        core::Guard g(core::Lock());
        Window* w = LookUpWindow(window);
        destroy = w != nullptr && BeginDestroy(*w);
    }
    if (destroy)
        RunDestroySequence(window);
}

HWND NewWindowHandle()
{
    State& s = S();
    HWND window = reinterpret_cast<HWND>(s.nextWindow);
    s.nextWindow += 0x10;
    return window;
}

// Lock held. The slot of GetWindowLong(Ptr)A/SetWindowLong(Ptr)A: the user
// data, or `width` bytes of the window's extra bytes at a non-negative
// offset. Null when the index does not name one.
void* SlotOf(Window& w, int index, size_t width)
{
    if (index == GWLP_USERDATA)
        return &w.userData;
    if (index < 0 || static_cast<size_t>(index) + width > w.extraBytes.size())
        return nullptr;
    return w.extraBytes.data() + index;
}

// Reads the slot and, when `value` is given, replaces it; gives the previous
// content. Windows leaves the last error alone on success, so this does too.
LONG_PTR AccessSlot(const char* caller, HWND window, int index, size_t width,
                    const LONG_PTR* value)
{
    core::Guard g(core::Lock());
    Window* w = LookUpWindow(window);
    if (w == nullptr) {
        core::ReportMisuse(std::string(caller) + " on " + HandleText(window) +
                           ", which is not a window");
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    void* slot = SlotOf(*w, index, width);
    if (slot == nullptr) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR previous;
    if (index == GWLP_USERDATA) {
        previous = width == sizeof(LONG) ? static_cast<LONG>(w->userData) : w->userData;
        if (value != nullptr)
            w->userData = *value;
        return previous;
    }
    if (width == sizeof(LONG)) {
        LONG small;
        std::memcpy(&small, slot, sizeof small);
        previous = small;
        if (value != nullptr) {
            small = static_cast<LONG>(*value);
            std::memcpy(slot, &small, sizeof small);
        }
        return previous;
    }
    std::memcpy(&previous, slot, sizeof previous);
    if (value != nullptr)
        std::memcpy(slot, value, sizeof *value);
    return previous;
}

} // namespace

namespace emu::user {

LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC procedure;
    {
        core::Guard g(core::Lock());
        Window* w = LookUpWindow(window);
        if (w == nullptr)
            return 0;
        procedure = w->procedure;
        if (core::RefuseCallIntoUnloadedCode(reinterpret_cast<const void*>(procedure),
                                              "message " + std::to_string(message) + " to the window " +
                                                  HandleText(window)))
            return 0;
    }
    return procedure(window, message, wParam, lParam);
}

} // namespace emu::user

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int,
                            HWND parent, HMENU, HINSTANCE instance, LPVOID)
{
    DWORD thread = GetCurrentThreadId();
    HWND window;
    {
        core::Guard g(core::Lock());
        WindowClass* c = className == nullptr ? nullptr : ClassForWindow(className, instance);
        if (c == nullptr) {
            SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
            return nullptr;
        }
        if (parent != nullptr && parent != HWND_MESSAGE && LookUpWindow(parent) == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        window = NewWindowHandle();
        Window& w = S().windows[window];
        w.handle = window;
        w.classAtom = c->atom;
        w.procedure = c->procedure;
        w.ownerThread = thread;
        w.parent = parent == HWND_MESSAGE ? nullptr : parent;
        w.messageOnly = parent == HWND_MESSAGE;
        w.extraBytes.assign(static_cast<size_t>(c->windowExtraBytes), 0);
        ++c->windows;
        ++core::Counters().windows;
    }
    if (CallWindowProcedure(window, WM_NCCREATE, 0, 0) == FALSE) {
        // As on Windows, a refused WM_NCCREATE gets WM_NCDESTROY but no WM_DESTROY.
        CallWindowProcedure(window, WM_NCDESTROY, 0, 0);
        RemoveWindow(window);
        return nullptr;
    }
    if (CallWindowProcedure(window, WM_CREATE, 0, 0) == -1) {
        DestroyQuietly(window);
        return nullptr;
    }
    // The procedure may have destroyed its own window while it was created.
    return IsWindow(window) ? window : nullptr;
}

BOOL WINAPI DestroyWindow(HWND window)
{
    DWORD thread = GetCurrentThreadId();
    {
        core::Guard g(core::Lock());
        Window* w = LookUpWindow(window);
        if (w == nullptr) {
            core::ReportMisuse("DestroyWindow on " + HandleText(window) +
                               ", which is not a window");
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->ownerThread != thread) {
            core::ReportMisuse("DestroyWindow on " + HandleText(window) +
                               " from a thread that does not own it");
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (!BeginDestroy(*w))
            return TRUE;
    }
    RunDestroySequence(window);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window)
{
    core::Guard g(core::Lock());
    return LookUpWindow(window) != nullptr ? TRUE : FALSE;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index)
{
    return AccessSlot("GetWindowLongPtrA", window, index, sizeof(LONG_PTR), nullptr);
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value)
{
    return AccessSlot("SetWindowLongPtrA", window, index, sizeof(LONG_PTR), &value);
}

LONG WINAPI GetWindowLongA(HWND window, int index)
{
    return static_cast<LONG>(AccessSlot("GetWindowLongA", window, index, sizeof(LONG), nullptr));
}

LONG WINAPI SetWindowLongA(HWND window, int index, LONG value)
{
    LONG_PTR wide = value;
    return static_cast<LONG>(AccessSlot("SetWindowLongA", window, index, sizeof(LONG), &wide));
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        return 0;
    }
}
