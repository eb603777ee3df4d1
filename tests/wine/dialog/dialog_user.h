// A person at the setup dialog, played by a second thread of the program
// while the first one runs the dialog inside d_SetupCCD: it finds the
// dialog by its caption, reads what it shows, types, and presses a button,
// all through the real window manager's messages.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace wine_dialog {

extern const char kCaption[];

struct UserPlan {
    // What the person does, in this order.
    std::vector<std::pair<int, std::string>> typed;
    bool toggleHeating = false;
    int button = IDCANCEL;
    DWORD holdMilliseconds = 0; // how long the dialog stays open before the button

    // What the person saw before acting.
    bool found = false;
    std::vector<std::pair<int, std::string>> texts; // every edit field
    std::vector<int> readOnly;                      // the edit fields that refused typing
    std::vector<std::string> readModes;
    bool heatingChecked = false;
    RECT frame = {};
};

// Starts the person's thread; the caller joins it after the dialog ended.
HANDLE StartUser(UserPlan* plan);

// The dialog's window, once shown (waits up to `milliseconds`); null if it
// never appeared.
HWND WaitForDialog(DWORD milliseconds);

} // namespace wine_dialog
