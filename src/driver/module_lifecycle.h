#pragma once

#include "platform/win32.h"

// What the loader runs when the module is mapped into a process and when it
// leaves it. Both run under the loader lock and do only registration and
// allocation.
void OnProcessAttach(HINSTANCE instance);
void OnProcessDetach();

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
