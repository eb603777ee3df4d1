#include "state/driver_state.h"
#include "driver/module_lifecycle.h"
#include "driver/peer_window.h"
#include "device/device_registry.h"
#include "hostsupport/memory.h"
#include "hostsupport/text.h"

namespace {

void SetSetupDefaults()
{
    driverState.maxTempStep = 0.5f;
    driverState.preflashTime = 0.0f;
    driverState.selectedCameraId = -1;
    driverState.ccdTemperature = kNoTemperature;
    driverState.clearCount = 4;
    driverState.setTemperature = kNoTemperature;
    driverState.readMode = 0;
    driverState.windowHeating = false;
    driverState.preflashSupported = false;
}

} // namespace

void OnProcessAttach(HINSTANCE instance)
{
    driverState.moduleInstance = instance;
    RegisterPeerWindowClass();
    driverState.deviceRegistry = r6odi::CreateDeviceRegistry();
    driverState.hostWindow = nullptr;
    driverState.camera = nullptr;
    driverState.currentFilter = 0;
    driverState.nameText[0] = '\0';
    driverState.infoText[0] = '\0';
    SetSetupDefaults();
    driverState.instanceList = hostsupport::New<CBList>();
}

void OnProcessDetach()
{
    r6odi::DestroyDeviceRegistry(driverState.deviceRegistry);
    driverState.deviceRegistry = nullptr;
    if (driverState.peerClassAtom != 0)
        UnregisterClassA(MAKEINTATOM(driverState.peerClassAtom), driverState.moduleInstance);
    driverState.peerClassAtom = 0;
    // Deleting the list clears it: its entries go with it.
    hostsupport::Delete(driverState.instanceList);
    driverState.instanceList = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        OnProcessAttach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        OnProcessDetach();
    return TRUE;
}
