// The controls of emulated dialogs: buttons, edits, statics and combo
// boxes, with the messages that dialog procedures send them.
#include <algorithm>
#include <cstring>

#include "platform/emul/core.h"
#include "platform/emul/dialog_state.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"

using namespace emu;
using namespace emu::dialog;

namespace {

// What a control's procedure leaves to do once the lock is given back: the
// notification a control sends its dialog.
struct Notification {
    HWND dialog = nullptr;
    WPARAM wParam = 0;
    HWND control = nullptr;
};

LRESULT CopyOut(const std::string& text, WPARAM size, LPARAM buffer)
{
    if (size == 0 || buffer == 0)
        return 0;
    size_t count = std::min<size_t>(text.size(), size - 1);
    char* out = reinterpret_cast<char*>(buffer);
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
    return static_cast<LRESULT>(count);
}

std::string TextAt(LPARAM lParam)
{
    return lParam == 0 ? std::string() : std::string(reinterpret_cast<const char*>(lParam));
}

// The order a sorted combo box keeps: letter case ignored, as the
// dialog manager compares by the user's locale.
bool SortsBefore(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
    });
}

LRESULT ComboMessage(Control& c, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     Notification* notify)
{
    int count = static_cast<int>(c.entries.size());
    switch (message) {
    case CB_RESETCONTENT:
        c.entries.clear();
        c.selection = -1;
        return 0; // CB_OKAY
    case CB_ADDSTRING: {
        std::string text = TextAt(lParam);
        auto at = c.entries.end();
        if ((c.style & CBS_SORT) != 0)
            at = std::upper_bound(c.entries.begin(), c.entries.end(), text, SortsBefore);
        int position = static_cast<int>(at - c.entries.begin());
        c.entries.insert(at, text);
        if (c.selection >= position)
            ++c.selection;
        return position;
    }
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return c.selection;
    case CB_SETCURSEL: {
        int position = static_cast<int>(static_cast<intptr_t>(wParam));
        c.selection = position >= 0 && position < count ? position : -1;
        return c.selection;
    }
    case CB_GETLBTEXT: {
        int position = static_cast<int>(static_cast<intptr_t>(wParam));
        if (position < 0 || position >= count || lParam == 0)
            return CB_ERR;
        const std::string& text = c.entries[static_cast<size_t>(position)];
        std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
        return static_cast<LRESULT>(text.size());
    }
    case CB_GETLBTEXTLEN: {
        int position = static_cast<int>(static_cast<intptr_t>(wParam));
        if (position < 0 || position >= count)
            return CB_ERR;
        return static_cast<LRESULT>(c.entries[static_cast<size_t>(position)].size());
    }
    case WM_GETTEXT:
        return CopyOut(c.selection < 0 ? std::string() : c.entries[static_cast<size_t>(c.selection)],
                       wParam, lParam);
    case kChooseEntryMessage: {
        int position = static_cast<int>(wParam);
        if (position < 0 || position >= count)
            return 0;
        c.selection = position;
        *notify = Notification{c.dialog, MAKEWPARAM(c.id, CBN_SELCHANGE), window};
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT EditMessage(Control& c, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case EM_SETREADONLY:
        c.style = wParam != 0 ? (c.style | ES_READONLY) : (c.style & ~static_cast<DWORD>(ES_READONLY));
        return TRUE;
    case EM_SETSEL:
        c.allSelected = wParam == 0 && lParam == -1;
        return 0;
    case WM_CHAR:
        // A read-only field only beeps at a key.
        if ((c.style & ES_READONLY) != 0)
            return 0;
        if (c.allSelected)
            c.text.clear();
        c.allSelected = false;
        if (wParam == VK_BACK) {
            if (!c.text.empty())
                c.text.pop_back();
        } else {
            c.text.push_back(static_cast<char>(wParam));
        }
        return 0;
    default:
        return 0;
    }
}

LRESULT ButtonMessage(Control& c, HWND window, UINT message, WPARAM wParam, Notification* notify)
{
    bool checkBox = (c.style & BS_TYPEMASK) == BS_CHECKBOX || (c.style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
    switch (message) {
    case BM_GETCHECK:
        return checkBox ? c.check : BST_UNCHECKED;
    case BM_SETCHECK:
        if (checkBox)
            c.check = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
        return 0;
    case BM_CLICK:
    case WM_LBUTTONUP:
        if ((c.style & BS_TYPEMASK) == BS_AUTOCHECKBOX)
            c.check = c.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        *notify = Notification{c.dialog, MAKEWPARAM(c.id, BN_CLICKED), window};
        return 0;
    default:
        return 0;
    }
}

LRESULT ControlMessage(Control& c, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                       Notification* notify)
{
    if (c.classAtom == kComboBoxAtom)
        return ComboMessage(c, window, message, wParam, lParam, notify);
    switch (message) {
    case WM_SETTEXT:
        c.text = TextAt(lParam);
        c.allSelected = false;
        return TRUE;
    case WM_GETTEXT:
        return CopyOut(c.text, wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(c.text.size());
    default:
        break;
    }
    if (c.classAtom == kEditAtom)
        return EditMessage(c, message, wParam, lParam);
    if (c.classAtom == kButtonAtom)
        return ButtonMessage(c, window, message, wParam, notify);
    return 0;
}

HWND ItemOf(HWND dialog, int id)
{
    core::Guard g(core::Lock());
    return ControlWithId(dialog, id);
}

} // namespace

namespace emu::dialog {

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Notification notify;
    LRESULT result;
    {
        core::Guard g(core::Lock());
        Control* c = FindControl(window);
        if (c == nullptr)
            return 0;
        if (message == WM_NCDESTROY) {
            T().controls.erase(window);
            return 0;
        }
        result = ControlMessage(*c, window, message, wParam, lParam, &notify);
    }
    if (notify.dialog != nullptr)
        SendMessageA(notify.dialog, WM_COMMAND, notify.wParam, reinterpret_cast<LPARAM>(notify.control));
    return result;
}

} // namespace emu::dialog

HWND WINAPI GetDlgItem(HWND dialog, int id)
{
    HWND control = ItemOf(dialog, id);
    if (control == nullptr)
        SetLastError(IsWindow(dialog) ? ERROR_CONTROL_ID_NOT_FOUND : ERROR_INVALID_WINDOW_HANDLE);
    return control;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND control = GetDlgItem(dialog, id);
    return control == nullptr ? 0 : SendMessageA(control, message, wParam, lParam);
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    HWND control = GetDlgItem(dialog, id);
    return control == nullptr ? FALSE : SetWindowTextA(control, text);
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size)
{
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        if (text != nullptr && size > 0)
            text[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(control, text, size));
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check)
{
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr)
        return FALSE;
    SendMessageA(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control == nullptr ? 0 : static_cast<UINT>(SendMessageA(control, BM_GETCHECK, 0, 0));
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text)
{
    {
        core::Guard g(core::Lock());
        if (Dialog* d = FindDialog(window)) {
            d->caption = text == nullptr ? "" : text;
            return TRUE;
        }
    }
    if (!IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != FALSE;
}

int WINAPI GetWindowTextA(HWND window, LPSTR text, int size)
{
    if (text == nullptr || size <= 0)
        return 0;
    {
        core::Guard g(core::Lock());
        if (Dialog* d = FindDialog(window))
            return static_cast<int>(CopyOut(d->caption, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
    }
    text[0] = '\0';
    if (!IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}
