#include "platform/emul/user_state.h"

#include <cstdio>

namespace emu::user {

bool MessageFilter::Matches(HWND hwnd, UINT message) const
{
    if (message == WM_QUIT)
        return true;
    if (window == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        if (hwnd != nullptr)
            return false;
    } else if (window != nullptr && hwnd != window) {
        return false;
    }
    if (first == 0 && last == 0)
        return true;
    return message >= first && message <= last;
}

State& S()
{
    static State* state = new State; // never destroyed: threads may outlive main's statics
    return *state;
}

Window* LookUpWindow(HWND window)
{
    auto it = S().windows.find(window);
    return it == S().windows.end() ? nullptr : &it->second;
}

WindowClass* ClassOf(const Window& window)
{
    auto it = S().classes.find(window.classAtom);
    return it == S().classes.end() ? nullptr : &it->second;
}

ThreadQueue& QueueOf(DWORD thread) { return S().queues[thread]; }

std::string HandleText(const void* handle)
{
    char text[24];
    std::snprintf(text, sizeof text, "%p", handle);
    return text;
}

} // namespace emu::user
