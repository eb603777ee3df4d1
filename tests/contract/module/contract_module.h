// A small module of its own for the tests of the loader: an entry point, and
// code that the system can be handed (a window procedure, a timer procedure,
// a thread routine). A DLL on Windows, a shared object on the host, where
// emu::LoadModule loads it by its entry point.
#pragma once

#include "platform/win32.h"

#if defined(_WIN32)
#define CONTRACT_MODULE_API extern "C" __declspec(dllexport)
#else
#define CONTRACT_MODULE_API extern "C" __attribute__((visibility("default")))
#endif

// An address inside the module's code, found by name with GetProcAddress.
CONTRACT_MODULE_API void* ContractModuleAddress(void);

CONTRACT_MODULE_API BOOL WINAPI ContractModuleEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);
CONTRACT_MODULE_API LRESULT CALLBACK ContractModuleWindowProc(HWND window, UINT message, WPARAM wParam,
                                                                LPARAM lParam);
CONTRACT_MODULE_API void CALLBACK ContractModuleTimerProc(HWND window, UINT message, UINT_PTR id, DWORD tick);
// Waits for the event it is given, then returns.
CONTRACT_MODULE_API DWORD WINAPI ContractModuleThread(LPVOID event);
// Calls of the procedures above and detaches, since the module was built.
CONTRACT_MODULE_API LONG ContractModuleCalls(void);
CONTRACT_MODULE_API LONG ContractModuleDetaches(void);
