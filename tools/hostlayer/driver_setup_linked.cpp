// The driver linked into the program (the simulated world on Linux, the
// Alpaca server on Windows): its working copy of the setup values and its
// camera list are within reach, so the dialog is not needed for either.
#include <algorithm>

#include "host_world.h"
#include "setup/instance_list.h"
#include "state/driver_state.h"

namespace r6host {

bool ListCameras(const DriverApi&, std::vector<CameraEntry>* cameras)
{
    // The list the setup dialog would offer, built as it builds it; the
    // dialog itself has nobody to look at it here.
    int count = k6dlg::BuildInstanceList();
    cameras->clear();
    for (int position = 0; position < count; ++position)
        if (const k6dlg::CDriverInstanceListElem* entry = k6dlg::InstanceAt(position))
            cameras->push_back(CameraEntry{entry->text, entry->cameraId});
    return true;
}

bool SetupValuesReachable()
{
    return true;
}

void ApplySetup(const DriverApi& api, const SetupValues& values)
{
    // A setup without a camera object keeps the values it finds instead of
    // copying the old camera's over them: the values then reach the camera
    // exactly as the dialog's OK leaves them.
    api.Finalize();
    driverState.selectedCameraId = values.cameraId;
    driverState.readMode = values.readMode;
    driverState.windowHeating = values.windowHeating;
    driverState.preflashTime = (float)std::min(values.preflashSeconds, 65.535);
    driverState.clearCount = std::clamp(values.clearCount, 1, 20);
    driverState.maxTempStep = (float)std::max(values.maxStepPerMinute, 0.1) / 6.0f;
    driverState.setTemperature =
        values.hasSetTemperature ? (float)std::max(values.setTemperature, -273.0) : kNoTemperature;
    api.SetupCCD(1);
}

} // namespace r6host
