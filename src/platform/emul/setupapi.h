// Emulated SetupAPI device-interface enumeration over the simulated bus.
#pragma once

#include "platform/emul/types.h"

// Takes a snapshot of the present interfaces of one class (DIGCF_PRESENT |
// DIGCF_DEVICEINTERFACE with a class GUID is the only supported form; other
// flags: INVALID_HANDLE_VALUE, ERROR_INVALID_FLAGS). The bus can be told to
// fail it (INVALID_HANDLE_VALUE, ERROR_GEN_FAILURE). The set is counted by
// the accounting until destroyed; the caller owns it. Does not block.
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent,
                                     DWORD flags);
// Member `index` of the snapshot. cbSize other than
// sizeof(SP_DEVICE_INTERFACE_DATA): FALSE, ERROR_INVALID_USER_BUFFER.
// Past the end: FALSE, ERROR_NO_MORE_ITEMS. Invalid set: FALSE,
// ERROR_INVALID_HANDLE. The bus can make one index fail with another error.
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                        const GUID* classGuid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data);
// The interface's path. With no record and size 0 it reports the size
// needed: FALSE, ERROR_INSUFFICIENT_BUFFER, *required set. A record whose
// cbSize is not sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A):
// FALSE, ERROR_INVALID_USER_BUFFER. Too small: FALSE,
// ERROR_INSUFFICIENT_BUFFER. The bus can make it fail for one interface.
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detailSize, PDWORD required,
                                             PSP_DEVINFO_DATA deviceInfo);
// Invalid set: FALSE, ERROR_INVALID_HANDLE, and a misuse report.
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);
