// Emulated SetupAPI device-interface enumeration over the simulated bus.
//
// Every function sets the last error, ERROR_SUCCESS included, as SetupAPI
// does. Sets are opaque handles never reused; using one that does not exist
// (never made, or destroyed) fails with ERROR_INVALID_HANDLE and is also
// reported as misuse.
#pragma once

#include "platform/emul/types.h"

// SetupAPI's own code for an interface that went away (setupapi.h).
#define ERROR_NO_SUCH_DEVICE_INTERFACE 0xE0000225L

// Takes a snapshot of the present interfaces of one class; the bus is asked
// once, here, without any emulation lock held, and later changes of the bus
// do not show in the set. Flags must hold DIGCF_DEVICEINTERFACE and may hold
// DIGCF_PRESENT (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE is the form used;
// the bus only knows present interfaces); any other flag:
// INVALID_HANDLE_VALUE, ERROR_INVALID_FLAGS. A null class or an enumerator:
// INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER. No bus installed: an empty
// set. A bus that refuses: INVALID_HANDLE_VALUE and the bus's error
// (ERROR_GEN_FAILURE when it gives none). The set is counted by the
// accounting until destroyed; the caller owns it. Does not block.
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent,
                                     DWORD flags);
// Member `index` of the snapshot: fills InterfaceClassGuid, Flags
// (SPINT_ACTIVE) and Reserved, which names the member for
// SetupDiGetDeviceInterfaceDetailA. A null class or record, or a device-info
// record (not supported): FALSE, ERROR_INVALID_PARAMETER. cbSize other than
// sizeof(SP_DEVICE_INTERFACE_DATA): FALSE, ERROR_INVALID_USER_BUFFER. Past
// the end, or a class other than the set's: FALSE, ERROR_NO_MORE_ITEMS. A
// member whose InterfaceEntry has an enumerateError fails with that error.
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                        const GUID* classGuid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data);
// The interface's path. *required (when given) is set to
// offsetof(DevicePath) + length + 1 whenever the record is valid, on
// success too. With no record and size 0 it reports that size: FALSE,
// ERROR_INSUFFICIENT_BUFFER. No record with a size, a record smaller than
// offsetof(DevicePath) + 1, or a record whose cbSize is not
// sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A): FALSE,
// ERROR_INVALID_USER_BUFFER. Too small: FALSE, ERROR_INSUFFICIENT_BUFFER.
// An interface record not from this set, or a device-info record (not
// supported): FALSE, ERROR_INVALID_PARAMETER. A member whose InterfaceEntry
// has detailFails answers the size query normally but fails the fetch:
// FALSE, ERROR_NO_SUCH_DEVICE_INTERFACE, as when a device leaves between
// the two calls.
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detailSize, PDWORD required,
                                             PSP_DEVINFO_DATA deviceInfo);
// Invalid set: FALSE, ERROR_INVALID_HANDLE, and a misuse report.
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);
