// The emulated dialog manager: a modal dialog built from an in-memory
// template, its default procedure, its keyboard and its modal loop.
#include <mutex>

#include "platform/emul/control.h"
#include "platform/emul/core.h"
#include "platform/emul/dialog_control.h"
#include "platform/emul/dialog_state.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"

using namespace emu;
using namespace emu::dialog;

namespace {

std::mutex userLock;
DialogUser& User()
{
    static DialogUser* user = new DialogUser;
    return *user;
}

DialogUser CurrentUser()
{
    std::lock_guard<std::mutex> g(userLock);
    return User();
}

WORD AtomOfClass(const TemplateName& name)
{
    if (name.isOrdinal)
        return name.ordinal;
    std::string ansi = ToAnsi(name.text);
    for (char& c : ansi)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (ansi == "BUTTON")
        return kButtonAtom;
    if (ansi == "EDIT")
        return kEditAtom;
    if (ansi == "STATIC")
        return kStaticAtom;
    if (ansi == "COMBOBOX")
        return kComboBoxAtom;
    return 0;
}

bool IsEmulatedClass(WORD atom)
{
    return atom == kButtonAtom || atom == kEditAtom || atom == kStaticAtom || atom == kComboBoxAtom;
}

// What of a readable template this emulation cannot build, as Windows
// could not either: a menu resource (there are none here), a dialog class
// of the program's own, an unknown control class.
DWORD CheckBuildable(const DialogTemplateView& view)
{
    if (view.menu.present)
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    if (view.windowClass.present)
        return ERROR_CLASS_DOES_NOT_EXIST;
    for (const DialogItemTemplate& item : view.items)
        if (!IsEmulatedClass(AtomOfClass(item.windowClass)))
            return ERROR_CLASS_DOES_NOT_EXIST;
    return ERROR_SUCCESS;
}

void AddControl(HWND dialog, const DialogItemTemplate& item)
{
    // Names are converted before the lock is taken: the conversion uses
    // the emulated code page, which takes the lock itself.
    WORD classAtom = AtomOfClass(item.windowClass);
    std::string text = item.title.isOrdinal ? std::string() : ToAnsi(item.title.text);
    HWND control = CreateSystemWindow(classAtom, ControlWindowProc, dialog);
    core::Guard g(core::Lock());
    Control& c = T().controls[control];
    c.dialog = dialog;
    c.id = item.id;
    c.classAtom = classAtom;
    c.style = item.style;
    if (c.classAtom != kComboBoxAtom)
        c.text = text;
    FindDialog(dialog)->controls.push_back(control);
}

HWND BuildDialog(const DialogTemplateView& view, HWND owner, DLGPROC procedure)
{
    HWND dialog = CreateSystemWindow(kDialogAtom, DialogWindowProc, nullptr);
    std::string caption = ToAnsi(view.caption);
    {
        core::Guard g(core::Lock());
        Dialog& d = T().dialogs[dialog];
        d.procedure = procedure;
        d.owner = owner;
        d.thread = GetCurrentThreadId();
        d.caption = caption;
    }
    for (const DialogItemTemplate& item : view.items)
        AddControl(dialog, item);
    return dialog;
}

// The first control that takes the focus by the Tab key.
HWND FirstTabStop(HWND dialog)
{
    core::Guard g(core::Lock());
    Dialog* d = FindDialog(dialog);
    for (HWND control : d->controls) {
        Control* c = FindControl(control);
        if ((c->style & WS_TABSTOP) != 0 && (c->style & WS_DISABLED) == 0)
            return control;
    }
    return nullptr;
}

void SetDialogFocus(HWND dialog, HWND control)
{
    core::Guard g(core::Lock());
    if (Dialog* d = FindDialog(dialog))
        d->focus = control;
}

bool HasEnded(HWND dialog, INT_PTR* result)
{
    core::Guard g(core::Lock());
    Dialog* d = FindDialog(dialog);
    if (d == nullptr)
        return true; // destroyed under the loop: nothing left to wait for
    *result = d->result;
    return d->ended;
}

bool IsDialogWindow(HWND dialog, HWND window)
{
    core::Guard g(core::Lock());
    if (window == dialog)
        return true;
    Control* c = FindControl(window);
    return c != nullptr && c->dialog == dialog;
}

// The user acts while the loop has nothing to dispatch. A user that leaves
// everything as it was would keep the dialog open for ever.
void LetUserAct(HWND dialog, const DialogUser& user)
{
    uint64_t before = Now();
    user(dialog);
    INT_PTR result;
    MSG msg;
    if (HasEnded(dialog, &result) || Now() != before || PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE))
        return;
    core::ReportMisuse("the user of a modal dialog did nothing while it waited; the dialog is ended");
    EndDialog(dialog, 0);
}

