// d_SetupCCD: the working copy of the settings in DriverState is taken from
// the camera object, offered in the dialog, and applied to the camera once
// it has been opened again.
#include "state/driver_state.h"
#include "driver/exports.h"
#include "exposure/aa_camera.h"
#include "protocol/camera_info.h"
#include "setup/instance_list.h"
#include "setup/setup_dialog.h"

namespace {

// The snapshot's camera is the one the object was opened for (bound to the
// camera found when the first free one was asked for), whether or not its
// device is there now: a search that failed after an unplug says nothing
// about which camera the user chose. An object straight from d_Initialize
// asks for the first free camera and, knowing no camera, offers no preflash.
void TakeSnapshot(CAACamera& camera)
{
    driverState.selectedCameraId = camera.requestedId;
    driverState.preflashSupported =
        camera.requestedId != -1 && (camera.info.flags & r6odi::kFlagPreflash) != 0;
    driverState.readMode = camera.readMode;
    driverState.preflashTime = camera.preflashTime;
    driverState.clearCount = camera.clearCount;
    driverState.ccdTemperature = camera.ccdTemperature;
    driverState.setTemperature = camera.targetTemperature;
    driverState.windowHeating = camera.windowHeating;
}

void ApplySettings(CAACamera& camera)
{
    camera.targetTemperature = driverState.setTemperature;
    camera.readMode = driverState.readMode;
    camera.preflashTime = driverState.preflashTime;
    camera.clearCount = driverState.clearCount;
    camera.windowHeating = driverState.windowHeating;
    // Each command leaves its failure in the camera's last-error text; the
    // setup counts as done all the same, since the camera is open.
    camera.SetReadMode(driverState.readMode);
    camera.SetWindowHeating(driverState.windowHeating);
    // The preflash goes only to a camera that says it has one, whatever
    // the dialog offered: a camera just swapped for another decides.
    if ((camera.info.flags & r6odi::kFlagPreflash) != 0)
        camera.SetPreflash(driverState.preflashTime, static_cast<uint32_t>(driverState.clearCount));
}

} // namespace

int WINAPI d_SetupCCD(int noDialog)
{
    if (driverState.camera != nullptr) {
        // An exposure still running would lose its camera below with the
        // shutter open and its worker waiting: it ends first, as the host's
        // own d_InterruptExposure would end it.
        driverState.camera->EndExposure();
        TakeSnapshot(*driverState.camera);
        // Frees the device for the probes of the list and for the camera
        // the user chooses; the peer window and timer 2 stay.
        driverState.camera->CloseDevice();
    }
    if (noDialog == 0) {
        k6dlg::BuildInstanceList();
        k6dlg::ShowSetupDialog(driverState.moduleInstance, driverState.hostWindow);
    }
    // After a failed setup the host may set up again without another
    // d_Initialize: the object is made afresh, with the settings as they
    // stand in DriverState.
    if (driverState.camera == nullptr)
        driverState.camera = CreateDriverCamera();
    CAACamera* camera = driverState.camera;
    if (camera == nullptr)
        return 1;
    // A device arriving while the dialog was open has made the camera
    // search for its old id again and hold that device; Open would keep it
    // and not look for the camera just chosen.
    camera->CloseDevice();
    if (!camera->Open(driverState.selectedCameraId)) {
        DestroyDriverCamera(camera);
        driverState.camera = nullptr;
        return 1;
    }
    ApplySettings(*camera);
    return 1;
}
