// Emulated user32: window classes, windows and their user data, per-thread
// message queues, timers and device-event registrations.
//
// A window belongs to the thread that created it. Posted messages go to that
// thread's queue; WM_TIMER is produced when that thread asks for a message
// and one of its timers is due on the virtual clock (coalesced, like the
// real one: a timer that is late by several periods yields one message).
// Device-change notifications behave like messages sent by the system: they
// are delivered to the window procedure inside the owner thread's next
// GetMessageA or PeekMessageA, before any posted message. Window and timer
// procedures are never called with an emulation lock held, so they may call
// back into anything here.
#pragma once

#include "platform/emul/types.h"

// Error codes that only this part of the emulation gives (winerror.h).
#define ERROR_WINDOW_OF_OTHER_THREAD 1408L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// --- Classes --------------------------------------------------------------
// Registers a class; the atom is new for every registration (0xC000 and
// up, going round only after all 16384 have been used). cbSize other than
// sizeof(WNDCLASSEXA), a null procedure, a null or integer-atom name, or
// negative extra bytes: 0, ERROR_INVALID_PARAMETER. A name already
// registered for the instance (case-insensitive): 0,
// ERROR_CLASS_ALREADY_EXISTS. Counted by the accounting until unregistered.
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc);
// Name or MAKEINTATOM(atom), registered for that instance. Unknown:
// FALSE, ERROR_CLASS_DOES_NOT_EXIST.
// Windows of the class still exist: FALSE, ERROR_CLASS_HAS_WINDOWS.
BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance);
// GCW_ATOM gives the class atom of a window. Invalid window: 0,
// ERROR_INVALID_WINDOW_HANDLE. Other indices: 0, ERROR_INVALID_INDEX.
DWORD WINAPI GetClassLongA(HWND window, int index);

// --- Windows --------------------------------------------------------------
// Creates a window of a class given by MAKEINTATOM(atom) or by name (the
// instance's own class of the name first, else any module's); sends
// WM_NCCREATE (a FALSE answer fails the creation, after WM_NCDESTROY) and
// WM_CREATE (-1 fails it, after WM_DESTROY and WM_NCDESTROY) to the class's
// procedure before returning, both with lParam 0 (no CREATESTRUCT). On those
// failures the last error is what the procedure left. The window belongs to
// the calling thread and is never shown; handles are never reused, so a
// destroyed window stays detectable. HWND_MESSAGE is accepted as parent.
// Unknown class: null, ERROR_CLASS_DOES_NOT_EXIST. Unknown parent: null,
// ERROR_INVALID_WINDOW_HANDLE. Counted until destroyed.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY, destroys the child windows, sends WM_NCDESTROY, then
// kills the window's timers and drops its queued messages (posted and
// sent); its device registrations stay. Called again from inside the
// sequence: TRUE, nothing more. Invalid window: FALSE,
// ERROR_INVALID_WINDOW_HANDLE; another thread's window: FALSE,
// ERROR_ACCESS_DENIED; both with a misuse report.
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI IsWindow(HWND window);
// GWLP_USERDATA (GWL_USERDATA is the same slot; the 32-bit forms see its
// low half) or a byte offset into the class's cbWndExtra bytes; any other
// index: 0, ERROR_INVALID_INDEX. Set returns the previous value; success
// leaves the last error alone, so as on Windows a 0 result is a success
// only when the caller cleared it before. Invalid window: 0,
// ERROR_INVALID_WINDOW_HANDLE, misuse report. Any thread may call them.
LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index);
LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG WINAPI GetWindowLongA(HWND window, int index);
LONG WINAPI SetWindowLongA(HWND window, int index, LONG value);
// Default processing: WM_NCCREATE gives TRUE, WM_CLOSE destroys the window,
// everything else 0.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The system cursors (IDC_ARROW to IDC_HELP, null instance) as opaque
// non-null values; anything else: null, ERROR_RESOURCE_NAME_NOT_FOUND.
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);

