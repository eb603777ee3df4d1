// The emulated person in front of a dialog: input is posted as the mouse
// and keyboard would make it, and handled by the dialog's loop.
#include "platform/emul/core.h"
#include "platform/emul/dialog_control.h"
#include "platform/emul/dialog_state.h"
#include "platform/emul/user.h"

using namespace emu::dialog;

namespace emu {
namespace {

// The control, when it is of the class; focuses it as a click would.
HWND FocusControl(HWND dialog, int id, WORD classAtom)
{
    core::Guard g(core::Lock());
    HWND control = ControlWithId(dialog, id);
    if (control == nullptr)
        return nullptr;
    Control* c = FindControl(control);
    if (classAtom != 0 && c->classAtom != classAtom)
        return nullptr;
    FindDialog(dialog)->focus = control;
    return control;
}

ControlView ViewOf(HWND control, const Control& c, HWND focus)
{
    ControlView view;
    view.id = c.id;
    view.classAtom = c.classAtom;
    view.style = c.style;
    view.entries = c.entries;
    view.selection = c.selection;
    view.text = c.classAtom == kComboBoxAtom
                    ? (c.selection < 0 ? std::string() : c.entries[static_cast<size_t>(c.selection)])
                    : c.text;
    view.readOnly = c.classAtom == kEditAtom && (c.style & ES_READONLY) != 0;
    view.checked = c.check == BST_CHECKED;
    view.focused = control == focus;
    return view;
}

} // namespace

bool ChooseEntry(HWND dialog, int id, int position)
{
    HWND control = FocusControl(dialog, id, kComboBoxAtom);
    ControlView view;
    if (control == nullptr || !ViewControl(dialog, id, &view) || position < 0 ||
        position >= static_cast<int>(view.entries.size()))
        return false;
    return PostMessageA(control, kChooseEntryMessage, static_cast<WPARAM>(position), 0) != FALSE;
}

bool TypeInto(HWND dialog, int id, const std::string& text)
{
    ControlView view;
    if (!ViewControl(dialog, id, &view) || view.classAtom != kEditAtom || view.readOnly)
        return false;
    HWND control = FocusControl(dialog, id, kEditAtom);
    PostMessageA(control, EM_SETSEL, 0, -1);
    for (char c : text)
        PostMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
    if (text.empty())
        PostMessageA(control, WM_CHAR, VK_BACK, 1); // deletes the selected text
    return true;
}

bool Click(HWND dialog, int id)
{
    HWND control = FocusControl(dialog, id, kButtonAtom);
    if (control == nullptr)
        return false;
    PostMessageA(control, WM_LBUTTONDOWN, 0, 0);
    return PostMessageA(control, WM_LBUTTONUP, 0, 0) != FALSE;
}

bool PressKey(HWND dialog, int virtualKey)
{
    HWND target;
    {
        core::Guard g(core::Lock());
        Dialog* d = FindDialog(dialog);
        if (d == nullptr)
            return false;
        target = d->focus != nullptr ? d->focus : dialog;
    }
    return PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 1) != FALSE;
}

bool CloseBox(HWND dialog)
{
    {
        core::Guard g(core::Lock());
        if (FindDialog(dialog) == nullptr)
            return false;
    }
    return PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
}

bool ViewControl(HWND dialog, int id, ControlView* out)
{
    core::Guard g(core::Lock());
    HWND control = ControlWithId(dialog, id);
    if (control == nullptr)
        return false;
    *out = ViewOf(control, *FindControl(control), FindDialog(dialog)->focus);
    return true;
}

std::vector<ControlView> ViewControls(HWND dialog)
{
    core::Guard g(core::Lock());
    std::vector<ControlView> views;
    Dialog* d = FindDialog(dialog);
    if (d == nullptr)
        return views;
    for (HWND control : d->controls)
        views.push_back(ViewOf(control, *FindControl(control), d->focus));
    return views;
}

std::string DialogCaption(HWND dialog)
{
    core::Guard g(core::Lock());
    Dialog* d = FindDialog(dialog);
    return d == nullptr ? std::string() : d->caption;
}

} // namespace emu
