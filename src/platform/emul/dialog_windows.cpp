#include "platform/emul/core.h"
#include "platform/emul/dialog_state.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"
#include "platform/emul/user_state.h"

namespace emu::dialog {

Tables& T()
{
    static Tables* tables = new Tables; // never destroyed, like the rest of the emulation's state
    return *tables;
}

Dialog* FindDialog(HWND dialog)
{
    auto it = T().dialogs.find(dialog);
    return it == T().dialogs.end() ? nullptr : &it->second;
}

Control* FindControl(HWND control)
{
    auto it = T().controls.find(control);
    return it == T().controls.end() ? nullptr : &it->second;
}

HWND ControlWithId(HWND dialog, int id)
{
    Dialog* d = FindDialog(dialog);
    if (d == nullptr)
        return nullptr;
    for (HWND control : d->controls) {
        Control* c = FindControl(control);
        if (c != nullptr && c->id == static_cast<WORD>(id))
            return control;
    }
    return nullptr;
}

HWND CreateSystemWindow(WORD classAtom, WNDPROC procedure, HWND parent)
{
    DWORD thread = GetCurrentThreadId();
    core::Guard g(core::Lock());
    user::State& s = user::S();
    HWND window = reinterpret_cast<HWND>(s.nextWindow);
    s.nextWindow += 0x10;
    user::Window& w = s.windows[window];
    w.handle = window;
    w.classAtom = classAtom;
    w.procedure = procedure;
    w.ownerThread = thread;
    w.parent = parent;
    ++core::Counters().windows;
    return window;
}

std::string ToAnsi(const std::u16string& text)
{
    // The upper half of windows-1252 below 0xA0 is not Latin-1; its code
    // points are learnt from the emulation's own conversion.
    static const std::u16string kHighControls = [] {
        std::u16string table;
        for (int byte = 0x80; byte < 0xA0; ++byte) {
            char in = static_cast<char>(byte);
            WCHAR out = 0;
            MultiByteToWideChar(CP_ACP, 0, &in, 1, &out, 1);
            table.push_back(static_cast<char16_t>(out));
        }
        return table;
    }();
    std::string ansi;
    for (char16_t unit : text) {
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            ansi.push_back(static_cast<char>(unit));
            continue;
        }
        size_t at = kHighControls.find(unit);
        ansi.push_back(at == std::u16string::npos ? '?' : static_cast<char>(0x80 + at));
    }
    return ansi;
}

} // namespace emu::dialog
