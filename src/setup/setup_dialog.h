// The setup dialog: a template built in memory at each showing, and its
// procedure, which reads the DriverState working copy when the dialog opens
// and writes the user's choices back on OK.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace k6dlg {

// Controls the procedure addresses; the labels (200 to 260) never are.
enum SetupControl : WORD {
    kCameraList = 201,
    kReadModeList = 211,
    kPreflashTimeEdit = 221,
    kClearCountEdit = 231,
    kMaxStepEdit = 241,
    kCcdTemperatureEdit = 251,
    kSetTemperatureEdit = 261,
    kWindowHeatingCheck = 270,
};

// The global block the template is written into, and what it takes of it.
constexpr size_t kTemplateBlockSize = 1024;
constexpr size_t kTemplateSize = 882;

// Writes the whole template (header and 17 controls) into a zero-filled
// block of `capacity` bytes whose start is 4-byte aligned; returns the
// number of bytes used, or 0 when it does not fit (nothing useful is left
// in the block then).
size_t WriteSetupTemplate(BYTE* block, size_t capacity);

// Shows the dialog modally, owned by `owner`; the dialog's result, or -1
// when no template memory could be had (then nothing is shown).
INT_PTR ShowSetupDialog(HINSTANCE instance, HWND owner);

INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace k6dlg
