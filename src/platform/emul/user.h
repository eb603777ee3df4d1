// Emulated user32: window classes, windows and their user data, per-thread
// message queues, timers and device-event registrations.
//
// A window belongs to the thread that created it. Posted messages go to that
// thread's queue; WM_TIMER is produced when that thread asks for a message
// and one of its timers is due on the virtual clock (coalesced, like the
// real one: a timer that is late by several periods yields one message).
// Device-change notifications behave like messages sent by the system: they
// are delivered to the window procedure inside the owner thread's next
// GetMessageA or PeekMessageA, before any posted message.
#pragma once

#include "platform/emul/types.h"

// --- Classes --------------------------------------------------------------
// Registers a class; the atom is new for every registration (0xC000 and
// up). cbSize other than sizeof(WNDCLASSEXA), a null procedure or name:
// 0, ERROR_INVALID_PARAMETER. A name already registered for the instance
// (case-insensitive): 0, ERROR_CLASS_ALREADY_EXISTS. Counted by the
// accounting until unregistered.
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc);
// Name or MAKEINTATOM(atom). Unknown: FALSE, ERROR_CLASS_DOES_NOT_EXIST.
// Windows of the class still exist: FALSE, ERROR_CLASS_HAS_WINDOWS.
BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance);
// GCW_ATOM gives the class atom of a window. Invalid window: 0,
// ERROR_INVALID_WINDOW_HANDLE. Other indices: 0, ERROR_INVALID_INDEX.
DWORD WINAPI GetClassLongA(HWND window, int index);

// --- Windows --------------------------------------------------------------
// Creates a window of a class given by name or MAKEINTATOM(atom); sends
// WM_NCCREATE (a FALSE answer fails the creation) and WM_CREATE (-1 fails
// it) to the class's procedure before returning. The window is never shown.
// Unknown class: null, ERROR_CLASS_DOES_NOT_EXIST. Counted until destroyed.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY and WM_NCDESTROY, kills the window's timers and drops its
// queued messages. Must be called on the owner thread. Invalid window:
// FALSE, ERROR_INVALID_WINDOW_HANDLE, and a misuse report.
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI IsWindow(HWND window);
// GWLP_USERDATA only (GWL_USERDATA is the same slot). The previous value is
// returned; as on Windows a previous value of 0 with a last error of 0 is a
// success. Invalid window: 0, ERROR_INVALID_WINDOW_HANDLE, misuse report.
LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index);
LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG WINAPI GetWindowLongA(HWND window, int index);
LONG WINAPI SetWindowLongA(HWND window, int index, LONG value);
// Default processing: WM_NCCREATE gives TRUE, WM_CLOSE destroys the window,
// everything else 0.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Cursors are accepted as opaque values: IDC_ARROW from a null instance.
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);

// --- Messages -------------------------------------------------------------
// Queues a message for the thread that owns the window; any thread may post.
// Invalid window: FALSE, ERROR_INVALID_WINDOW_HANDLE.
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure directly (same thread only in this emulation).
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Blocks until a message for the calling thread is available (posted, or a
// due timer on the virtual clock); WM_QUIT gives 0. Only a null filter
// window and a zero range are supported, which is all the driver uses.
BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
// Does not block; delivers pending device notifications first.
BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
BOOL WINAPI TranslateMessage(const MSG* msg);
// Calls the procedure of msg->hwnd (a timer procedure for WM_TIMER with one).
LRESULT WINAPI DispatchMessageA(const MSG* msg);
void WINAPI PostQuitMessage(int exitCode);

// --- Timers ---------------------------------------------------------------
// A timer on a window, replaced when the same id is set again. The period is
// measured on the virtual clock. Counted until killed or its window is
// destroyed. Invalid window: 0, ERROR_INVALID_WINDOW_HANDLE.
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);
// Unknown timer: FALSE (no last error is promised, as on Windows).
BOOL WINAPI KillTimer(HWND window, UINT_PTR id);

// --- Device events --------------------------------------------------------
// The filter must be a DEV_BROADCAST_DEVICEINTERFACE_A with a size of at
// least sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) and device type 5; other
// filters: null, ERROR_INVALID_DATA. Invalid window: null,
// ERROR_INVALID_WINDOW_HANDLE. Counted until unregistered; the registration
// outlives its window, as the real one does.
HDEVNOTIFY WINAPI RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags);
// Unknown handle: FALSE, ERROR_INVALID_HANDLE, and a misuse report.
BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY handle);
