#pragma once

#include "platform/win32.h"

// Registers the hidden window class through which camera objects receive
// device events, timers and the end-of-exposure message. The class name only
// has to be new at each load: windows are created, recognised and
// unregistered by the atom stored in driverState.peerClassAtom.
void RegisterPeerWindowClass();

LRESULT CALLBACK PeerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
