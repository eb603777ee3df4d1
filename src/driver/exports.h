// The 21 functions the host application calls, exported by name from
// d_r6odi.dll with the ordinals and conventions of d_r6odi.def.
//
// "WINAPI" functions remove their own arguments from the stack (stdcall in
// the 32-bit product); the others use the C convention. Every argument and
// result is 32 bits wide in the product. A text result points into the
// module and stays valid until the next call of the same function; it is
// INT_PTR so that the 64-bit build returns the whole pointer.
#pragma once

#include <cstdint>

#include "platform/win32.h"

#if !defined(_WIN32) && !defined(__cdecl)
#define __cdecl
#endif

extern "C" {

// Module and camera object.
int WINAPI d_Initialize(HWND hostWindow);
int __cdecl d_Finalize(void);
int WINAPI d_SetupCCD(int noDialog);
int __cdecl d_GetOK(void);

// Frame, binning and sizes.
int WINAPI d_Subframe(int x, int y, int width, int height, int binningCode);
int WINAPI d_MoveFrame(int direction);
int WINAPI d_GetWidth(int ignored);
int WINAPI d_GetHeight(int ignored);
int __cdecl d_BinningCount(void);
INT_PTR WINAPI d_BinningName(int binningCode);

// Identity, status and temperature.
INT_PTR __cdecl d_GetName(void);
INT_PTR __cdecl d_GetInfo(void);
int __cdecl d_GetTemperature(void);
int __cdecl d_IsColor(void);

// The exposure cycle and the readout.
int WINAPI d_StartExposure(DWORD milliseconds, int openShutter);
int __cdecl d_IsExposing(void);
int __cdecl d_StartDownload(void);
int __cdecl d_InterruptExposure(void);
int WINAPI d_ReadImage(uint16_t* buffer);
int WINAPI d_EndDownload(int ignored);

// The filter wheel: operation 0..5; a text for operation 1.
INT_PTR WINAPI d_FilterWheel(int operation, int value);

} // extern "C"
