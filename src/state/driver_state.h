#pragma once

#include <cstdint>

#include "hostsupport/list.h"
#include "platform/win32.h"

class CAACamera;

namespace r6odi {
struct DeviceRegistry;
}

// The marker for "no temperature": no reading, no set point, no ramp. It is
// stored and compared as this exact float value everywhere.
constexpr float kNoTemperature = -274.0f;

// The module-wide record: one per loaded copy of the module, no lock. Only
// the host's thread touches it (exports and peer-window messages).
struct DriverState {
    HINSTANCE moduleInstance;
    WORD peerClassAtom;
    r6odi::DeviceRegistry* deviceRegistry;
    int32_t currentFilter;
    CAACamera* camera;
    HWND hostWindow;
    char nameText[32];
    char infoText[64];
    float setTemperature;
    CBList* instanceList;
    bool preflashSupported;
    bool windowHeating;
    int32_t clearCount;
    float preflashTime;
    float maxTempStep;
    float ccdTemperature;
    int32_t readMode;
    int32_t selectedCameraId;
};

extern DriverState driverState;

// The module's instance handle, for whatever must be created in its name.
HINSTANCE GetModuleInstance();
