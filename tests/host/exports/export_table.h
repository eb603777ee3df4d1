// The 21 exports as one table of function pointers, so that the same cases
// run against the functions linked into a host test and against the DLL's
// exports found by GetProcAddress.
#pragma once

#include "driver/exports.h"

#define R6ODI_EXPORTS(X)                                                                        \
    X(d_BinningCount) X(d_BinningName) X(d_EndDownload) X(d_FilterWheel) X(d_Finalize)          \
    X(d_GetHeight) X(d_GetInfo) X(d_GetName) X(d_GetOK) X(d_GetTemperature) X(d_GetWidth)        \
    X(d_Initialize) X(d_InterruptExposure) X(d_IsColor) X(d_IsExposing) X(d_MoveFrame)          \
    X(d_ReadImage) X(d_SetupCCD) X(d_StartDownload) X(d_StartExposure) X(d_Subframe)

namespace conformance {

// Each member has the type, calling convention included, of the export it
// is named after.
struct ExportTable {
#define R6ODI_EXPORT_MEMBER(name) decltype(&::name) name;
    R6ODI_EXPORTS(R6ODI_EXPORT_MEMBER)
#undef R6ODI_EXPORT_MEMBER
};

} // namespace conformance
