// The objects of the emulated dialog manager: each dialog and each of its
// controls, kept beside their windows. Guarded by core::Lock(); nothing
// outside src/platform/emul includes this.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/emul/types.h"

namespace emu::dialog {

// The atoms a template names the predefined classes by; the emulation's
// windows of those classes carry them as their class atoms.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboBoxAtom = 0x0085;
// The dialog class (WC_DIALOG).
constexpr WORD kDialogAtom = 0x8002;

// Input the emulated user posts to a control: a click on a combo box entry
// (wParam the position). In the range of registered messages, so no
// program's own message can be taken for it.
constexpr UINT kChooseEntryMessage = 0xC0DE;

struct Control {
    HWND dialog = nullptr;
    WORD id = 0;
    WORD classAtom = 0;
    DWORD style = 0;
    std::string text; // ANSI, as the A functions see it
    std::vector<std::string> entries;
    int selection = -1;
    UINT check = BST_UNCHECKED;
    bool allSelected = false; // an edit's text is selected: the next character replaces it
};

struct Dialog {
    DLGPROC procedure = nullptr;
    HWND owner = nullptr;
    DWORD thread = 0;
    std::string caption;
    std::vector<HWND> controls; // template order
    HWND focus = nullptr;
    bool ended = false;
    INT_PTR result = 0;
};

struct Tables {
    std::map<HWND, Dialog> dialogs;
    std::map<HWND, Control> controls;
    std::vector<HWND> modal; // the running modal loops, innermost last
};

// Lock held.
Tables& T();
Dialog* FindDialog(HWND dialog);
Control* FindControl(HWND control);
// The control of a dialog with the id; null when there is none.
HWND ControlWithId(HWND dialog, int id);

// A window of one of the emulation's own classes, owned by the calling
// thread; counted like every window. Lock NOT held.
HWND CreateSystemWindow(WORD classAtom, WNDPROC procedure, HWND parent);

// The window procedures of the dialog class and of the controls.
LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// UTF-16 of a template to the ANSI code page (windows-1252); '?' for what
// it cannot hold.
std::string ToAnsi(const std::u16string& text);

} // namespace emu::dialog
