// The exports that create, destroy and query the camera object, and those of
// the exposure cycle. Without a camera object (a failed setup destroyed it)
// they return at once and send nothing: there is no exposure to report.
#include "state/driver_state.h"
#include "driver/exports.h"
#include "exposure/aa_camera.h"

extern "C" {

int WINAPI d_Initialize(HWND hostWindow)
{
    driverState.hostWindow = hostWindow;
    // A camera object left by an earlier d_Initialize would otherwise be
    // lost with its worker, window and handles.
    DestroyDriverCamera(driverState.camera);
    driverState.camera = CreateDriverCamera();
    return 1;
}

int __cdecl d_Finalize(void)
{
    DestroyDriverCamera(driverState.camera);
    driverState.camera = nullptr;
    return 1;
}

int __cdecl d_GetOK(void)
{
    return driverState.camera != nullptr && driverState.camera->IsConnected() ? 1 : 0;
}

int WINAPI d_StartExposure(DWORD milliseconds, int openShutter)
{
    if (driverState.camera == nullptr)
        return 1;
    return driverState.camera->StartExposure(milliseconds, openShutter != 0) ? 1 : 0;
}

int __cdecl d_IsExposing(void)
{
    return driverState.camera != nullptr && driverState.camera->IsExposing() ? 1 : 0;
}

int __cdecl d_StartDownload(void)
{
    if (driverState.camera != nullptr && driverState.camera->exposing)
        driverState.camera->EndExposure();
    return 1;
}

int __cdecl d_InterruptExposure(void)
{
    if (driverState.camera != nullptr)
        driverState.camera->EndExposure();
    return 1;
}

} // extern "C"
