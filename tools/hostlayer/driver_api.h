// The driver as the capture host sees it: the 21 exported functions and
// nothing else. On Linux they are the driver library linked into the host;
// on Windows they come from d_r6odi.dll through GetProcAddress, so that the
// host runs against whichever build of the module lies beside it.
#pragma once

#include <string>

#include "driver/exports.h"

namespace r6host {

struct DriverApi {
    decltype(&d_Initialize) Initialize = nullptr;
    decltype(&d_Finalize) Finalize = nullptr;
    decltype(&d_SetupCCD) SetupCCD = nullptr;
    decltype(&d_GetOK) GetOK = nullptr;
    decltype(&d_Subframe) Subframe = nullptr;
    decltype(&d_MoveFrame) MoveFrame = nullptr;
    decltype(&d_GetWidth) GetWidth = nullptr;
    decltype(&d_GetHeight) GetHeight = nullptr;
    decltype(&d_BinningCount) BinningCount = nullptr;
    decltype(&d_BinningName) BinningName = nullptr;
    decltype(&d_GetName) GetName = nullptr;
    decltype(&d_GetInfo) GetInfo = nullptr;
    decltype(&d_GetTemperature) GetTemperature = nullptr;
    decltype(&d_IsColor) IsColor = nullptr;
    decltype(&d_StartExposure) StartExposure = nullptr;
    decltype(&d_IsExposing) IsExposing = nullptr;
    decltype(&d_StartDownload) StartDownload = nullptr;
    decltype(&d_InterruptExposure) InterruptExposure = nullptr;
    decltype(&d_ReadImage) ReadImage = nullptr;
    decltype(&d_EndDownload) EndDownload = nullptr;
    decltype(&d_FilterWheel) FilterWheel = nullptr;
};

// Fills `api` with all 21 functions. False, with the reason in `error`, when
// the module cannot be had or lacks one of them.
bool BindDriver(DriverApi* api, std::string* error);

// Gives the module back (Windows); nothing on Linux.
void UnbindDriver();

} // namespace r6host