INT_PTR RunModalLoop(HWND dialog)
{
    INT_PTR result = 0;
    while (!HasEnded(dialog, &result)) {
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DialogUser user = CurrentUser();
            if (user) {
                LetUserAct(dialog, user);
                continue;
            }
            if (GetMessageA(&msg, nullptr, 0, 0) == -1)
                continue;
        }
        if (msg.message == WM_QUIT) {
            // The loop that quits is the application's: it gets the message back.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return 0;
        }
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return result;
}

INT_PTR RunModal(HWND dialog, DLGPROC procedure, LPARAM param)
{
    {
        core::Guard g(core::Lock());
        T().modal.push_back(dialog);
    }
    HWND first = FirstTabStop(dialog);
    if (procedure(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) != FALSE)
        SetDialogFocus(dialog, first);
    INT_PTR result = RunModalLoop(dialog);
    {
        core::Guard g(core::Lock());
        T().modal.pop_back();
    }
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return result;
}

LRESULT DefaultDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        // As the dialog manager does: the close box is the Cancel button.
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
        return 0;
    case DM_GETDEFID: {
        core::Guard g(core::Lock());
        Dialog* d = FindDialog(window);
        for (HWND control : d->controls) {
            Control* c = FindControl(control);
            if (c->classAtom == kButtonAtom && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                return MAKELONG(c->id, DC_HASDEFID);
        }
        return 0;
    }
    default:
        return 0;
    }
}

void ClickButtonByKey(HWND dialog, WORD id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

} // namespace

namespace emu::dialog {

LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DLGPROC procedure = nullptr;
    {
        core::Guard g(core::Lock());
        if (Dialog* d = FindDialog(window))
            procedure = d->procedure;
    }
    if (message == WM_NCDESTROY) {
        if (procedure != nullptr)
            procedure(window, message, wParam, lParam);
        core::Guard g(core::Lock());
        T().dialogs.erase(window);
        return 0;
    }
    if (procedure != nullptr && procedure(window, message, wParam, lParam) != FALSE)
        return 0;
    return DefaultDialogMessage(window, message, wParam, lParam);
}

} // namespace emu::dialog

namespace emu {

void SetDialogUser(DialogUser user)
{
    std::lock_guard<std::mutex> g(userLock);
    User() = std::move(user);
}

HWND ActiveDialog()
{
    DWORD thread = GetCurrentThreadId();
    core::Guard g(core::Lock());
    for (auto it = T().modal.rbegin(); it != T().modal.rend(); ++it) {
        Dialog* d = FindDialog(*it);
        if (d != nullptr && d->thread == thread)
            return *it;
    }
    return nullptr;
}

} // namespace emu

INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                       DLGPROC procedure, LPARAM param)
{
    if (owner != nullptr && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    DialogTemplateView view;
    DWORD error;
    if (procedure == nullptr || !ParseDialogTemplate(dialogTemplate, 0, &view, &error)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    error = CheckBuildable(view);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return -1;
    }
    return RunModal(BuildDialog(view, owner, procedure), procedure, param);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result)
{
    core::Guard g(core::Lock());
    Dialog* d = FindDialog(dialog);
    if (d == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    d->ended = true;
    d->result = result;
    core::NotifyAll();
    return TRUE;
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG msg)
{
    if (msg == nullptr || !IsDialogWindow(dialog, msg->hwnd))
        return FALSE;
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        LRESULT defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
        ClickButtonByKey(dialog, HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : IDOK);
        return TRUE;
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
        ClickButtonByKey(dialog, IDCANCEL);
        return TRUE;
    }
    DispatchMessageA(msg);
    return TRUE;
}