// --- Messages -------------------------------------------------------------
// Queues a message for the thread that owns the window; any thread may post.
// A null window posts a thread message to the caller's own queue. Invalid
// window: FALSE, ERROR_INVALID_WINDOW_HANDLE, and a misuse report.
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure directly. Invalid window: 0,
// ERROR_INVALID_WINDOW_HANDLE. Another thread's window is not supported by
// this emulation: 0, ERROR_WINDOW_OF_OTHER_THREAD, and a misuse report.
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Filters: a null window takes every message of the thread, (HWND)-1 only
// its thread messages, another window only that window's; a zero range
// takes every message, else [filterMin, filterMax]. WM_QUIT passes every
// filter. Before looking, both deliver every pending sent message (device
// notifications) whatever the filter. They then take, in Windows' order,
// the first matching posted message, else WM_QUIT (PostQuitMessage), else
// the earliest due timer's WM_TIMER (wParam the id, lParam its TIMERPROC).
// A timer's next period starts when its WM_TIMER is removed, so a timer
// late by several periods yields one message.
//
// GetMessageA blocks (on the virtual clock) until a message is there,
// delivering sent messages while it waits; WM_QUIT gives 0. A filter window
// that is not (or no longer) a window: -1, ERROR_INVALID_WINDOW_HANDLE.
BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
// Does not block. PM_REMOVE removes what it returns; other flag bits are
// ignored. FALSE when nothing matched (sent messages may still have been
// delivered). Invalid filter window: FALSE, ERROR_INVALID_WINDOW_HANDLE.
BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
// Always FALSE: there is no keyboard, so never a character message to make.
BOOL WINAPI TranslateMessage(const MSG* msg);
// Calls the procedure of msg->hwnd and returns its result. A WM_TIMER with
// a TIMERPROC calls it (with the tick count) only if that timer still
// exists with that procedure. A null window does nothing. Invalid window:
// 0, ERROR_INVALID_WINDOW_HANDLE; another thread's: 0,
// ERROR_WINDOW_OF_OTHER_THREAD.
LRESULT WINAPI DispatchMessageA(const MSG* msg);
void WINAPI PostQuitMessage(int exitCode);

// --- Timers ---------------------------------------------------------------
// A timer on a window, replaced (period restarted) when the same id is set
// again; it belongs to the window's owner thread. The period runs on the
// virtual clock and is bounded to 10..0x7FFFFFFF ms as on Windows. Returns
// the id (1 for id 0). A null window makes a thread timer of the caller
// whose id the system picks, unless `id` names one the caller already has.
// Counted until killed or its window is destroyed. Invalid window: 0,
// ERROR_INVALID_WINDOW_HANDLE, and a misuse report.
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);
// Unknown timer: FALSE (no last error is promised, as on Windows). Invalid
// window: FALSE, ERROR_INVALID_WINDOW_HANDLE.
BOOL WINAPI KillTimer(HWND window, UINT_PTR id);

// --- Device events --------------------------------------------------------
// The filter must be a DEV_BROADCAST_DEVICEINTERFACE_A with a size of at
// least sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) and device type 5; other
// filters: null, ERROR_INVALID_DATA. Flags other than
// DEVICE_NOTIFY_WINDOW_HANDLE, optionally with
// DEVICE_NOTIFY_ALL_INTERFACE_CLASSES (then the filter's class is ignored):
// null, ERROR_INVALID_PARAMETER. Invalid window: null,
// ERROR_INVALID_WINDOW_HANDLE. Counted until unregistered; the registration
// outlives its window, as the real one does, but a destroyed window gets
// nothing.
HDEVNOTIFY WINAPI RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags);
// Unknown handle: FALSE, ERROR_INVALID_HANDLE, and a misuse report.
BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY handle);

// --- Dialogs (dialog*.cpp) ------------------------------------------------
// Creates a modal dialog from an in-memory template (the plain DLGTEMPLATE
// form, read as Windows reads it: fields, menu, class, caption, font when
// DS_SETFONT is set, then each control on the next 4-byte boundary with its
// class given by a predefined atom or name, its text, and its creation
// data). The controls are buttons, edits, statics and combo boxes; the
// dialog procedure gets WM_INITDIALOG with `param`, then the modal loop
// runs on the calling thread and dispatches every message of the thread,
// the peer windows' timers and device events included, until EndDialog.
// Returns EndDialog's result. A template that ParseDialogTemplate
// (dialog_control.h) refuses, a menu (the emulation has no resources), a
// dialog class of its own, or a control class that is not one of those
// four: -1 with ERROR_INVALID_PARAMETER, ERROR_RESOURCE_NAME_NOT_FOUND or
// ERROR_CLASS_DOES_NOT_EXIST, and nothing is created. An owner that is not a window: 0,
// ERROR_INVALID_WINDOW_HANDLE. Test code drives the dialog through the hook
// of dialog_control.h; without one the loop waits for messages like any
// message loop.
INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate,
                                       HWND owner, DLGPROC procedure, LPARAM param);
// Marks the dialog to end with `result` once the current message is done.
// Not a dialog: FALSE, ERROR_INVALID_WINDOW_HANDLE.
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
// The control of the dialog with that id. None: null,
// ERROR_CONTROL_ID_NOT_FOUND.
HWND WINAPI GetDlgItem(HWND dialog, int id);
LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
// Copies at most size - 1 characters and a NUL; the number copied.
UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size);
BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check);
UINT WINAPI IsDlgButtonChecked(HWND dialog, int id);
BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text);
int WINAPI GetWindowTextA(HWND window, LPSTR text, int size);
// The keyboard of a dialog: Enter clicks the default button (IDOK when
// there is none), Escape clicks IDCANCEL; TRUE when the message was the
// dialog's and has been handled.
BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG msg);
