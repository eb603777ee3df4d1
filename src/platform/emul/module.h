// Emulated module references: which loaded module holds an address, and
// the reference count that FreeLibrary gives back. A module here is one that
// emu::LoadModule loaded (control.h); its code is the image its entry point
// lies in, so the code of a module linked into the program itself belongs to
// the program, as code of the program's own image does on Windows.
#pragma once

#include "platform/emul/types.h"

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

#define ERROR_MOD_NOT_FOUND 126L

// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, `name` is an address: the
// module whose code holds it goes into *module and gains a reference (none
// with UNCHANGED_REFCOUNT; with PIN it stays loaded until the process ends,
// whatever FreeLibrary is called). An address in no loaded module (the
// program's own code included): FALSE, *module null, ERROR_MOD_NOT_FOUND.
// Null `module`, or PIN with UNCHANGED_REFCOUNT: FALSE,
// ERROR_INVALID_PARAMETER. Look-ups by name are outside the emulated subset
// (FALSE, ERROR_INVALID_PARAMETER and a misuse report). Does not block.
BOOL WINAPI GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module);
// Gives back one reference; the last one unloads the module: its entry
// point runs with DLL_PROCESS_DETACH, and every window class, window, timer,
// device notification and thread whose code lies in the module is reported
// as a misuse (on Windows the next message or wake-up jumps into unmapped
// memory), as is every later call into that code. A module that is not
// loaded: FALSE, ERROR_MOD_NOT_FOUND and a misuse report.
BOOL WINAPI FreeLibrary(HMODULE module);
