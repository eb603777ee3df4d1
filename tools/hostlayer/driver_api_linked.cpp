// Linux: the driver is linked into the host and loaded over the emulated
// Win32 layer by the simulated world (sim_world.cpp).
#include "driver_api.h"

namespace r6host {

bool BindDriver(DriverApi* api, std::string*)
{
    api->Initialize = d_Initialize;
    api->Finalize = d_Finalize;
    api->SetupCCD = d_SetupCCD;
    api->GetOK = d_GetOK;
    api->Subframe = d_Subframe;
    api->MoveFrame = d_MoveFrame;
    api->GetWidth = d_GetWidth;
    api->GetHeight = d_GetHeight;
    api->BinningCount = d_BinningCount;
    api->BinningName = d_BinningName;
    api->GetName = d_GetName;
    api->GetInfo = d_GetInfo;
    api->GetTemperature = d_GetTemperature;
    api->IsColor = d_IsColor;
    api->StartExposure = d_StartExposure;
    api->IsExposing = d_IsExposing;
    api->StartDownload = d_StartDownload;
    api->InterruptExposure = d_InterruptExposure;
    api->ReadImage = d_ReadImage;
    api->EndDownload = d_EndDownload;
    api->FilterWheel = d_FilterWheel;
    return true;
}

void UnbindDriver() {}

} // namespace r6host
