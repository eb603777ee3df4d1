// A hidden window made the way the driver makes its peer windows: a class
// registered under a fresh name and used only by its atom, a tool window of
// style 0 at (-1, -1) with size 0 x 0. Its procedure records every message
// it receives, with the thread it ran on.
#pragma once

#include <cstdio>
#include <vector>

#include "contract/harness.h"

namespace contract {

struct ReceivedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

inline std::vector<ReceivedMessage>& ReceivedMessages()
{
    static std::vector<ReceivedMessage> messages;
    return messages;
}

inline LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam)
{
    ReceivedMessages().push_back({window, message, wParam, lParam, GetCurrentThreadId()});
    return DefWindowProcA(window, message, wParam, lParam);
}

// The messages of one kind received so far, oldest first.
inline std::vector<ReceivedMessage> Received(UINT message)
{
    std::vector<ReceivedMessage> out;
    for (const ReceivedMessage& m : ReceivedMessages())
        if (m.message == message)
            out.push_back(m);
    return out;
}

// Index of the first received message of a kind, or -1.
inline int FirstIndexOf(UINT message)
{
    const std::vector<ReceivedMessage>& all = ReceivedMessages();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].message == message)
            return static_cast<int>(i);
    return -1;
}

inline ATOM RegisterRecordingClass(char* name, size_t size)
{
    UniqueName(name, size, "class");
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = 0;
    wc.lpfnWndProc = RecordingWindowProc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    return RegisterClassExA(&wc);
}

inline HWND CreateHiddenWindow(ATOM atom)
{
    return CreateWindowExA(WS_EX_TOOLWINDOW, MAKEINTATOM(atom), "", 0, -1, -1, 0, 0, nullptr,
                           nullptr, ModuleInstance(), nullptr);
}

// Class and window for one test; both go when it ends.
class TestWindow {
public:
    TestWindow()
    {
        ReceivedMessages().clear();
        atom_ = RegisterRecordingClass(className_, sizeof className_);
        if (atom_ != 0)
            window_ = CreateHiddenWindow(atom_);
    }
    ~TestWindow()
    {
        if (window_ && IsWindow(window_))
            DestroyWindow(window_);
        if (atom_ != 0)
            UnregisterClassA(MAKEINTATOM(atom_), ModuleInstance());
        DrainQueue();
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    ATOM atom() const { return atom_; }
    HWND window() const { return window_; }

    // Dispatches whatever is queued for this thread; returns how many.
    static int DispatchPending()
    {
        int count = 0;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            ++count;
        }
        return count;
    }

private:
    static void DrainQueue()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    char className_[64] = {};
    ATOM atom_ = 0;
    HWND window_ = nullptr;
};

} // namespace contract
