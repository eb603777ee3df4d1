#include "wine/dialog/dialog_user.h"

#include <cstdio>

namespace wine_dialog {

const char kCaption[] = "K5/K6/K7 CCD Camera";

namespace {

const int kEditFields[] = {221, 231, 241, 251, 261};
// The dialog class of the window manager (WC_DIALOG).
const char kDialogClass[] = "#32770";

std::string TextOf(HWND window)
{
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

void LookAt(HWND dialog, UserPlan* plan)
{
    for (int id : kEditFields) {
        HWND field = GetDlgItem(dialog, id);
        plan->texts.emplace_back(id, TextOf(field));
        if ((GetWindowLongA(field, GWL_STYLE) & ES_READONLY) != 0)
            plan->readOnly.push_back(id);
    }
    HWND modes = GetDlgItem(dialog, 211);
    LRESULT count = SendMessageA(modes, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char name[64] = {};
        SendMessageA(modes, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
        plan->readModes.push_back(name);
    }
    plan->heatingChecked = SendMessageA(GetDlgItem(dialog, 270), BM_GETCHECK, 0, 0) == BST_CHECKED;
    GetWindowRect(dialog, &plan->frame);
}

// Keys as the keyboard gives them to the focused field: the whole text
// selected first, so that the typing replaces it.
void TypeInto(HWND field, const std::string& text)
{
    SendMessageA(field, WM_SETFOCUS, 0, 0);
    SendMessageA(field, EM_SETSEL, 0, -1);
    for (char c : text)
        SendMessageA(field, WM_CHAR, static_cast<unsigned char>(c), 1);
}

DWORD WINAPI Act(LPVOID parameter)
{
    auto* plan = static_cast<UserPlan*>(parameter);
    HWND dialog = WaitForDialog(30000);
    if (dialog == nullptr)
        return 1;
    plan->found = true;
    LookAt(dialog, plan);
    for (const auto& entry : plan->typed)
        TypeInto(GetDlgItem(dialog, entry.first), entry.second);
    if (plan->toggleHeating)
        SendMessageA(GetDlgItem(dialog, 270), BM_CLICK, 0, 0);
    if (plan->holdMilliseconds != 0) {
        std::printf("dialog open\n");
        std::fflush(stdout);
        Sleep(plan->holdMilliseconds);
    }
    SendMessageA(GetDlgItem(dialog, plan->button), BM_CLICK, 0, 0);
    return 0;
}

} // namespace

HWND WaitForDialog(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        HWND dialog = FindWindowA(kDialogClass, kCaption);
        if (dialog != nullptr && IsWindowVisible(dialog))
            return dialog;
        Sleep(20);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

HANDLE StartUser(UserPlan* plan)
{
    return CreateThread(nullptr, 0, Act, plan, 0, nullptr);
}

} // namespace wine_dialog
