// What only the emulation can do with dialogs: read a template back as the
// dialog manager reads it, and play the user of a modal dialog.
//
// A test installs a user with SetDialogUser. Each time the modal loop of a
// dialog has dispatched every message there is, it calls the user on the
// dialog's own thread, as a person would act while the dialog waits. The
// user acts through the functions below (each posts the input that a mouse
// or keyboard would, handled by the loop after the user returns) or moves
// the virtual clock (emu::Advance), whose due timers the loop dispatches
// next; the peer windows' timers and device events go on meanwhile. A user
// that does neither while the dialog stays open would leave it waiting for
// ever: the emulation then reports a misuse and ends the dialog with 0.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/emul/types.h"

namespace emu {

// --- Templates ---------------------------------------------------------------
// A text field of a template: an ordinal (0xFFFF then a WORD) or a UTF-16
// text; `present` is false for the empty form (a single 0 WORD).
struct TemplateName {
    bool present = false;
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::u16string text;
};

struct DialogItemTemplate {
    size_t offset = 0; // from the template's start
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    TemplateName windowClass;
    TemplateName title;
    std::vector<BYTE> creationData;
};

struct DialogTemplateView {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;
    TemplateName windowClass;
    std::u16string caption;
    WORD pointSize = 0; // only with DS_SETFONT
    std::u16string faceName;
    std::vector<DialogItemTemplate> items;
    size_t size = 0; // bytes read, up to the end of the last control
};

// Reads a plain DLGTEMPLATE as the dialog manager does: each control on the
// next 4-byte boundary (counted from the template's start, which must be
// 4-byte aligned). `limit` bounds every read (0: the 64 KiB a template can
// be at most). False with *error set when the template is not one that
// DialogBoxIndirectParamA would build: ERROR_INVALID_PARAMETER for a null or
// unaligned start, an extended template, or a field that runs past the limit.
bool ParseDialogTemplate(const void* data, size_t limit, DialogTemplateView* out, DWORD* error);

// --- The user ------------------------------------------------------------------
typedef std::function<void(HWND dialog)> DialogUser;
// Installs the user of every modal dialog (an empty function removes it).
void SetDialogUser(DialogUser user);

// The innermost modal dialog the calling thread runs, or null.
HWND ActiveDialog();

// Picks the entry at `position` from a combo box's list (as a click on it):
// the selection moves and the dialog gets CBN_SELCHANGE. False when the
// control is not a combo box or has no such entry.
bool ChooseEntry(HWND dialog, int id, int position);
// Focuses an edit field, selects all its text and types `text` over it.
// False, and nothing typed, when it is not an edit or it is read-only.
bool TypeInto(HWND dialog, int id, const std::string& text);
// Clicks a button: a check box toggles, and the dialog gets BN_CLICKED.
bool Click(HWND dialog, int id);
// A key pressed in the focused control (VK_RETURN, VK_ESCAPE...).
bool PressKey(HWND dialog, int virtualKey);
// The close box of the caption.
bool CloseBox(HWND dialog);

// What a person sees of a control.
struct ControlView {
    WORD id = 0;
    WORD classAtom = 0; // 0x0080 button, 0x0081 edit, 0x0082 static, 0x0085 combo box
    DWORD style = 0;
    std::string text; // a combo box: its selected entry
    std::vector<std::string> entries;
    int selection = -1;
    bool readOnly = false;
    bool checked = false;
    bool focused = false;
};
bool ViewControl(HWND dialog, int id, ControlView* out);
// The controls in template order.
std::vector<ControlView> ViewControls(HWND dialog);
std::string DialogCaption(HWND dialog);

} // namespace emu
