#include "platform/win32.h"

// Module entry point; the module lifecycle is filled in with the driver core.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
